#include "line_export.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "binary_append.h"
#include "sampling.h"

namespace quorax {
namespace {

std::string lowerExtension(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

struct NamedFormat {
    const char* extension;
    ExportFormat format;
};

std::vector<NamedFormat> formatsOf(ExportKind kind) {
    switch (kind) {
    case ExportKind::Lines:
        return {{".vtp", ExportFormat::Vtp}, {".vtk", ExportFormat::Vtk}, {".obj", ExportFormat::Obj},
                {".ply", ExportFormat::Ply}};
    case ExportKind::Tubes:
        return {{".stl", ExportFormat::Stl}, {".obj", ExportFormat::Obj}, {".ply", ExportFormat::Ply}};
    case ExportKind::Surface:
        return {{".vtp", ExportFormat::Vtp}, {".ply", ExportFormat::Ply}};
    }
    return {};
}

// Stored points of line `l` in exported order: index e maps to size-1-e.
inline Vec3 exportedPoint(const FieldLine& l, std::size_t e) { return l[l.size() - 1 - e]; }

std::size_t totalPoints(const std::vector<FieldLine>& lines) {
    std::size_t n = 0;
    for (const FieldLine& l : lines) n += l.size();
    return n;
}

// Arc position (from the first exported point) of the point of the line
// nearest to `seed`.
double seedArcPosition(const FieldLine& line, Vec3 seed) {
    double best = std::numeric_limits<double>::infinity(), bestArc = 0.0, arc = 0.0;
    for (std::size_t e = 0; e + 1 < line.size(); ++e) {
        const Vec3 a = exportedPoint(line, e), b = exportedPoint(line, e + 1);
        const Vec3 ab = b - a;
        const double len = length(ab);
        double t = 0.0;
        if (len > 0.0) t = std::clamp(static_cast<double>(dot(seed - a, ab)) / (len * len), 0.0, 1.0);
        const double d = length(seed - (a + ab * static_cast<float>(t)));
        if (d < best) {
            best = d;
            bestArc = arc + t * len;
            if (d == 0.0) break; // the seed itself is on the line
        }
        arc += len;
    }
    return bestArc; // a line of one point is its seed
}

// ---- VTK XML PolyData, raw appended data ---------------------------------

struct VtpArray {
    const char* section; // PointData, CellData, Points, Lines or Polys
    const char* type;    // Float32, Int32, Int64, UInt8
    const char* name;
    int components;
    std::string bytes;
};

std::string formatVtp(std::size_t points, std::size_t lines, std::size_t polys, std::vector<VtpArray>& arrays) {
    std::string out = "<?xml version=\"1.0\"?>\n"
                      "<VTKFile type=\"PolyData\" version=\"1.0\" byte_order=\"LittleEndian\" "
                      "header_type=\"UInt64\">\n  <PolyData>\n    <Piece NumberOfPoints=\"";
    appendNumber(out, points);
    out += "\" NumberOfVerts=\"0\" NumberOfLines=\"";
    appendNumber(out, lines);
    out += "\" NumberOfStrips=\"0\" NumberOfPolys=\"";
    appendNumber(out, polys);
    out += "\">\n";
    std::size_t offset = 0;
    for (const char* section : {"PointData", "CellData", "Points", "Lines", "Polys"}) {
        bool open = false;
        for (const VtpArray& a : arrays) {
            if (std::string_view(a.section) != section) continue;
            if (!open) {
                out += "      <";
                out += section;
                if (std::string_view(section) == "PointData") {
                    for (const VtpArray& s : arrays)
                        if (std::string_view(s.section) == section) {
                            out += " Scalars=\"";
                            out += s.name;
                            out += '"';
                            break;
                        }
                }
                out += ">\n";
                open = true;
            }
            out += "        <DataArray type=\"";
            out += a.type;
            out += '"';
            if (*a.name) {
                out += " Name=\"";
                out += a.name;
                out += '"';
            }
            if (a.components != 1) {
                out += " NumberOfComponents=\"";
                appendNumber(out, static_cast<std::size_t>(a.components));
                out += '"';
            }
            out += " format=\"appended\" offset=\"";
            appendNumber(out, offset);
            out += "\"/>\n";
            offset += 8 + a.bytes.size();
        }
        if (open) {
            out += "      </";
            out += section;
            out += ">\n";
        }
    }
    out += "    </Piece>\n  </PolyData>\n  <AppendedData encoding=\"raw\">\n   _";
    out.reserve(out.size() + offset + 40);
    for (const char* section : {"PointData", "CellData", "Points", "Lines", "Polys"})
        for (VtpArray& a : arrays) {
            if (std::string_view(a.section) != section) continue;
            appendBinary<uint64_t>(out, a.bytes.size());
            out += a.bytes;
            std::string().swap(a.bytes);
        }
    out += "\n  </AppendedData>\n</VTKFile>\n";
    return out;
}

std::string floatBytes(const std::vector<float>& v, bool little = true) {
    std::string s;
    s.reserve(v.size() * 4);
    for (float x : v) appendBinary(s, x, little);
    return s;
}

// The values of each line as a whole: the potential at both exported ends,
// the length, which ends met the surface, and the flux of its seed.
void appendPerLineValues(std::vector<VtpArray>& arrays, const std::vector<FieldLine>& lines,
                         const LineValues& values) {
    std::string first, last, len, startOn, endOn;
    std::size_t at = 0;
    for (const FieldLine& l : lines) {
        const std::size_t n = l.size();
        const float p0 = n ? values.potential[at] : 0.0f, p1 = n ? values.potential[at + n - 1] : 0.0f;
        const float a0 = n ? values.arcLength[at] : 0.0f, a1 = n ? values.arcLength[at + n - 1] : 0.0f;
        appendBinary(first, p0);
        appendBinary(last, p1);
        appendBinary(len, a1 - a0);
        // Exported from the forward end to the backward one.
        appendBinary(startOn, static_cast<uint8_t>(l.forward == StopReason::Surface));
        appendBinary(endOn, static_cast<uint8_t>(l.backward == StopReason::Surface));
        at += n;
    }
    arrays.push_back({"CellData", "Float32", "potential_start", 1, std::move(first)});
    arrays.push_back({"CellData", "Float32", "potential_end", 1, std::move(last)});
    arrays.push_back({"CellData", "Float32", "length", 1, std::move(len)});
    arrays.push_back({"CellData", "UInt8", "start_on_surface", 1, std::move(startOn)});
    arrays.push_back({"CellData", "UInt8", "end_on_surface", 1, std::move(endOn)});
    if (values.seedFlux.size() == lines.size())
        arrays.push_back({"CellData", "Float32", "seed_flux", 1, floatBytes(values.seedFlux)});
}

std::string formatLinesVtp(const std::vector<FieldLine>& lines, const LineValues* values) {
    const std::size_t n = totalPoints(lines);
    std::vector<VtpArray> arrays;
    if (values) {
        arrays.push_back({"PointData", "Float32", "potential", 1, floatBytes(values->potential)});
        arrays.push_back({"PointData", "Float32", "field_strength", 1, floatBytes(values->fieldStrength)});
        arrays.push_back({"PointData", "Float32", "arc_length", 1, floatBytes(values->arcLength)});
    }
    std::string index, startStop, endStop, pts, conn, offs;
    index.reserve(lines.size() * 4);
    pts.reserve(n * 12);
    conn.reserve(n * 4);
    offs.reserve(lines.size() * 4);
    int32_t k = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        appendBinary<int32_t>(index, static_cast<int32_t>(i));
        const FieldLine& l = lines[i];
        appendBinary(startStop, static_cast<uint8_t>(l.forward));
        appendBinary(endStop, static_cast<uint8_t>(l.backward));
        for (std::size_t e = 0; e < l.size(); ++e) {
            const Vec3 p = exportedPoint(l, e);
            appendBinary(pts, p.x);
            appendBinary(pts, p.y);
            appendBinary(pts, p.z);
            appendBinary<int32_t>(conn, k++);
        }
        appendBinary<int32_t>(offs, k);
    }
    arrays.push_back({"CellData", "Int32", "line_index", 1, std::move(index)});
    arrays.push_back({"CellData", "UInt8", "stop_reason_start", 1, std::move(startStop)});
    arrays.push_back({"CellData", "UInt8", "stop_reason_end", 1, std::move(endStop)});
    if (values) appendPerLineValues(arrays, lines, *values);
    arrays.push_back({"Points", "Float32", "", 3, std::move(pts)});
    arrays.push_back({"Lines", "Int32", "connectivity", 1, std::move(conn)});
    arrays.push_back({"Lines", "Int32", "offsets", 1, std::move(offs)});
    return formatVtp(n, lines.size(), 0, arrays);
}

std::string formatSurfaceVtp(const TriMesh& mesh) {
    std::string pot, pts, conn, offs;
    pot.reserve(mesh.vertices.size() * 4);
    pts.reserve(mesh.vertices.size() * 12);
    for (const MeshVertex& v : mesh.vertices) {
        appendBinary(pot, v.potential);
        appendBinary(pts, v.pos.x);
        appendBinary(pts, v.pos.y);
        appendBinary(pts, v.pos.z);
    }
    conn.reserve(mesh.faces.size() * 12);
    offs.reserve(mesh.faces.size() * 4);
    int32_t k = 0;
    for (const MeshFace& f : mesh.faces) {
        for (int32_t c : f.v) appendBinary<int32_t>(conn, c);
        appendBinary<int32_t>(offs, k += 3);
    }
    std::vector<VtpArray> arrays;
    arrays.push_back({"PointData", "Float32", "potential", 1, std::move(pot)});
    arrays.push_back({"Points", "Float32", "", 3, std::move(pts)});
    arrays.push_back({"Polys", "Int32", "connectivity", 1, std::move(conn)});
    arrays.push_back({"Polys", "Int32", "offsets", 1, std::move(offs)});
    return formatVtp(mesh.vertices.size(), 0, mesh.faces.size(), arrays);
}

// ---- legacy VTK, binary (big-endian) -------------------------------------

void appendLegacyScalars(std::string& out, const char* name, const char* type, const std::string& bytes) {
    out += "SCALARS ";
    out += name;
    out += ' ';
    out += type;
    out += " 1\nLOOKUP_TABLE default\n";
    out += bytes;
    out += '\n';
}

void appendLegacyField(std::string& out, const char* name, std::size_t count, const char* type,
                       const std::string& bytes) {
    out += name;
    out += " 1 ";
    appendNumber(out, count);
    out += ' ';
    out += type;
    out += '\n';
    out += bytes;
    out += '\n';
}

std::string formatLinesVtk(const std::vector<FieldLine>& lines, const LineValues* values) {
    const std::size_t n = totalPoints(lines);
    std::string out = "# vtk DataFile Version 3.0\nQUORAX field lines\nBINARY\nDATASET POLYDATA\nPOINTS ";
    appendNumber(out, n);
    out += " float\n";
    out.reserve(out.size() + n * (12 + 4 + (values ? 12 : 0)) + lines.size() * 8 + 400);
    for (const FieldLine& l : lines)
        for (std::size_t e = 0; e < l.size(); ++e) {
            const Vec3 p = exportedPoint(l, e);
            appendBinary(out, p.x, false);
            appendBinary(out, p.y, false);
            appendBinary(out, p.z, false);
        }
    out += "\nLINES ";
    appendNumber(out, lines.size());
    out += ' ';
    appendNumber(out, lines.size() + n);
    out += '\n';
    int32_t k = 0;
    for (const FieldLine& l : lines) {
        appendBinary<int32_t>(out, static_cast<int32_t>(l.size()), false);
        for (std::size_t e = 0; e < l.size(); ++e) appendBinary<int32_t>(out, k++, false);
    }
    out += "\nCELL_DATA ";
    appendNumber(out, lines.size());
    out += '\n';
    std::string index, startStop, endStop;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        appendBinary<int32_t>(index, static_cast<int32_t>(i), false);
        appendBinary(startStop, static_cast<uint8_t>(lines[i].forward));
        appendBinary(endStop, static_cast<uint8_t>(lines[i].backward));
    }
    appendLegacyScalars(out, "line_index", "int", index);
    out += "FIELD line_values 2\n";
    appendLegacyField(out, "stop_reason_start", lines.size(), "unsigned_char", startStop);
    appendLegacyField(out, "stop_reason_end", lines.size(), "unsigned_char", endStop);
    if (values) {
        // The potential as the active scalars; the others as a field, which
        // the legacy readers load whole (they keep only the first SCALARS).
        out += "POINT_DATA ";
        appendNumber(out, n);
        out += '\n';
        appendLegacyScalars(out, "potential", "float", floatBytes(values->potential, false));
        out += "FIELD point_values 2\n";
        appendLegacyField(out, "field_strength", n, "float", floatBytes(values->fieldStrength, false));
        appendLegacyField(out, "arc_length", n, "float", floatBytes(values->arcLength, false));
    }
    return out;
}

// ---- Wavefront OBJ ---------------------------------------------------------

void appendIndex(std::string& out, std::size_t i) { appendNumber(out, i); }

std::string formatLinesObj(const std::vector<FieldLine>& lines) {
    const std::size_t n = totalPoints(lines);
    std::string out = "# QUORAX field lines: ";
    appendNumber(out, lines.size());
    out += " lines, ";
    appendNumber(out, n);
    out += " points, each from high to low potential\n";
    out.reserve(n * 40 + lines.size() * 4);
    for (const FieldLine& l : lines)
        for (std::size_t e = 0; e < l.size(); ++e) {
            appendShortestVertex(out, exportedPoint(l, e));
        }
    std::size_t k = 1;
    for (const FieldLine& l : lines) {
        out += l.size() == 1 ? 'p' : 'l';
        for (std::size_t e = 0; e < l.size(); ++e) {
            out += ' ';
            appendIndex(out, k++);
        }
        out += '\n';
    }
    return out;
}

// ---- PLY, binary little-endian ---------------------------------------------

std::string formatLinesPly(const std::vector<FieldLine>& lines, const LineValues* values) {
    const std::size_t n = totalPoints(lines);
    std::size_t edges = 0;
    for (const FieldLine& l : lines) edges += l.empty() ? 0 : l.size() - 1;
    std::string out = "ply\nformat binary_little_endian 1.0\ncomment QUORAX field lines, each from high to low "
                      "potential\nelement vertex ";
    appendNumber(out, n);
    out += "\nproperty float x\nproperty float y\nproperty float z\n";
    if (values) out += "property float potential\n";
    out += "element edge ";
    appendNumber(out, edges);
    out += "\nproperty int vertex1\nproperty int vertex2\nend_header\n";
    out.reserve(out.size() + n * 16 + edges * 8);
    std::size_t k = 0;
    for (const FieldLine& l : lines)
        for (std::size_t e = 0; e < l.size(); ++e) {
            const Vec3 p = exportedPoint(l, e);
            appendBinary(out, p.x);
            appendBinary(out, p.y);
            appendBinary(out, p.z);
            if (values) appendBinary(out, values->potential[k]);
            ++k;
        }
    int32_t first = 0;
    for (const FieldLine& l : lines) {
        for (std::size_t e = 1; e < l.size(); ++e) {
            appendBinary<int32_t>(out, first + static_cast<int32_t>(e) - 1);
            appendBinary<int32_t>(out, first + static_cast<int32_t>(e));
        }
        first += static_cast<int32_t>(l.size());
    }
    return out;
}

std::string formatSurfacePly(const TriMesh& mesh) {
    std::vector<Vec3> positions;
    std::vector<float> potential;
    positions.reserve(mesh.vertices.size());
    potential.reserve(mesh.vertices.size());
    for (const MeshVertex& v : mesh.vertices) {
        positions.push_back(v.pos);
        potential.push_back(v.potential);
    }
    std::vector<std::array<int32_t, 3>> triangles;
    triangles.reserve(mesh.faces.size());
    for (const MeshFace& f : mesh.faces) triangles.push_back({f.v[0], f.v[1], f.v[2]});
    return formatTrianglePly("QUORAX surface with its potential", positions, &potential, triangles);
}

} // namespace

