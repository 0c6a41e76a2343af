// The OpenDX reader: header, value layout, and errors that name their line.
#include "dx_reader.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace quorax;

namespace {

// Header lines 1 to 7; the values start on line 8.
std::string header(const std::string& counts = "2 2 2", const std::string& origin = "0 0 0",
                   const std::string& d1 = "1 0 0", const std::string& d2 = "0 1 0",
                   const std::string& d3 = "0 0 1") {
    return "object 1 class gridpositions counts " + counts + "\norigin " + origin + "\ndelta " +
           d1 + "\ndelta " + d2 + "\ndelta " + d3 + "\nobject 2 class gridconnections counts " +
           counts + "\nobject 3 class array type double rank 0 items 8 data follows\n";
}

DxReadResult read(PotentialGrid& g, const std::string& text) {
    const std::vector<char> bytes(text.begin(), text.end()); // exact size: overreads are caught
    return readDxGrid(g, std::string_view(bytes.data(), bytes.size()));
}

} // namespace

TEST(DxReader, HeaderAndLayout) {
    PotentialGrid g;
    const DxReadResult r =
        read(g, "# Data from APBS\n# second comment\n" +
                    header("2 2 2", "-1.5 2 0.25", "0.5 0 0", "0 0.25 0", "0 0 2") +
                    "0 1 2\n3 4 5\n6 7\nattribute \"dep\" string \"positions\"\n");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.warnings.empty());
    EXPECT_TRUE(g.loaded);
    EXPECT_EQ(g.nx, 2);
    EXPECT_EQ(g.nz, 2);
    EXPECT_EQ(g.origin, (Vec3{-1.5f, 2, 0.25f}));
    EXPECT_EQ(g.delta, (Vec3{0.5f, 0.25f, 2}));
    // z varies fastest, x slowest: (1,0,0) is value 4, (0,1,0) value 2, (0,0,1) value 1.
    EXPECT_EQ(g.at(1, 0, 0), 4.0f);
    EXPECT_EQ(g.at(0, 1, 0), 2.0f);
    EXPECT_EQ(g.at(0, 0, 1), 1.0f);
    EXPECT_EQ(g.at(1, 1, 1), 7.0f);
    EXPECT_EQ(g.minValue, 0.0f);
    EXPECT_EQ(g.maxValue, 7.0f);

    // One value per line, blank lines and leading blanks before the header
    // lines: the same grid.
    PotentialGrid one;
    std::string text = "\n  \n" + header("2 2 2", "-1.5 2 0.25", "0.5 0 0", "0 0.25 0", "0 0 2");
    for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 4)
        text.insert(at + 1, "\n  ");
    ASSERT_TRUE(read(one, text + "0\n1\n2\n3\n4\n5\n6\n7").ok) << text;
    EXPECT_EQ(one.values, g.values);
    EXPECT_EQ(one.delta, g.delta);

    // Off-diagonal spacings are dropped with a warning.
    PotentialGrid skew;
    const DxReadResult s = read(skew, header("2 2 2", "0 0 0", "0.5 0.1 0", "0 0.25 0", "3 0 2") +
                                          "-3.5 -3.5 -3.5 -3.5 -3.5 -3.5 -3.5 -3.5\n");
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(skew.delta, (Vec3{0.5f, 0.25f, 2}));
    EXPECT_EQ(s.warnings.size(), 1u);
    EXPECT_EQ(skew.minValue, -3.5f); // all values equal: minimum and maximum agree
    EXPECT_EQ(skew.maxValue, -3.5f);
}

TEST(DxReader, ValuesConvertAsScanfFloat) {
    // fscanf "%f" rounds the decimal directly to float: 1 + 2^-24 + 1e-25
    // lies above the midpoint between 1 and 1 + 2^-23, so it rounds up
    // (the OBJ reader's atof-then-float gives 1.0 for the same text).
    // Hexadecimal and signed forms are numbers for fscanf too.
    PotentialGrid g;
    const DxReadResult r =
        read(g, header() + "1.0000000596046447753906251 0x1p1 -.5 +2e0 1e-50\n3.4028235e38 0 7.");
    ASSERT_TRUE(r.ok) << r.error;
    const std::vector<float> want = {
        std::nextafter(1.0f, 2.0f), 2, -0.5f, 2, 0, 3.4028235e38f, 0, 7};
    EXPECT_EQ(g.values, want);
}

TEST(DxReader, ErrorsNameTheLineAndKeepTheGrid) {
    struct Case {
        std::string text;
        int line;
        std::string problem;
    };
    const std::string v8 = "0 1 2 3 4 5 6 7\n";
    const std::vector<Case> cases = {
        {"object 1 class gridconnections counts 2 2 2\n", 1, "gridpositions"},
        {"# a\n#b\n\nobject 1 class gridpositions countz 2 2 2\n", 4, "gridpositions"},
        {header().replace(header().find("origin"), 6, "orig"), 2, "origin"},
        {header("1 2 2") + v8, 1, "at least 2 nodes"},
        {header("2 -2 2") + v8, 1, "at least 2 nodes"},
        {header("2 2 2", "0 0 0", "0 0 0") + v8, 3, "positive"},
        {header("2 2 2", "0 0 0", "1 0 0", "0 1 0", "0 0 -0.5") + v8, 5, "positive"},
        {header("1000 1000 1000") + v8, 1, "1000000000 values"},
        {header("2000000000 2000000000 2000000000") + v8, 1, "does not fit"},
        {header() + "0.5 1.5 2.5\n3.5 4.5\n", 9, "expected 8 values, found 5"},
        {header() + "\n\n" + std::string(20, ' '), 7, "expected 8 values, found 0"},
        {header() + v8.substr(0, 6), 1, "needs 8 values"}, // too few bytes for 8 values
        {header() + "0 1 2\n3 abc 5 6 7\n", 9, "\"abc\" is not a number"},
        {header() + "0 1 2\n3 4\n5 nan 7\n", 10, "not a finite number"},
    };
    for (const Case& c : cases) {
        PotentialGrid g;
        ASSERT_TRUE(read(g, header("3 2 2") + "1 2 3 4 5 6 7 8 9 10 11 12\n").ok);
        const std::vector<float> before = g.values;
        const DxReadResult r = read(g, c.text);
        EXPECT_FALSE(r.ok) << c.text;
        const std::string prefix = "line " + std::to_string(c.line) + ": ";
        EXPECT_EQ(r.error.substr(0, prefix.size()), prefix) << r.error;
        EXPECT_NE(r.error.find(c.problem), std::string::npos) << r.error;
        // The grid read before is left as it was.
        EXPECT_EQ(g.nx, 3);
        EXPECT_EQ(g.values, before);
        EXPECT_TRUE(g.loaded);
    }
}

TEST(DxReader, Files) {
    PotentialGrid g;
    bool openFailed = false;
    const DxReadResult missing = readDxGridFile(g, "/nonexistent-dir/pot.dx", &openFailed);
    EXPECT_TRUE(openFailed);
    EXPECT_EQ(missing.error, "No such file or directory");

    const std::string path = testing::TempDir() + "quorax-" + std::to_string(getpid()) + ".dx";
    std::ofstream(path) << header() << "0 1 2 3 4 5 6 7\n";
    EXPECT_TRUE(readDxGridFile(g, path, &openFailed).ok);
    EXPECT_FALSE(openFailed);
    EXPECT_EQ(g.at(1, 1, 0), 6.0f);
    EXPECT_FALSE(readDxGridFile(g, testing::TempDir(), &openFailed).ok); // a folder is not a file
    std::remove(path.c_str());
}
