// Model loading through the tool-bar buttons: the dialog hook picks the file,
// the model is replaced and its box and unnormalised normals derived; the log
// tells what happened. No GL: the window is never shown.
#include <QDataStream>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

#include "tform1.h"
#include "window_test_support.h"

using namespace quorax;
using window_test::logLines;
using window_test::writeFile;

namespace {

// A tetrahedron corner: two triangles on the faces z = 0 and y = 0 of the
// box (0, 0, 0)–(2, 3, 4). Face normals (p1 − p0) × (p2 − p0):
//   (0, 1, 2): (2, 0, 0) × (0, 3, 0) = (0, 0, 6)  — twice the area 3
//   (0, 3, 1): (0, 0, 4) × (2, 0, 0) = (0, 8, 0)  — twice the area 4
// so the shared vertices 0 and 1 sum to (0, 8, 6), of length 10, not 1.
const Vec3 kPositions[4] = {{0, 0, 0}, {2, 0, 0}, {0, 3, 0}, {0, 0, 4}};
const int kFaces[2][3] = {{0, 1, 2}, {0, 3, 1}};
const Vec3 kVertexNormals[4] = {{0, 8, 6}, {0, 8, 6}, {0, 0, 6}, {0, 8, 0}};

QByteArray cornerObj() {
    return "# corner\nv 0 0 0\nv 2 0 0\nv 0 3 0\nv 0 0 4\nvn 0 0 1\nf 1 2 3\nf 1//1 4//1 2//1\n";
}

QByteArray plyHeader(const char* format) {
    return QByteArray("ply\nformat ") + format +
           " 1.0\ncomment written by the window tests\nelement vertex 4\nproperty float "
           "x\nproperty float y\n"
           "property float z\nproperty uchar red\nelement face 2\nproperty list uchar int "
           "vertex_indices\n"
           "end_header\n";
}

QByteArray cornerPlyAscii() {
    return plyHeader("ascii") + "0 0 0 10\n2 0 0 20\n0 3 0 30\n0 0 4 40\n3 0 1 2\n3 0 3 1\n";
}

QByteArray cornerPlyBinary(QDataStream::ByteOrder order) {
    QByteArray body;
    QDataStream s(&body, QIODevice::WriteOnly);
    s.setByteOrder(order);
    s.setFloatingPointPrecision(QDataStream::SinglePrecision);
    for (const Vec3& p : kPositions)
        s << p.x << p.y << p.z << quint8(7);
    for (const auto& f : kFaces)
        s << quint8(3) << qint32(f[0]) << qint32(f[1]) << qint32(f[2]);
    return plyHeader(order == QDataStream::LittleEndian ? "binary_little_endian"
                                                        : "binary_big_endian") +
           body;
}

void expectCornerModel(const ViewerMesh& m, const char* what) {
    SCOPED_TRACE(what);
    ASSERT_EQ(m.vertexCount(), 4);
    ASSERT_EQ(m.faceCount(), 2);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(m.tri.vertices[i].pos, kPositions[i]) << "vertex " << i;
        EXPECT_EQ(m.tri.vertices[i].normal, kVertexNormals[i]) << "vertex " << i;
        EXPECT_EQ(m.vertexData[i].flags, 0u);
        EXPECT_EQ(m.vertexData[i].electrostatic, 0.0f);
    }
    for (int f = 0; f < 2; ++f)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(m.tri.faces[f].v[c], kFaces[f][c]) << "face " << f;
    EXPECT_EQ(m.tri.faces[0].normal, (Vec3{0, 0, 6}));
    EXPECT_EQ(m.tri.faces[1].normal, (Vec3{0, 8, 0}));
    EXPECT_EQ(m.bboxMin, (Vec3{0, 0, 0}));
    EXPECT_EQ(m.bboxMax, (Vec3{2, 3, 4}));
}

void expectEmptyModel(const ViewerMesh& m) {
    EXPECT_EQ(m.vertexCount(), 0);
    EXPECT_EQ(m.faceCount(), 0);
    EXPECT_EQ(m.bboxMin, (Vec3{1, 1, 1}));
    EXPECT_EQ(m.bboxMax, (Vec3{-1, -1, -1}));
}

// A window whose open dialogs answer with `next` and remember which dialog asked.
struct Window {
    TForm1 form;
    QString next;
    QFileDialog* asked = nullptr;
    Window() {
        form.chooseFile = [this](QFileDialog* d) {
            asked = d;
            return next;
        };
    }
};

} // namespace

TEST(WindowLoading, ObjButtonLoadsLogsAndDerives) {
    QTemporaryDir dir;
    Window w;
    w.next = writeFile(dir, "corner.obj", cornerObj());
    w.form.ToolButton3->click();
    EXPECT_EQ(w.asked, w.form.Open_obj);
    expectCornerModel(w.form.mesh, "OBJ");
    // The OBJ reader's colour on every vertex.
    EXPECT_EQ(w.form.mesh.vertexData[3].color, (std::array<uint8_t, 4>{250, 210, 190, 255}));
    EXPECT_EQ(logLines(w.form), (QStringList{"Program Started", "OBJ ok: v 4 t 2"}));

    // A file that is not there: an empty model, a line naming the file, then
    // the summary with both counts 0.
    w.next = dir.filePath("missing.obj");
    w.form.ToolButton3->click();
    expectEmptyModel(w.form.mesh);
    const QStringList lines = logLines(w.form);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[2].contains("missing.obj")) << lines[2].toStdString();
    EXPECT_EQ(lines[3], "OBJ ok: v 0 t 0");
}