std::optional<ExportFormat> exportFormatFor(ExportKind kind, const std::string& path) {
    const std::string ext = lowerExtension(path);
    for (const NamedFormat& f : formatsOf(kind))
        if (ext == f.extension) return f.format;
    return std::nullopt;
}

std::string acceptedExtensions(ExportKind kind) {
    const std::vector<NamedFormat> formats = formatsOf(kind);
    std::string text;
    for (std::size_t i = 0; i < formats.size(); ++i) {
        if (i > 0) text += i + 1 == formats.size() ? " or " : ", ";
        text += formats[i].extension;
    }
    return text;
}

void appendShortest(std::string& out, float v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

LineValues computeLineValues(const std::vector<FieldLine>& lines, const std::vector<Vec3>& seeds,
                             const PotentialGrid& potential, const GradientGrid& gradient) {
    LineValues v;
    const std::size_t n = totalPoints(lines);
    v.potential.reserve(n);
    v.fieldStrength.reserve(n);
    v.arcLength.reserve(n);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const FieldLine& l = lines[i];
        const double seedArc = i < seeds.size() ? seedArcPosition(l, seeds[i]) : 0.0;
        double arc = 0.0;
        for (std::size_t e = 0; e < l.size(); ++e) {
            const Vec3 p = exportedPoint(l, e);
            if (e > 0) arc += length(p - exportedPoint(l, e - 1));
            v.potential.push_back(samplePotential(potential, p));
            v.fieldStrength.push_back(length(sampleGradientClamped(gradient, p)));
            v.arcLength.push_back(static_cast<float>(arc - seedArc));
        }
    }
    return v;
}

