// A titled group of radio buttons with an item index (0-based), like a radio group.
#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;

namespace quorax {

class RadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(QStringList items READ items WRITE setItems)
    Q_PROPERTY(int itemIndex READ itemIndex WRITE setItemIndex NOTIFY itemIndexChanged)

public:
    explicit RadioGroup(QWidget* parent = nullptr);
    QStringList items() const;
    // Replaces the buttons by one per item, none chosen.
    void setItems(const QStringList& items);
    int itemIndex() const;
    void setItemIndex(int index);

signals:
    void itemIndexChanged(int index);

private:
    QButtonGroup* group_;
};

} // namespace quorax
