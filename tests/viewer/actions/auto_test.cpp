// The automatic pipeline: a whole run inside the window (log lines word for
// word, in a comma locale), inputs that cannot be read, and quorax1 started
// as a process on the example. (Which argument counts arm the run is tested
// with the window's controls.)
#include <QCheckBox>
#include <QLineEdit>
#include <QLocale>
#include <QTabWidget>
#include <QTimer>

#include <chrono>
#include <regex>

#include "form_fixture.h"
#include "model_support.h"

using namespace quorax;
using namespace quorax::test;

using Log = std::vector<std::string>;

namespace {

// A square of side 10 in the plane x = 2 (y, z from 2 to 12), cut into 200
// triangles of area 0.5 whose normals (1, 0, 0) point along the gradient of
// φ = 10 + x; every corner has φ = 12, so each face has the power
// 12 · 0.5 · (1/3) · 3 = 6 and the surface 1200.
std::string squareGridObj() {
    std::string s;
    for (int a = 0; a <= 10; ++a)
        for (int b = 0; b <= 10; ++b) s += "v 2 " + std::to_string(2 + a) + " " + std::to_string(2 + b) + "\n";
    auto v = [](int a, int b) { return std::to_string(a * 11 + b + 1); };
    for (int a = 0; a < 10; ++a)
        for (int b = 0; b < 10; ++b) {
            s += "f " + v(a, b) + " " + v(a + 1, b) + " " + v(a + 1, b + 1) + "\n";
            s += "f " + v(a, b) + " " + v(a + 1, b + 1) + " " + v(a, b + 1) + "\n";
        }
    return s;
}

const std::regex kPointLine(R"(v -?\d+\.\d{6} -?\d+\.\d{6} -?\d+\.\d{6})");

// Checks the lines-file format and returns the number of lines in it.
int linesInFile(const std::string& text) {
    int lines = 0;
    const std::vector<std::string> rows = splitLines(text);
    for (const std::string& r : rows) {
        lines += r == "n";
        EXPECT_TRUE(r == "n" || std::regex_match(r, kPointLine)) << r;
    }
    if (!rows.empty()) {
        EXPECT_EQ(rows[0], "n");
    }
    return lines;
}

// A window started with `args` in a fresh current folder; run() fires the
// timer's run at once instead of after three seconds.
class AutoRun : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<TForm1> form;

    void SetUp() override {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir.path());
        dir.write("square.obj", squareGridObj());
        dir.write("grid.dx", linearDx(16));
    }
    void TearDown() override {
        form.reset();
        QLocale::setDefault(QLocale::c());
        std::filesystem::current_path(previous_);
    }
    std::vector<std::string> args(const std::string& mesh, const std::string& grid, const std::string& reduce = "1") {
        return {dir.file(mesh), dir.file(grid), dir.file("lines.txt"), "0.01", "0.0", "45", reduce, "3.0"};
    }
    // The exit status the run asked for, or -1.
    int run(const std::vector<std::string>& a) {
        QStringList list;
        for (const std::string& s : a) list << QString::fromStdString(s);
        form = std::make_unique<TForm1>(list);
        EXPECT_TRUE(form->autotimer->isActive());
        form->autotimer->stop();
        int status = -1;
        form->endProcess = [&status](int s) { status = s; };
        form->autotimerTimer();
        return status;
    }
    Log log() const {
        Log out;
        for (const QString& l : form->Memo1->toPlainText().split('\n')) out.push_back(l.toStdString());
        return out;
    }

private:
    std::filesystem::path previous_;
};

} // namespace

