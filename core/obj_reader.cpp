#include "obj_reader.h"

#include <algorithm>
#include <cstring>

#include "file_io.h"
#include "number_scan.h"

namespace quorax {
namespace {

constexpr int32_t kInvalidIndex = -1;

// A cursor over the file that mimics reading one character at a time: `c`
// is the character read last, and every read stops at the end of the bytes.
class ObjScanner {
public:
    ObjScanner(std::string_view bytes, TriMesh& mesh, const ObjReadOptions& options)
        : p_(bytes.data()), end_(bytes.data() + bytes.size()), mesh_(mesh), options_(options) {}

    void run() {
        while (p_ != end_) {
            const char c = *p_++;
            switch (c) {
            case '#':
            default:
                skipPastNewline();
                break;
            case '\n':
                break;
            case 'f':
                faceLine();
                break;
            case 'v':
                vertexLine();
                break;
            }
        }
    }

private:
    // Reads up to and including the next newline, or to the end.
    void skipPastNewline() {
        const void* nl = std::memchr(p_, '\n', static_cast<std::size_t>(end_ - p_));
        p_ = nl ? static_cast<const char*>(nl) + 1 : end_;
    }

    // Collects characters until one of the delimiters has been read (it is
    // consumed, not part of the token) or the bytes end. Returns the
    // delimiter, or 0 at the end.
    template <class IsDelimiter> char collect(const char*& first, const char*& last, IsDelimiter isDelimiter) {
        first = p_;
        while (p_ != end_) {
            const char c = *p_++;
            if (isDelimiter(c)) {
                last = p_ - 1;
                return c;
            }
        }
        last = end_;
        return 0;
    }

    static bool isBlank(char c) { return c == ' '; }
    static bool isBlankOrSlash(char c) { return c == ' ' || c == '/'; }
    static bool isLineEnd(char c) { return c == '\r' || c == '\n'; }
    static bool isSlashOrLineEnd(char c) { return c == '/' || c == '\r' || c == '\n'; }

    // After the last token of a line: a line that ended in a carriage return
    // still has its line feed to read.
    void finishLine(char last) {
        if (last != '\n' && p_ != end_) ++p_;
    }

    int32_t cornerIndex(const char* first, const char* last) const {
        const IntParse n = parseAtoi(first, last);
        if (n.overflow || n.value == 0) return kInvalidIndex;
        if (n.value > 0) return n.value - 1; // checked against the final count later
        const int64_t back = static_cast<int64_t>(mesh_.vertices.size()) + n.value;
        return back >= 0 ? static_cast<int32_t>(back) : kInvalidIndex;
    }

    void faceLine() {
        if (p_ != end_) ++p_; // the blank after "f"
        int32_t idx[3];
        const char *a, *b;
        for (int corner = 0; corner < 2; ++corner) {
            const char stop = collect(a, b, isBlankOrSlash);
            idx[corner] = cornerIndex(a, b);
            if (stop == '/') collect(a, b, isBlank);
        }
        char stop = collect(a, b, isSlashOrLineEnd);
        idx[2] = cornerIndex(a, b);
        if (stop == '/') {
            const char* x;
            stop = collect(x, x, isLineEnd);
        }
        MeshFace f;
        f.v[0] = idx[0];
        f.v[1] = idx[1];
        f.v[2] = idx[2];
        mesh_.faces.push_back(f);
        finishLine(stop);
    }

    static float atofToken(const char* first, const char* last) {
        return static_cast<float>(parseAtof(first, last));
    }

    void vertexLine() {
        if (p_ == end_) return;
        const char d = *p_++;
        if (d == 'n' || (d == 't' && !options_.scanTextureLines)) {
            skipPastNewline();
            return;
        }
        const char *a, *b;
        if (d == 't') {
            // Two numbers, read and dropped.
            if (p_ != end_) ++p_;
            collect(a, b, isBlank);
            finishLine(collect(a, b, isLineEnd));
            return;
        }
        if (d != ' ') return; // not a line we know: go on with the next character
        MeshVertex v;
        collect(a, b, isBlank);
        v.pos.x = atofToken(a, b);
        collect(a, b, isBlank);
        v.pos.y = atofToken(a, b);
        const char stop = collect(a, b, isLineEnd);
        v.pos.z = atofToken(a, b);
        mesh_.vertices.push_back(v);
        finishLine(stop);
    }

    const char* p_;
    const char* end_;
    TriMesh& mesh_;
    const ObjReadOptions& options_;
};

} // namespace

ObjReadResult readObjMesh(TriMesh& mesh, std::string_view bytes, const ObjReadOptions& options) {
    mesh.clear();
    ObjScanner(withoutByteOrderMark(bytes), mesh, options).run();

    // Faces may name vertices that come later in the file, so indices are
    // checked once all vertices are known.
    ObjReadResult result;
    const int32_t count = mesh.vertexCount();
    const auto bad = [count](const MeshFace& f) {
        for (int32_t i : f.v)
            if (i < 0 || i >= count) return true;
        return false;
    };
    result.skippedFaces = static_cast<int32_t>(std::erase_if(mesh.faces, bad));
    mesh.loaded = true;
    return result;
}

ReadStatus readObjMeshFile(TriMesh& mesh, const std::string& path, ObjReadResult* result,
                           const ObjReadOptions& options) {
    FileBytes file;
    std::string error;
    if (!file.open(path, error)) return ReadStatus::cannotOpen(error);
    const ObjReadResult r = readObjMesh(mesh, file.view(), options);
    if (result) *result = r;
    return {};
}

} // namespace quorax
