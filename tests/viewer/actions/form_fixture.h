// A main window in a fresh current folder, with the file dialogs and the
// error box replaced, and helpers to press its buttons and read its log.
#pragma once

#include <QAbstractButton>
#include <QPushButton>
#include <QToolButton>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"
#include "tform1.h"

namespace quorax::test {

// An OpenDX grid of n³ nodes, spacing 1, origin 0, node (i, j, k) = f(i, j, k).
inline std::string dxText(int n, const std::function<double(int, int, int)>& f) {
    std::ostringstream s;
    s << "# test grid\nobject 1 class gridpositions counts " << n << ' ' << n << ' ' << n << "\n"
      << "origin 0 0 0\ndelta 1 0 0\ndelta 0 1 0\ndelta 0 0 1\n"
      << "object 2 class gridconnections counts " << n << ' ' << n << ' ' << n << "\n"
      << "object 3 class array type double rank 0 items " << n * n * n << " data follows\n";
    int count = 0;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            for (int k = 0; k < n; ++k) s << f(i, j, k) << (++count % 3 == 0 ? "\n" : " ");
    s << "\nattribute \"dep\" string \"positions\"\n";
    return s.str();
}

// φ = 10 + x on n³ nodes: the gradient is (1, 0, 0) everywhere.
inline std::string linearDx(int n) {
    return dxText(n, [](int i, int, int) { return 10.0 + i; });
}

// Two triangles of area 2 in the plane x = 2, normals (4, 0, 0).
const std::string kSquareObj = "v 2 1 1\nv 2 3 1\nv 2 3 3\nv 2 1 3\nf 1 2 3\nf 1 3 4\n";

class FormTest : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<TForm1> form;
    QString nextFile;     // what the next open dialog returns
    QStringList errors;   // conversion errors shown to the user

    void SetUp() override {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir.path()); // the exports write here
        form = std::make_unique<TForm1>();
        form->chooseFile = [this](QFileDialog*) { return nextFile; };
        form->showError = [this](const QString& e) { errors << e; };
    }
    void TearDown() override {
        form.reset();
        std::filesystem::current_path(previous_);
    }

    void press(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    // Writes a file into the folder and picks it in the next open dialog.
    void choose(const std::string& name, const std::string& content) {
        dir.write(name, content);
        nextFile = QString::fromStdString(dir.file(name));
    }
    void loadObj(const std::string& content) {
        choose("model.obj", content);
        press(form->ToolButton3);
    }
    void readDx(const std::string& content) {
        choose("grid.dx", content);
        press(form->Button1);
    }
    // The log lines appended since the last call.
    std::vector<std::string> newLog() {
        const QStringList all = form->Memo1->toPlainText().split('\n');
        std::vector<std::string> out;
        for (qsizetype i = seen_; i < all.size(); ++i) out.push_back(all[i].toStdString());
        seen_ = all.size();
        return out;
    }

private:
    std::filesystem::path previous_;
    qsizetype seen_ = 1; // "Program Started"
};

} // namespace quorax::test
