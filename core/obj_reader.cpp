#include "obj_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

#include "file_io.h"
#include "huge_pages.h"
#include "number_scan.h"
#include "parallel.h"

namespace quorax {
namespace {

constexpr int32_t kInvalidIndex = -1;

// What one part of the file holds, in file order. Corners given with a
// negative index count back from the vertices read so far, which a part
// does not know: they are kept relative to the part's own vertices (and may
// be negative) and listed in `relative`, to be fixed once the vertices
// before the part are counted.
struct ObjPiece {
    std::vector<Vec3> vertices;
    std::vector<std::array<int32_t, 3>> faces;
    std::vector<std::size_t> relative; // 3 · face + corner
    const char* stoppedAt = nullptr;   // where the scanner stood when the part ended
};

// A cursor over the file that mimics reading one character at a time: `c`
// is the character read last, and every read stops at the end of the bytes.
// It reads the lines that start before `stop`; a line may run on past it.
class ObjScanner {
public:
    ObjScanner(const char* from, const char* stop, const char* end, ObjPiece& piece, const ObjReadOptions& options)
        : p_(from), stop_(stop), end_(end), piece_(piece), options_(options) {}

    void run() {
        while (p_ < stop_) {
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
        piece_.stoppedAt = p_;
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

    int32_t cornerIndex(const char* first, const char* last, int corner) const {
        const IntParse n = parseAtoi(first, last);
        if (n.overflow || n.value == 0) return kInvalidIndex;
        if (n.value > 0) return n.value - 1; // checked against the final count later
        piece_.relative.push_back(3 * piece_.faces.size() + static_cast<std::size_t>(corner));
        return static_cast<int32_t>(static_cast<int64_t>(piece_.vertices.size()) + n.value);
    }

    // A corner index of at most nine plain digits followed right away by a
    // delimiter: then the digits are the whole token, and the index is what
    // cornerIndex() gives for it. Reads it and the delimiter.
    template <class IsDelimiter> bool shortIndex(int32_t& index, char& stop, IsDelimiter isDelimiter) {
        const char* q = p_;
        int32_t n = 0;
        while (q != end_ && q - p_ < 9 && static_cast<unsigned char>(*q - '0') < 10) n = n * 10 + (*q++ - '0');
        if (q == p_ || q == end_ || !isDelimiter(*q)) return false;
        index = n == 0 ? kInvalidIndex : n - 1;
        stop = *q;
        p_ = q + 1;
        return true;
    }

    void faceLine() {
        if (p_ != end_) ++p_; // the blank after "f"
        int32_t idx[3];
        const char *a, *b;
        for (int corner = 0; corner < 2; ++corner) {
            char stop;
            if (!shortIndex(idx[corner], stop, isBlankOrSlash)) {
                stop = collect(a, b, isBlankOrSlash);
                idx[corner] = cornerIndex(a, b, corner);
            }
            if (stop == '/') collect(a, b, isBlank);
        }
        char stop;
        if (!shortIndex(idx[2], stop, isSlashOrLineEnd)) {
            stop = collect(a, b, isSlashOrLineEnd);
            idx[2] = cornerIndex(a, b, 2);
        }
        if (stop == '/') {
            const char* x;
            stop = collect(x, x, isLineEnd);
        }
        piece_.faces.push_back({idx[0], idx[1], idx[2]});
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
        Vec3 v;
        if (!shortCoordinate(v.x, ' ')) {
            collect(a, b, isBlank);
            v.x = atofToken(a, b);
        }
        if (!shortCoordinate(v.y, ' ')) {
            collect(a, b, isBlank);
            v.y = atofToken(a, b);
        }
        char stop;
        if (!shortLastCoordinate(v.z, stop)) {
            stop = collect(a, b, isLineEnd);
            v.z = atofToken(a, b);
        }
        piece_.vertices.push_back(v);
        finishLine(stop);
    }

    // A coordinate written the short common way and followed right away by
    // `delimiter`: then that number is the whole token, and its value is
    // what atof gives for the token. Reads it and the delimiter.
    bool shortCoordinate(float& x, char delimiter) {
        double value;
        const char* e = parseShortDecimal(p_, end_, value);
        if (!e || e == end_ || *e != delimiter) return false;
        x = static_cast<float>(value);
        p_ = e + 1;
        return true;
    }

    // The same for the last one, which ends the line (or the bytes); `stop`
    // receives what collect() would return.
    bool shortLastCoordinate(float& x, char& stop) {
        double value;
        const char* e = parseShortDecimal(p_, end_, value);
        if (!e || (e != end_ && !isLineEnd(*e))) return false;
        x = static_cast<float>(value);
        stop = e == end_ ? 0 : *e;
        p_ = e == end_ ? e : e + 1;
        return true;
    }

    const char* p_;
    const char* stop_;
    const char* end_;
    ObjPiece& piece_;
    const ObjReadOptions& options_;
};

// Room for the vertices and faces of the part [from, stop), as many as its
// first lines hold per byte and a little more: the lists then mostly fill
// without being copied as they grow, and little room stays unused.
void reserveByFirstLines(ObjPiece& piece, const char* from, const char* stop) {
    const char* sampleEnd = from + std::min<std::ptrdiff_t>(stop - from, 16 << 10);
    std::size_t vertices = 0, faces = 0;
    for (const char* q = from; q < sampleEnd;) {
        if (sampleEnd - q >= 2 && q[1] == ' ') {
            vertices += q[0] == 'v';
            faces += q[0] == 'f';
        }
        const void* nl = std::memchr(q, '\n', static_cast<std::size_t>(sampleEnd - q));
        if (!nl) break;
        q = static_cast<const char*>(nl) + 1;
    }
    const double scale = 1.05 * static_cast<double>(stop - from) / static_cast<double>(std::max<std::ptrdiff_t>(sampleEnd - from, 1));
    try {
        piece.vertices.reserve(static_cast<std::size_t>(static_cast<double>(vertices) * scale) + 16);
        piece.faces.reserve(static_cast<std::size_t>(static_cast<double>(faces) * scale) + 16);
    } catch (const std::bad_alloc&) {
        // Only a hint: the lists grow as needed.
    }
}

// Scans the text in parts at once, each from its first line start. A part
// starts where the scanner of the part before stopped, which is that line
// start unless a malformed line ran on into the part (a face whose corners
// span lines): such a part is scanned again from there.
// When the bytes are those of `file`, a part's pages are dropped once it is
// scanned.
std::vector<ObjPiece> scanPieces(std::string_view bytes, const ObjReadOptions& options,
                                 const FileBytes* file = nullptr) {
    const std::string_view text = withoutByteOrderMark(bytes);
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const std::vector<std::size_t> cuts = splitAtLineStarts(text, parsePieces(text.size()));
    const std::size_t count = cuts.size() - 1;
    std::vector<ObjPiece> pieces(count);
    const auto scan = [&](std::size_t k, const char* from) {
        pieces[k] = ObjPiece();
        reserveByFirstLines(pieces[k], from, begin + cuts[k + 1]);
        ObjScanner(from, begin + cuts[k + 1], end, pieces[k], options).run();
        if (file) file->dropPages(from, begin + cuts[k + 1]);
    };
    parallelRanges(count, 1, [&](std::size_t first, std::size_t last) {
        for (std::size_t k = first; k < last; ++k) scan(k, begin + cuts[k]);
    });
    for (std::size_t k = 1; k < count; ++k)
        if (pieces[k - 1].stoppedAt != begin + cuts[k]) scan(k, pieces[k - 1].stoppedAt);
    return pieces;
}

// Puts the parts together in file order into `mesh` (replacing what it held)
// and drops the faces whose corners do not exist.
ObjReadResult assemble(TriMesh& mesh, std::vector<ObjPiece>& pieces) {
    mesh.clear();
    const std::size_t count = pieces.size();
    std::vector<std::size_t> vertexBase(count + 1, 0), faceBase(count + 1, 0);
    for (std::size_t k = 0; k < count; ++k) {
        vertexBase[k + 1] = vertexBase[k] + pieces[k].vertices.size();
        faceBase[k + 1] = faceBase[k] + pieces[k].faces.size();
    }
    // Filled at once below: huge pages spare most of the page faults.
    reserveOnHugePages(mesh.vertices, vertexBase[count]);
    reserveOnHugePages(mesh.faces, faceBase[count]);
    mesh.vertices.resize(vertexBase[count]);
    mesh.faces.resize(faceBase[count]);
    parallelRanges(count, 1, [&](std::size_t first, std::size_t last) {
        for (std::size_t k = first; k < last; ++k) {
            ObjPiece& piece = pieces[k];
            MeshVertex* v = mesh.vertices.data() + vertexBase[k];
            for (const Vec3& p : piece.vertices) (v++)->pos = p;
            MeshFace* f = mesh.faces.data() + faceBase[k];
            for (std::size_t i = 0; i < piece.faces.size(); ++i)
                for (int c = 0; c < 3; ++c) f[i].v[c] = piece.faces[i][c];
            // Indices counting back: from the vertices before this part.
            for (std::size_t at : piece.relative) {
                const int64_t back = static_cast<int64_t>(vertexBase[k]) + f[at / 3].v[at % 3];
                f[at / 3].v[at % 3] = back >= 0 ? static_cast<int32_t>(back) : kInvalidIndex;
            }
            piece = ObjPiece();
        }
    });

    // Faces may name vertices that come later in the file, so indices are
    // checked once all vertices are known.
    ObjReadResult result;
    const int32_t vertices = mesh.vertexCount();
    const auto bad = [vertices](const MeshFace& f) {
        for (int32_t i : f.v)
            if (i < 0 || i >= vertices) return true;
        return false;
    };
    result.skippedFaces = static_cast<int32_t>(std::erase_if(mesh.faces, bad));
    mesh.loaded = true;
    return result;
}

} // namespace

ObjReadResult readObjMesh(TriMesh& mesh, std::string_view bytes, const ObjReadOptions& options) {
    std::vector<ObjPiece> pieces = scanPieces(bytes, options);
    return assemble(mesh, pieces);
}

ReadStatus readObjMeshFile(TriMesh& mesh, const std::string& path, ObjReadResult* result,
                           const ObjReadOptions& options) {
    FileBytes file;
    std::string error;
    if (!file.open(path, error, 0, FileAccess::Map)) return ReadStatus::cannotOpen(error);
    std::vector<ObjPiece> pieces = scanPieces(file.view(), options, &file);
    if (!file.intact(error)) return ReadStatus::cannotOpen(error);
    file = FileBytes(); // the text is not needed any more: free it before the mesh is built
    const ObjReadResult r = assemble(mesh, pieces);
    if (result) *result = r;
    return {};
}

} // namespace quorax
