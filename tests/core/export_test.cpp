// Exchange formats: the solids are closed, oriented and free of degenerate triangles for every shape of line; the line
// values follow the field; the extensions choose the format. (Real readers judge the files in
// tests/tool/check_exports.py.)
#include "grids.h"
#include "line_export.h"
#include "process.h"
#include "tubes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <utility>

using namespace quorax;
using quorax::test::has;
using namespace std::string_literals;

namespace {

FieldLine makeLine(std::vector<Vec3> points) { return FieldLine{std::move(points)}; }

// Checks that shell `s` of `m` is a closed, consistently oriented 2-manifold of sphere topology with no zero-area
// triangle and an outward orientation (positive volume). Returns the shell's volume.
double checkShell(const SolidMesh& m, std::size_t s, const char* what) {
    const std::size_t begin = m.shellStarts[s];
    const std::size_t end = s + 1 < m.shellStarts.size() ? m.shellStarts[s + 1] : m.triangles.size();
    std::map<std::pair<int32_t, int32_t>, int> directed;
    std::map<int32_t, int> used;
    double volume = 0.0;
    for (std::size_t t = begin; t < end; ++t) {
        const auto& tri = m.triangles[t];
        for (int c = 0; c < 3; ++c) {
            ++directed[{tri[c], tri[(c + 1) % 3]}];
            ++used[tri[c]];
        }
        const Vec3 a = m.vertices[tri[0]], b = m.vertices[tri[1]], c = m.vertices[tri[2]];
        EXPECT_GT(length(cross(b - a, c - a)), 1e-6f) << what << ": zero-area triangle " << t;
        volume += dot(a, cross(b, c)) / 6.0;
    }
    // Each directed edge once and its reverse once: every edge in exactly
    // two triangles, traversed in opposite directions (consistent normals).
    for (const auto& [edge, count] : directed) {
        EXPECT_EQ(count, 1) << what << ": edge " << edge.first << "-" << edge.second << " repeated";
        EXPECT_EQ(directed.count({edge.second, edge.first}), 1u) << what << ": open edge";
    }
    const long long v = static_cast<long long>(used.size()), e = static_cast<long long>(directed.size() / 2),
                    f = static_cast<long long>(end - begin);
    EXPECT_EQ(v - e + f, 2) << what << ": not a sphere";
    EXPECT_GT(volume, 0.0) << what << ": normals point inwards";
    return volume;
}

} // namespace

TEST(Tubes, EveryLineShapeGivesAClosedOrientedShell) {
    const float r = 0.6f;
    struct Shape {
        const char* what;
        std::vector<Vec3> points;
    };
    const std::vector<Shape> shapes = {
        {"one point", {{1, 2, 3}}},
        {"two equal points", {{5, 5, 5}, {5, 5, 5}}},
        {"points closer than the radius", {{0, 0, 0}, {0.1f, 0, 0}, {0.2f, 0, 0}}},
        {"right-angle zigzag", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {2, 1, 0}, {2, 2, 0}}},
        {"hairpin", {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {1, 0.01f, 0}, {0, 0.02f, 0}}},
        {"exact reversal", {{0, 0, 0}, {1, 0, 0}, {0, 0, 0}, {1, 0, 0}, {0, 0, 0}, {-1, 0, 0}}},
        {"helix", {}},
        {"far from the origin", {{1000, -2000, 500}, {1000.5f, -2000, 500}, {1001, -1999.5f, 500}}},
        {"not finite point", {{0, 0, 0}, {NAN, 0, 0}, {1, 0, 0}}},
    };
    std::vector<FieldLine> lines;
    for (const Shape& s : shapes) {
        std::vector<Vec3> p = s.points;
        if (p.empty())
            for (int i = 0; i < 60; ++i) p.push_back({3 * std::cos(0.4f * i), 3 * std::sin(0.4f * i), 0.2f * i});
        lines.push_back(makeLine(p));
    }
    lines.push_back(makeLine({})); // an empty line adds no shell
    const SolidMesh mesh = buildLineSolids(lines, r);
    ASSERT_EQ(mesh.shellStarts.size(), shapes.size());
    for (std::size_t s = 0; s < shapes.size(); ++s) {
        SCOPED_TRACE(shapes[s].what);
        checkShell(mesh, s, shapes[s].what);
    }
    // A radius that is not a positive number adds nothing.
    for (float bad : {0.0f, -1.0f, NAN, INFINITY}) EXPECT_TRUE(buildLineSolids(lines, bad).triangles.empty());
}

TEST(Tubes, StraightTubeHasItsVolumeAndTheArrowPointsToLowerPotential) {
    // Stored order runs along the gradient: x = 10 is the highest potential,
    // so the field and the arrow point towards −x, past x = 0.
    const float r = 0.5f;
    SolidMesh mesh;
    appendLineSolid(mesh, makeLine({{0, 0, 0}, {5, 0, 0}, {10, 0, 0}}), r);
    float minX = 1e9f, maxX = -1e9f, maxRadius = 0.0f;
    for (const Vec3& v : mesh.vertices) {
        minX = std::fmin(minX, v.x);
        maxX = std::fmax(maxX, v.x);
        maxRadius = std::fmax(maxRadius, std::hypot(v.y, v.z));
    }
    EXPECT_FLOAT_EQ(maxX, 10.0f);          // flat cap at the high end
    EXPECT_FLOAT_EQ(minX, -4 * r);         // arrow tip 4 r past the low end
    EXPECT_FLOAT_EQ(maxRadius, 2 * r);     // arrow base twice the tube
    // Octagonal prism of length 10 plus a cone of base 2r, height 4r.
    const double octagon = 2.0 * std::sqrt(2.0);
    const double expected = octagon * r * r * 10 + octagon * 4 * r * r * 4 * r / 3;
    EXPECT_NEAR(checkShell(mesh, 0, "straight"), expected, 1e-3 * expected);
}