TEST_F(AutoRun, WholeRunInACommaLocale) {
    QLocale::setDefault(QLocale(QLocale::German));
    const std::vector<std::string> a = args("square.obj", "grid.dx");
    ASSERT_EQ(run(a), 0);
    Log l = log();
    ASSERT_EQ(l.size(), 18u);
    // 0.01 is stored as the float 0.0099999997764825820…; 1200 · 0.01 gives 12 lines.
    EXPECT_EQ(Log(l.begin(), l.begin() + 16),
              (Log{"Program Started", "loading model " + a[0], "OBJ ok: v 121 t 200", "loaded model " + a[0],
                   "loading dx " + a[1], "loading dx " + a[1], "calculating field", " grad max 1 grad min 1",
                   "field ok", "Lines x eV/A2 0,00999999977648258", "gradient halt 0", "angle halt    45",
                   "calculating lines", " molecule power value1200 line number:12",
                   " molecule min power value6 molecule max power value:6", "lines calculated"}));
    // Straight lines keep three points each after the simplification.
    EXPECT_TRUE(std::regex_match(l[16], std::regex(R"(Removed: [1-9]\d* points, remaining: 36)"))) << l[16];
    EXPECT_EQ(l[17], "exporting lines " + a[2]);
    EXPECT_EQ(form->E_densityparam->text(), "0,00999999977648258");
    EXPECT_EQ(form->E_haltangle->text(), "45");
    EXPECT_EQ(form->E_nomelinee->text().toStdString(), a[2]);
    EXPECT_FALSE(form->cb_drawgrid->isChecked());
    EXPECT_TRUE(form->CB_showlines->isChecked());
    EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet5);

    const std::string file = dir.read("lines.txt");
    EXPECT_EQ(linesInFile(file), 12);
    // Each line is written from its end along the gradient (+x) back.
    const std::vector<std::string> rows = splitLines(file);
    ASSERT_GE(rows.size(), 4u);
    EXPECT_GT(std::stof(rows[1].substr(2)), std::stof(rows[3].substr(2)));
}

TEST_F(AutoRun, InputsByNameAndUnreadableInputs) {
    // An unreadable model or grid ends the run with 1 and leaves the lines file.
    dir.write("lines.txt", "old");
    EXPECT_EQ(run(args("missing.obj", "grid.dx")), 1);
    EXPECT_EQ(log().back(), "cannot read model \"" + dir.file("missing.obj") + "\": no such file");
    EXPECT_EQ(run(args("square.obj", "missing.dx")), 1);
    EXPECT_EQ(log().back(), "cannot read DX grid \"" + dir.file("missing.dx") + "\": No such file or directory");
    EXPECT_EQ(dir.read("lines.txt"), "old");
    // A lines file that cannot be written (the temporary name beside it
    // would be too long) ends the run with 1 too.
    std::vector<std::string> a = args("square.obj", "grid.dx");
    a[2] = dir.file(std::string(250, 'L'));
    EXPECT_EQ(run(a), 1);
    EXPECT_EQ(log().back(), "Export Lines: cannot write \"" + a[2] + "\": File name too long");

    // OBJ in capitals is read as OBJ; "stl" is not read at all, and the run
    // goes on with no model: no lines.
    dir.write("SQUARE.OBJ", squareGridObj());
    EXPECT_EQ(run(args("SQUARE.OBJ", "grid.dx", "0")), 0);
    EXPECT_EQ(log()[2], "OBJ ok: v 121 t 200");
    EXPECT_EQ(linesInFile(dir.read("lines.txt")), 12);
    dir.write("square.stl", squareGridObj());
    EXPECT_EQ(run(args("square.stl", "grid.dx")), 0);
    EXPECT_EQ(log()[2], "loaded model " + dir.file("square.stl"));
    EXPECT_EQ(dir.read("lines.txt"), "");
}

// quorax1 runs on the display of the test run, not on the offscreen platform
// of the window tests.
static std::vector<std::string> displayEnvironment() {
#ifdef QUORAX_SANITIZED
    // At exit the GL driver is unloaded before the leak check, which then
    // reports the memory its globals held with no module name that a
    // suppression could match. The same run is leak-checked in AutoRun.
    return {"QT_QPA_PLATFORM=", "ASAN_OPTIONS=detect_leaks=0"};
#else
    return {"QT_QPA_PLATFORM="};
#endif
}

TEST(AutoProcess, EightArgumentsOnTheExample) {
    TempDir dir;
    const std::string ex = QUORAX_EXAMPLES_DIR;
    std::vector<std::string> a = {ex + "/fas2.obj", ex + "/fas2.dx", dir.file("lines.txt"), "0.01", "0.0", "45",
                                  "1", "3.0"};
    const auto start = std::chrono::steady_clock::now();
    ProcessResult r = runProcess(QUORAX1_PATH, a, dir.path(), displayEnvironment());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_LT(seconds, 60.0);
    EXPECT_GT(linesInFile(dir.read("lines.txt")), 10);

    // A grid that cannot be read: status 1 and a message on standard error.
    a[1] = dir.file("missing.dx");
    a[2] = dir.file("other.txt");
    r = runProcess(QUORAX1_PATH, a, dir.path(), displayEnvironment());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("quorax1: error: cannot read DX grid"), std::string::npos) << r.err;
    EXPECT_FALSE(dir.exists("other.txt"));
}
