// Shared by the viewer's tests: files written by the tests, grids and meshes made in memory, and a main window in
// a fresh folder with its open dialogs and error box replaced.
#pragma once

#include <QTest>
#include <QtWidgets>

#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>

#include "gl_panel.h"
#include "grids.h"
#include "inputs.h"
#include "ply_file.h"
#include "process.h"
#include "radio_group.h"
#include "tform1.h"

namespace quorax::test {

// Two triangles of area 2 in the plane x = 2, normals (4, 0, 0).
inline const std::string kSquareObj = "v 2 1 1\nv 2 3 1\nv 2 3 3\nv 2 1 3\nf 1 2 3\nf 1 3 4\n";

// A viewer mesh of these vertices and faces, derived as after a load.
inline ViewerMesh makeMesh(const std::vector<Vec3>& points, const std::vector<std::array<int32_t, 3>>& faces) {
    ViewerMesh m;
    for (const Vec3& p : points) m.tri.vertices.push_back({p, {}, 0.0f});
    for (const auto& f : faces) std::copy(f.begin(), f.end(), m.tri.faces.emplace_back().v);
    m.tri.loaded = true;
    m.resetViewerFields(kObjVertexColor);
    deriveViewerMesh(m);
    return m;
}

inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

// The number of lines in a lines file, whose format it checks.
inline int linesInFile(const std::string& text) { return int(readLinesFile(text).size()); }

using Log = std::vector<std::string>;

class FormTest : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<TForm1> form;
    QString nextFile;   // what the next open dialog returns ("" cancels)
    QStringList errors; // conversion errors shown to the user

    void SetUp() override {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir.path()); // the exports write here
        QSettings("QUORAX", "quorax1").clear();    // a fresh start
        makeForm(QStringList());
    }
    void TearDown() override {
        form.reset();
        std::filesystem::current_path(previous_);
    }
    void makeForm(const QStringList& args) { makeForm(std::make_unique<TForm1>(args)); }
    void makeForm(std::unique_ptr<TForm1> made) {
        form = std::move(made);
        form->chooseFile = [this](QFileDialog*) { return nextFile; };
        form->showError = [this](const QString& e) { errors << e; };
        seen_ = 1; // "Program Started"
    }
    template <class... Button> void press(Button*... b) { (QTest::mouseClick(b, Qt::LeftButton), ...); } // in turn
    // Writes a file into the folder and presses `b`, whose dialog picks it.
    void open(QAbstractButton* b, const std::string& name, const std::string& content) {
        dir.write(name, content);
        nextFile = QString::fromStdString(dir.file(name));
        press(b);
    }
    // The log lines appended since the last call.
    Log newLog() {
        const QStringList all = form->Memo1->toPlainText().split('\n');
        Log out;
        for (qsizetype i = seen_; i < all.size(); ++i) out.push_back(all[i].toStdString());
        seen_ = all.size();
        return out;
    }

private:
    std::filesystem::path previous_;
    qsizetype seen_ = 1;
};

} // namespace quorax::test