TEST(WindowLoading, PlyButtonReadsAsciiAndBothBinaryOrdersAlike) {
    QTemporaryDir dir;
    Window w;
    const std::pair<const char*, QByteArray> files[] = {
        {"ascii.ply", cornerPlyAscii()},
        {"little.ply", cornerPlyBinary(QDataStream::LittleEndian)},
        {"big.ply", cornerPlyBinary(QDataStream::BigEndian)},
    };
    for (const auto& [name, bytes] : files) {
        w.form.mesh.clear();
        w.next = writeFile(dir, name, bytes);
        w.asked = nullptr;
        w.form.TB_loadmodel->click();
        EXPECT_EQ(w.asked, w.form.Open_ply);
        expectCornerModel(w.form.mesh, name);
        EXPECT_EQ(w.form.mesh.vertexData[0].color, (std::array<uint8_t, 4>{255, 255, 255, 255}));
    }
    // A PLY that reads well says nothing.
    EXPECT_EQ(logLines(w.form), QStringList{"Program Started"});
}

TEST(WindowLoading, BrokenPlyLeavesAnEmptyModelAndOneLine) {
    QTemporaryDir dir;
    Window w;
    // An index outside the four vertices, and a file that ends in its faces.
    QByteArray badIndex = cornerPlyAscii();
    badIndex.replace("3 0 3 1\n", "3 0 3 9\n");
    const QByteArray truncated = cornerPlyBinary(QDataStream::LittleEndian).chopped(5);
    const std::pair<const char*, QByteArray> files[] = {{"bad_index.ply", badIndex},
                                                        {"truncated.ply", truncated}};
    for (const auto& [name, bytes] : files) {
        w.next = writeFile(dir, "corner.obj", cornerObj());
        w.form.ToolButton3->click(); // a model to be replaced
        const int before = logLines(w.form).size();
        w.next = writeFile(dir, name, bytes);
        w.form.TB_loadmodel->click();
        expectEmptyModel(w.form.mesh);
        const QStringList lines = logLines(w.form);
        ASSERT_EQ(lines.size(), before + 1) << name;
        EXPECT_TRUE(lines.back().contains(name)) << lines.back().toStdString();
        // The line tells the problem after the file's name, not just that it failed.
        const QString problem = lines.back().mid(lines.back().indexOf(name) + int(strlen(name)));
        EXPECT_GT(problem.size(), 8) << lines.back().toStdString();
    }
    // The index problem names the vertex that does not exist.
    w.next = writeFile(dir, "bad_index.ply", badIndex);
    w.form.TB_loadmodel->click();
    EXPECT_TRUE(logLines(w.form).back().contains('9')) << logLines(w.form).back().toStdString();
}

TEST(WindowLoading, CancelledDialogChangesNothing) {
    QTemporaryDir dir;
    Window w;
    w.next = writeFile(dir, "corner.obj", cornerObj());
    w.form.ToolButton3->click();
    const QStringList log = logLines(w.form);
    w.next.clear(); // the user cancels
    w.form.ToolButton3->click();
    w.form.TB_loadmodel->click();
    expectCornerModel(w.form.mesh, "after cancelling");
    EXPECT_EQ(logLines(w.form), log);
}

TEST(WindowLoading, ASecondModelKeepsWhatWasComputedBefore) {
    QTemporaryDir dir;
    Window w;
    TForm1& form = w.form;
    w.next = writeFile(dir, "quad.obj", window_test::facingQuadObj());
    form.ToolButton3->click();
    // Results computed on the first model, and a camera moved by the user.
    form.fieldLines = {FieldLine{{0, 0, 0}, {1, 1, 1}}};
    form.probeLine = FieldLine{{0, 0, 0}, {0, 1, 0}};
    form.linesReady = true;
    form.decorationPositions = {{0, 0, 0}};
    form.decorationDirections = {{1, 0, 0}};
    form.decorationSizes = {2.0f};
    form.decorationsReady = true;
    form.potentialGrid.loaded = true;
    form.potentialGrid.nx = form.potentialGrid.ny = form.potentialGrid.nz = 1;
    form.potentialGrid.values = {-7.0f};
    form.zoom = 1.21f;

    w.next = writeFile(dir, "corner.ply", cornerPlyAscii());
    form.TB_loadmodel->click();
    expectCornerModel(form.mesh, "second model");
    EXPECT_EQ(form.fieldLines.size(), 1u);
    EXPECT_EQ(form.probeLine.size(), 2u);
    EXPECT_TRUE(form.linesReady);
    EXPECT_TRUE(form.decorationsReady);
    EXPECT_EQ(form.decorationSizes, std::vector<float>{2.0f});
    EXPECT_TRUE(form.potentialGrid.loaded);
    EXPECT_EQ(form.potentialGrid.values, std::vector<float>{-7.0f});
    EXPECT_FLOAT_EQ(form.zoom, 1.21f);
}
