// Text outputs: the lines file and the debug OBJ dumps. Numbers are printed
// exactly as C printf "%f" prints them (fixed, six decimals, a point).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "field_line.h"
#include "mesh.h"

namespace quorax {

// Appends printf("%f", v) to out.
void appendFixed(std::string& out, double v);
// Appends printf("v %f %f %f\n", p.x, p.y, p.z) to out.
void appendVertexLine(std::string& out, const char* keyword, Vec3 p);

// Text of the lines file: per line "n\n", then "v %f %f %f\n" for each point
// from the last to the first. An empty list gives an empty text.
std::string formatLinesFile(const std::vector<FieldLine>& lines);

// Writes the text of formatLinesFile(lines) to `path` as it is produced, without
// building it whole in memory, replacing the file whole or not at all.
// On failure returns false with the reason in `error`.
bool writeLinesFile(const std::string& path, const std::vector<FieldLine>& lines, std::string& error);

// The lines file written batch by batch: the text of formatLinesFile over
// all batches in order, replacing the file whole or not at all at commit().
class LinesFileWriter {
public:
    LinesFileWriter();
    ~LinesFileWriter();
    LinesFileWriter(const LinesFileWriter&) = delete;
    LinesFileWriter& operator=(const LinesFileWriter&) = delete;
    // On failure returns false with the reason in `error`.
    bool open(const std::string& path, std::string& error);
    // Formats the lines (in parallel) and writes them after the earlier ones.
    void append(const std::vector<FieldLine>& lines);
    // Puts the file in place; on failure returns false with the reason in `error`.
    bool commit(std::string& error);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Text of an OBJ surface: "v %f %f %f\n" per vertex, then "f a b c\n" per
// face with 1-based indices, in mesh order. quorax reads it back unchanged.
std::string formatObjMesh(const TriMesh& mesh);

// Debug dumps, each replaced whole or not at all in the current folder:
// "saved.obj" (positions, then faces "f a b c"), "saved_n.obj" (each position
// followed by its normal, faces "f a//a b//b c//c") and "seeds.obj" (one "v"
// line per seed). On failure they return false with the reason in `error`.
bool dumpMeshObj(const TriMesh& mesh, std::string& error, const std::string& path = "saved.obj");
bool dumpMeshNormalsObj(const TriMesh& mesh, std::string& error, const std::string& path = "saved_n.obj");
bool dumpSeedsObj(const std::vector<Vec3>& seeds, std::string& error, const std::string& path = "seeds.obj");

} // namespace quorax