std::string formatLinesExport(ExportFormat format, const std::vector<FieldLine>& lines, const LineValues* values) {
    switch (format) {
    case ExportFormat::Vtp: return formatLinesVtp(lines, values);
    case ExportFormat::Vtk: return formatLinesVtk(lines, values);
    case ExportFormat::Obj: return formatLinesObj(lines);
    case ExportFormat::Ply: return formatLinesPly(lines, values);
    case ExportFormat::Stl: break;
    }
    return {};
}

std::string formatSurfaceExport(ExportFormat format, const TriMesh& mesh) {
    switch (format) {
    case ExportFormat::Vtp: return formatSurfaceVtp(mesh);
    case ExportFormat::Ply: return formatSurfacePly(mesh);
    default: break;
    }
    return {};
}

void appendNumber(std::string& out, std::size_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void appendShortestVertex(std::string& out, Vec3 p) {
    out += "v ";
    appendShortest(out, p.x);
    out += ' ';
    appendShortest(out, p.y);
    out += ' ';
    appendShortest(out, p.z);
    out += '\n';
}

std::string formatTrianglePly(const char* comment, const std::vector<Vec3>& positions,
                              const std::vector<float>* potential,
                              const std::vector<std::array<int32_t, 3>>& triangles) {
    std::string out = "ply\nformat binary_little_endian 1.0\ncomment ";
    out += comment;
    out += "\nelement vertex ";
    appendNumber(out, positions.size());
    out += "\nproperty float x\nproperty float y\nproperty float z\n";
    if (potential) out += "property float potential\n";
    out += "element face ";
    appendNumber(out, triangles.size());
    out += "\nproperty list uchar int vertex_indices\nend_header\n";
    out.reserve(out.size() + positions.size() * (potential ? 16 : 12) + triangles.size() * 13);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        appendBinary(out, positions[i].x);
        appendBinary(out, positions[i].y);
        appendBinary(out, positions[i].z);
        if (potential) appendBinary(out, (*potential)[i]);
    }
    for (const auto& tri : triangles) {
        appendBinary<uint8_t>(out, 3);
        for (int32_t i : tri) appendBinary<int32_t>(out, i);
    }
    return out;
}

} // namespace quorax
