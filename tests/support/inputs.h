// Small input files written by the tests, and the lines file read back.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace quorax::test {

// The header of an OpenDX grid of n³ nodes, spacing 1 from the origin.
inline std::string dxHeader(int n) {
    const std::string c = " counts " + std::to_string(n) + ' ' + std::to_string(n) + ' ' + std::to_string(n);
    return "object 1 class gridpositions" + c + "\norigin 0 0 0\ndelta 1 0 0\ndelta 0 1 0\ndelta 0 0 1\n" +
           "object 2 class gridconnections" + c + "\nobject 3 class array type double rank 0 items " +
           std::to_string(n * n * n) + " data follows\n";
}

// That grid with node (i, j, k) holding f(i, j, k), three values a line, then the trailer APBS writes.
inline std::string dxText(int n, const std::function<double(int, int, int)>& f) {
    std::ostringstream s;
    s << dxHeader(n);
    for (int v = 0; v < n * n * n; ++v) s << f(v / (n * n), v / n % n, v % n) << (v % 3 == 2 ? "\n" : " ");
    s << "\nattribute \"dep\" string \"positions\"\n";
    return s.str();
}

// φ = 10 + x on n³ nodes: the gradient is (1, 0, 0) everywhere.
inline std::string linearDx(int n) {
    return dxText(n, [](int i, int, int) { return 10.0 + i; });
}

// An n × n sheet of vertices in the plane x = `x`, `step` apart from (x, 4, 4), as 2 (n − 1)² triangles; `jitter`
// moves vertex (a, b) along x by jitter · ((7a + 3b) mod 5).
inline std::string sheetObj(int n, double x, double step, double jitter = 0) {
    std::ostringstream s;
    for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b)
            s << "v " << x + jitter * ((7 * a + 3 * b) % 5) << ' ' << 4 + a * step << ' ' << 4 + b * step << '\n';
    for (int a = 0; a + 1 < n; ++a)
        for (int b = 0; b + 1 < n; ++b) {
            const int v = a * n + b + 1;
            s << "f " << v << ' ' << v + n << ' ' << v + n + 1 << "\nf " << v << ' ' << v + n + 1 << ' ' << v + 1
              << '\n';
        }
    return s.str();
}

// A lines file read back: each line's points, in file order. Checks the format on the way: "n" starts a line,
// then "v x y z" with six decimals.
using Point = std::array<double, 3>;
inline std::vector<std::vector<Point>> readLinesFile(const std::string& text) {
    static const std::regex point(R"(v (-?\d+\.\d{6}) (-?\d+\.\d{6}) (-?\d+\.\d{6}))");
    std::vector<std::vector<Point>> lines;
    std::istringstream in(text);
    std::smatch m;
    for (std::string row; std::getline(in, row);) {
        if (row == "n")
            lines.emplace_back();
        else if (!lines.empty() && std::regex_match(row, m, point))
            lines.back().push_back({std::stod(m[1]), std::stod(m[2]), std::stod(m[3])});
        else
            ADD_FAILURE() << "not a lines file row here: " << row;
    }
    return lines;
}

} // namespace quorax::test
