#include "writers.h"

#include <charconv>
#include <cstdio>

#include "file_io.h"

namespace quorax {

void appendFixed(std::string& out, double v) {
    // std::to_chars with a precision rounds the exact binary value half to
    // even, as glibc's printf does; it spells inf and nan as printf does too.
    char buf[512];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
    out.append(buf, r.ptr);
}

void appendVertexLine(std::string& out, const char* keyword, Vec3 p) {
    out += keyword;
    out += ' ';
    appendFixed(out, p.x);
    out += ' ';
    appendFixed(out, p.y);
    out += ' ';
    appendFixed(out, p.z);
    out += '\n';
}

std::string formatLinesFile(const std::vector<FieldLine>& lines) {
    std::string out;
    std::size_t points = 0;
    for (const FieldLine& l : lines) points += l.size();
    out.reserve(lines.size() * 2 + points * 36);
    for (const FieldLine& l : lines) {
        out += "n\n";
        for (std::size_t i = l.size(); i-- > 0;) appendVertexLine(out, "v", l[i]);
    }
    return out;
}

bool writeLinesFile(const std::string& path, const std::vector<FieldLine>& lines, std::string& error) {
    return writeFileAtomically(path, formatLinesFile(lines), error);
}

namespace {

void appendIndex(std::string& out, int32_t i) {
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, i);
    out.append(buf, r.ptr);
}

} // namespace

std::string formatObjMesh(const TriMesh& mesh) {
    std::string out;
    out.reserve(mesh.vertices.size() * 36 + mesh.faces.size() * 24);
    for (const MeshVertex& v : mesh.vertices) appendVertexLine(out, "v", v.pos);
    for (const MeshFace& f : mesh.faces) {
        out += 'f';
        for (int32_t i : f.v) {
            out += ' ';
            appendIndex(out, i + 1);
        }
        out += '\n';
    }
    return out;
}

bool dumpMeshObj(const TriMesh& mesh, std::string& error, const std::string& path) {
    return writeFileAtomically(path, formatObjMesh(mesh), error);
}

bool dumpMeshNormalsObj(const TriMesh& mesh, std::string& error, const std::string& path) {
    std::string out;
    for (const MeshVertex& v : mesh.vertices) {
        appendVertexLine(out, "v", v.pos);
        appendVertexLine(out, "vn", v.normal);
    }
    for (const MeshFace& f : mesh.faces) {
        out += 'f';
        for (int32_t i : f.v) {
            out += ' ';
            appendIndex(out, i + 1);
            out += "//";
            appendIndex(out, i + 1);
        }
        out += '\n';
    }
    return writeFileAtomically(path, out, error);
}

bool dumpSeedsObj(const std::vector<Vec3>& seeds, std::string& error, const std::string& path) {
    std::string out;
    for (const Vec3& s : seeds) appendVertexLine(out, "v", s);
    return writeFileAtomically(path, out, error);
}

} // namespace quorax
