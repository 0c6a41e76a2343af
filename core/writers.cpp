#include "writers.h"

#include <charconv>
#include <cstdio>
#include <vector>

#include "file_io.h"
#include "parallel.h"

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

namespace {

// One line of the lines file: "n", then its points from the last to the first.
void appendFieldLine(std::string& out, const FieldLine& line) {
    out += "n\n";
    for (std::size_t i = line.size(); i-- > 0;) appendVertexLine(out, "v", line[i]);
}

} // namespace

std::string formatLinesFile(const std::vector<FieldLine>& lines) {
    std::string out;
    std::size_t points = 0;
    for (const FieldLine& l : lines) points += l.size();
    out.reserve(lines.size() * 2 + points * 36);
    for (const FieldLine& l : lines) appendFieldLine(out, l);
    return out;
}

namespace {

// Text built piece by piece and handed to the writer in chunks, so that an
// output of any size needs only a small buffer.
class ChunkedOutput {
public:
    explicit ChunkedOutput(AtomicFileWriter& writer) : writer_(writer) { text.reserve(kChunk + 256); }
    // Call after each record appended to `text`.
    void recordDone() {
        if (text.size() >= kChunk) {
            writer_.write(text);
            text.clear();
        }
    }
    bool finish(std::string& error) {
        writer_.write(text);
        text.clear();
        return writer_.commit(error);
    }
    std::string text;

private:
    static constexpr std::size_t kChunk = std::size_t(1) << 16;
    AtomicFileWriter& writer_;
};

void appendIndex(std::string& out, int32_t i) {
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, i);
    out.append(buf, r.ptr);
}

// "f a b c\n" with 1-based indices.
void appendFaceLine(std::string& out, const MeshFace& f) {
    out += 'f';
    for (int32_t i : f.v) {
        out += ' ';
        appendIndex(out, i + 1);
    }
    out += '\n';
}

} // namespace

std::string formatObjMesh(const TriMesh& mesh) {
    std::string out;
    out.reserve(mesh.vertices.size() * 36 + mesh.faces.size() * 24);
    for (const MeshVertex& v : mesh.vertices) appendVertexLine(out, "v", v.pos);
    for (const MeshFace& f : mesh.faces) appendFaceLine(out, f);
    return out;
}

struct LinesFileWriter::Impl {
    AtomicFileWriter file;
    std::vector<std::string> texts; // one per piece of a batch
};

LinesFileWriter::LinesFileWriter() : impl_(std::make_unique<Impl>()) {}
LinesFileWriter::~LinesFileWriter() = default;

bool LinesFileWriter::open(const std::string& path, std::string& error) { return impl_->file.open(path, error); }

void LinesFileWriter::append(const std::vector<FieldLine>& lines) {
    // A batch of lines of about kBatchPoints points at a time is cut into
    // pieces that are formatted in parallel and written in order, so the
    // text never needs more than a batch of memory.
    constexpr std::size_t kBatchPoints = std::size_t(1) << 17;
    const int threads = workerThreads();
    const std::size_t pieces = threads == 1 ? 1 : 4 * static_cast<std::size_t>(threads);
    std::vector<std::string>& texts = impl_->texts;
    texts.resize(pieces);
    for (std::size_t first = 0; first < lines.size();) {
        std::size_t last = first, points = 0;
        while (last < lines.size() && points < kBatchPoints) points += lines[last++].size() + 1;
        const std::size_t count = last - first;
        parallelRanges(pieces, 1, [&](std::size_t begin, std::size_t end) {
            for (std::size_t p = begin; p < end; ++p) {
                std::string& text = texts[p];
                text.clear();
                for (std::size_t l = first + count * p / pieces; l < first + count * (p + 1) / pieces; ++l)
                    appendFieldLine(text, lines[l]);
            }
        });
        for (const std::string& text : texts) impl_->file.write(text);
        first = last;
    }
}

bool LinesFileWriter::commit(std::string& error) { return impl_->file.commit(error); }

bool writeLinesFile(const std::string& path, const std::vector<FieldLine>& lines, std::string& error) {
    LinesFileWriter file;
    if (!file.open(path, error)) return false;
    file.append(lines);
    return file.commit(error);
}

bool dumpMeshObj(const TriMesh& mesh, std::string& error, const std::string& path) {
    AtomicFileWriter file;
    if (!file.open(path, error)) return false;
    ChunkedOutput out(file);
    for (const MeshVertex& v : mesh.vertices) {
        appendVertexLine(out.text, "v", v.pos);
        out.recordDone();
    }
    for (const MeshFace& f : mesh.faces) {
        appendFaceLine(out.text, f);
        out.recordDone();
    }
    return out.finish(error);
}

bool dumpMeshNormalsObj(const TriMesh& mesh, std::string& error, const std::string& path) {
    AtomicFileWriter file;
    if (!file.open(path, error)) return false;
    ChunkedOutput out(file);
    for (const MeshVertex& v : mesh.vertices) {
        appendVertexLine(out.text, "v", v.pos);
        appendVertexLine(out.text, "vn", v.normal);
        out.recordDone();
    }
    for (const MeshFace& f : mesh.faces) {
        out.text += 'f';
        for (int32_t i : f.v) {
            out.text += ' ';
            appendIndex(out.text, i + 1);
            out.text += "//";
            appendIndex(out.text, i + 1);
        }
        out.text += '\n';
        out.recordDone();
    }
    return out.finish(error);
}

bool dumpSeedsObj(const std::vector<Vec3>& seeds, std::string& error, const std::string& path) {
    AtomicFileWriter file;
    if (!file.open(path, error)) return false;
    ChunkedOutput out(file);
    for (const Vec3& s : seeds) {
        appendVertexLine(out.text, "v", s);
        out.recordDone();
    }
    return out.finish(error);
}

} // namespace quorax
