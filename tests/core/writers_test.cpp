// Text outputs (lines file, debug dumps), their number format, and the
// all-or-nothing file replacement they go through.
#include "writers.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <set>
#include <sstream>

#include "file_io.h"

using namespace quorax;
namespace fs = std::filesystem;

namespace {

std::string fixed(double v) {
    std::string s;
    appendFixed(s, v);
    return s;
}

// A fresh folder, removed with its contents at the end.
struct TempDir {
    fs::path path;
    TempDir() {
        char name[] = "/tmp/quorax-writers-XXXXXX";
        path = mkdtemp(name);
    }
    ~TempDir() { fs::remove_all(path); }
    std::set<std::string> files() const {
        std::set<std::string> out;
        for (const auto& e : fs::directory_iterator(path))
            out.insert(e.path().filename());
        return out;
    }
    std::string operator/(const std::string& name) const { return path / name; }
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(Writers, AppendFixedMatchesPrintf) {
    std::vector<double> values = {0.0,
                                  -0.0,
                                  1.0,
                                  -1.0,
                                  0.5,
                                  0.0078125,
                                  -0.0078125,
                                  2.5e-7,
                                  5e-7,
                                  1.5e-6,
                                  -1e-7,
                                  -4e-7,
                                  0.0000001,
                                  1e-300,
                                  -4.9e-324,
                                  123456.7890125,
                                  3.4e38,
                                  static_cast<double>(3.4028235e38f),
                                  DBL_MAX,
                                  -DBL_MAX,
                                  1e22,
                                  9007199254740993.0,
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::nan(""),
                                  -std::nan("")};
    std::mt19937_64 rng(1);
    // Odd multiples of 1/128 are exact ties at the sixth decimal (x.xxxxxx5).
    for (int n = 0; n < 20000; ++n)
        values.push_back((2.0 * (rng() % 100000) + 1) / 128.0 * (n % 2 ? 1 : -1));
    for (int n = 0; n < 50000; ++n) { // any double
        const uint64_t bits = rng();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        values.push_back(d);
    }
    for (int n = 0; n < 50000; ++n) { // floats as the writers widen them, mostly of ordinary size
        const uint32_t bits = static_cast<uint32_t>(rng());
        float f;
        std::memcpy(&f, &bits, sizeof f);
        values.push_back(f);
        values.push_back(
            std::ldexp(static_cast<float>(rng() % 10000000), static_cast<int>(rng() % 40) - 30));
    }
    int failures = 0;
    for (double v : values) {
        char want[512];
        std::snprintf(want, sizeof want, "%f", v);
        const std::string got = fixed(v);
        if (got != want && ++failures <= 20)
            ADD_FAILURE() << std::hexfloat << v << ": " << got << " vs " << want;
    }
    EXPECT_EQ(failures, 0);
}

TEST(Writers, LinesFileText) {
    // Points are written from the last to the first.
    EXPECT_EQ(formatLinesFile({{{4.0f, -1.5f, 0.25f}, {4.5f, -1.0f, 0.0f}}}),
              "n\nv 4.500000 -1.000000 0.000000\nv 4.000000 -1.500000 0.250000\n");
    EXPECT_EQ(formatLinesFile({}), "");
    // A one-point line, an empty line, and coordinates below the sixth decimal.
    EXPECT_EQ(formatLinesFile({{{0.0000001f, -0.0000001f, 1e6f}}, {}}),
              "n\nv 0.000000 -0.000000 1000000.000000\nn\n");
}

TEST(Writers, FilesAndDumps) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(writeLinesFile(dir / "lines.txt", {{{1, 2, 3}}}, error)) << error;
    EXPECT_EQ(slurp(dir / "lines.txt"), "n\nv 1.000000 2.000000 3.000000\n");
    ASSERT_TRUE(writeLinesFile(dir / "lines.txt", {}, error));
    EXPECT_EQ(slurp(dir / "lines.txt"), ""); // an empty list gives an empty file, not a missing one

    // The dumps go to fixed names in the current folder.
    TriMesh m;
    for (Vec3 p : {Vec3{0, 0, 0}, Vec3{1, 0, 0}, Vec3{0, 1, 0}})
        m.vertices.push_back({p, {0, 0, 1}, 0});
    m.faces.resize(1);
    m.faces[0].v[0] = 0, m.faces[0].v[1] = 1, m.faces[0].v[2] = 2;
    const fs::path here = fs::current_path();
    fs::current_path(dir.path);
    EXPECT_TRUE(dumpMeshObj(m, error));
    EXPECT_TRUE(dumpMeshNormalsObj(m, error));
    EXPECT_TRUE(dumpSeedsObj({{1.0f / 3, 1.0f / 3, 1}}, error));
    fs::current_path(here);
    EXPECT_EQ(dir.files(),
              (std::set<std::string>{"lines.txt", "saved.obj", "saved_n.obj", "seeds.obj"}));
    const std::string savedObj = slurp(dir / "saved.obj"), savedN = slurp(dir / "saved_n.obj");
    EXPECT_EQ(
        savedObj,
        "v 0.000000 0.000000 0.000000\nv 1.000000 0.000000 0.000000\nv 0.000000 1.000000 0.000000\n"
        "f 1 2 3\n");
    EXPECT_EQ(savedN, "v 0.000000 0.000000 0.000000\nvn 0.000000 0.000000 1.000000\n"
                      "v 1.000000 0.000000 0.000000\nvn 0.000000 0.000000 1.000000\n"
                      "v 0.000000 1.000000 0.000000\nvn 0.000000 0.000000 1.000000\n"
                      "f 1//1 2//2 3//3\n");
    EXPECT_EQ(slurp(dir / "seeds.obj"), "v 0.333333 0.333333 1.000000\n");
    // Empty inputs give empty files.
    EXPECT_TRUE(dumpMeshNormalsObj(TriMesh{}, error, dir / "saved_n.obj"));
    EXPECT_TRUE(dumpSeedsObj({}, error, dir / "seeds.obj"));
    EXPECT_EQ(slurp(dir / "saved_n.obj") + slurp(dir / "seeds.obj"), "");
}

TEST(Writers, AtomicReplacement) {
    TempDir dir;
    std::string error;
    const std::string file = dir / "out.txt";

    // An existing file keeps its permissions.
    ASSERT_TRUE(writeFileAtomically(file, "old", error)) << error;
    chmod(file.c_str(), 0640);
    ASSERT_TRUE(writeFileAtomically(file, "old content", error));
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // Failures leave no temporary file behind and touch nothing.
    const std::set<std::string> before = dir.files();
    EXPECT_FALSE(writeFileAtomically(dir / "missing/out.txt", "x", error));
    EXPECT_EQ(error, "No such file or directory");
    fs::create_directory(dir / "sub");
    EXPECT_FALSE(writeFileAtomically(dir / "sub", "x", error)); // a folder is not replaced
    EXPECT_EQ(error, "Is a directory");
    fs::remove(dir / "sub");
    EXPECT_FALSE(writeFileAtomically("", "x", error));

    // A write that fails half-way (the file size limit is below the content):
    // the existing file keeps its old content.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 4;
    setrlimit(RLIMIT_FSIZE, &small);
    const bool written = writeFileAtomically(file, std::string(100, 'z'), error);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, SIG_DFL);
    EXPECT_FALSE(written);
    EXPECT_EQ(error, "File too large");
    EXPECT_EQ(slurp(file), "old content");
    EXPECT_EQ(dir.files(), before);
}