TEST(Tubes, FilesCarryEveryTriangle) {
    SolidMesh mesh;
    appendLineSolid(mesh, makeLine({{0, 0, 0}, {2, 0, 0}}), 0.6f);
    const std::size_t n = mesh.triangles.size();
    const std::string stl = formatSolidExport(ExportFormat::Stl, mesh);
    ASSERT_EQ(stl.size(), 84 + 50 * n); // header, count, 50 bytes a triangle
    uint32_t count;
    std::memcpy(&count, stl.data() + 80, 4);
    EXPECT_EQ(count, n);
    const std::string obj = formatSolidExport(ExportFormat::Obj, mesh);
    EXPECT_TRUE(has(obj, "\no line_0\nf 1 3 2\n"));
    const std::string ply = formatSolidExport(ExportFormat::Ply, mesh);
    EXPECT_TRUE(has(ply, "element face " + std::to_string(n) + "\n"));
    EXPECT_EQ(ply.size() - (ply.find("end_header\n") + 11), mesh.vertices.size() * 12 + n * 13);
}

TEST(LineExport, ValuesFollowTheField) {
    // Potential 10 + x on a 6³ grid of spacing 1: the gradient is (1, 0, 0).
    const PotentialGrid grid = test::potential(6, 1, {}, [](Vec3 p) { return 10.0f + p.x; });
    const GradientGrid gradient = test::field(6, 6, 6, [](int, int, int) { return Vec3{1, 0, 0}; });
    // Seed at x = 2; exported from x = 4 down to x = 1; one point outside the box at x = 9 takes the value of its
    // upper face.
    std::vector<FieldLine> lines = {makeLine({{1, 2, 2}, {2, 2, 2}, {3, 2, 2}, {4, 2, 2}}), makeLine({{9, 2, 2}})};
    lines[0].forward = StopReason::LeftGrid;
    lines[0].backward = StopReason::WeakField;
    const LineValues v = computeLineValues(lines, {{2, 2, 2}, {9, 2, 2}}, grid, gradient);
    EXPECT_EQ(v.potential, (std::vector<float>{14, 13, 12, 11, 15}));
    EXPECT_EQ(v.fieldStrength, (std::vector<float>{1, 1, 1, 1, 1}));
    EXPECT_EQ(v.arcLength, (std::vector<float>{-2, -1, 0, 1, 0}));
    // A seed the simplification removed: arc measured from the nearest point on the line.
    const LineValues w = computeLineValues({makeLine({{1, 2, 2}, {4, 2, 2}})}, {{3.5f, 2.1f, 2}}, grid, gradient);
    EXPECT_EQ(w.arcLength, (std::vector<float>{-0.5f, 2.5f}));
    // The line index and the arrays reach the files; OBJ writes one-point lines as points.
    const std::string vtp = formatLinesExport(ExportFormat::Vtp, lines, &v);
    for (const char* name : {"\"potential\"", "\"field_strength\"", "\"arc_length\"", "\"line_index\"",
                             "\"stop_reason_start\"", "\"stop_reason_end\""})
        EXPECT_TRUE(has(vtp, name));
    // The first exported point is the end traced along the gradient.
    const std::string vtk = formatLinesExport(ExportFormat::Vtk, lines, &v);
    EXPECT_TRUE(has(vtk, "stop_reason_start 1 2 unsigned_char\n\x01\x00\n"s));
    EXPECT_TRUE(has(vtk, "stop_reason_end 1 2 unsigned_char\n\x04\x00\n"s));
    EXPECT_TRUE(has(vtp, "NumberOfPoints=\"5\" NumberOfVerts=\"0\" NumberOfLines=\"2\""));
    const std::string obj = formatLinesExport(ExportFormat::Obj, lines, nullptr);
    EXPECT_TRUE(has(obj, "v 4 2 2\nv 3 2 2\nv 2 2 2\nv 1 2 2\nv 9 2 2\nl 1 2 3 4\np 5\n"));
    const std::string ply = formatLinesExport(ExportFormat::Ply, lines, &v);
    EXPECT_TRUE(has(ply, "element vertex 5\n"));
    EXPECT_TRUE(has(ply, "element edge 3\n"));
}

TEST(LineExport, ExtensionChoosesTheFormat) {
    EXPECT_EQ(exportFormatFor(ExportKind::Lines, "a/b.VTP"), ExportFormat::Vtp);
    EXPECT_EQ(exportFormatFor(ExportKind::Tubes, "x.Stl"), ExportFormat::Stl);
    EXPECT_EQ(exportFormatFor(ExportKind::Surface, "x.ply"), ExportFormat::Ply);
    EXPECT_FALSE(exportFormatFor(ExportKind::Lines, "x.stl"));
    EXPECT_FALSE(exportFormatFor(ExportKind::Tubes, "dir.stl/file"));
    EXPECT_FALSE(exportFormatFor(ExportKind::Tubes, "stl"));
    EXPECT_EQ(acceptedExtensions(ExportKind::Lines), ".vtp, .vtk, .obj or .ply");
    EXPECT_EQ(acceptedExtensions(ExportKind::Surface), ".vtp or .ply");
}
