// A titled group of radio buttons with an item index (0-based), like a radio group.
#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;

namespace quorax {

class RadioGroup : public QGroupBox {
    Q_OBJECT

public:
    RadioGroup(const QString& caption, const QStringList& items, int itemIndex, QWidget* parent = nullptr);
    int itemIndex() const;
    void setItemIndex(int index);

signals:
    void itemIndexChanged(int index);

private:
    QButtonGroup* group_;
};

} // namespace quorax
