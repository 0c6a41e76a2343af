#include "dx_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <vector>

#include "file_io.h"
#include "gzip_bytes.h"
#include "huge_pages.h"
#include "number_scan.h"
#include "parallel.h"

namespace quorax {
namespace {

std::string formatFloat(float v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", static_cast<double>(v));
    return buf;
}

class DxParser {
public:
    // When the bytes are those of `file`, the pages of the values are
    // dropped as they are read.
    explicit DxParser(std::string_view bytes, const FileBytes* file = nullptr)
        : begin_(bytes.data()), p_(bytes.data()), end_(bytes.data() + bytes.size()), file_(file) {
        p_ = withoutByteOrderMark(bytes).data();
    }

    ReadStatus parse(PotentialGrid& out) {
        PotentialGrid g;
        skipSpaceAndComments();
        if (!(literal("object 1 class gridpositions counts") && integer(g.nx) && integer(g.ny) &&
              integer(g.nz))) {
            if (holdsBinaryBytes()) return failAt(1, "this is not an OpenDX text file: it holds binary bytes");
            return fail("expected \"object 1 class gridpositions counts\" and three node counts");
        }
        const int headerLine = lineAt(p_);
        skipSpaceAndComments();
        const int originLine = lineAt(p_);
        if (!(literal("origin") && number(g.origin.x) && number(g.origin.y) && number(g.origin.z)))
            return fail("expected \"origin\" and three numbers");
        float d[3][3];
        int deltaLine[3];
        for (int row = 0; row < 3; ++row) {
            skipSpaceAndComments();
            deltaLine[row] = lineAt(p_);
            if (!(literal("delta") && number(d[row][0]) && number(d[row][1]) && number(d[row][2])))
                return fail("expected \"delta\" and three numbers");
        }
        g.delta = {d[0][0], d[1][1], d[2][2]};
        if (d[0][1] != 0 || d[0][2] != 0 || d[1][0] != 0 || d[1][2] != 0 || d[2][0] != 0 ||
            d[2][1] != 0)
            result_.warnings.push_back(
                "the grid axes are not aligned with x, y and z; only the diagonal spacings are used");

        // The grid-connections line is not interpreted; the data-array header
        // only as far as it says whether the data are numbers in text.
        skipSpaceAndComments();
        skipPastNewline();
        skipSpaceAndComments();
        const char* arrayHeader = p_;
        skipPastNewline();
        if (!checkArrayHeader(arrayHeader)) return result_;
        skipCommentLines(); // before the first value

        if (g.nx < 2 || g.ny < 2 || g.nz < 2)
            return failAt(headerLine, "a grid needs at least 2 nodes per axis, found " +
                                          std::to_string(g.nx) + " x " + std::to_string(g.ny) +
                                          " x " + std::to_string(g.nz));
        const float spacing[3] = {g.delta.x, g.delta.y, g.delta.z};
        for (int axis = 0; axis < 3; ++axis)
            if (!(spacing[axis] > 0 && std::isfinite(spacing[axis])))
                return failAt(deltaLine[axis], "grid spacings must be positive, found " +
                                                   formatFloat(g.delta.x) + ", " + formatFloat(g.delta.y) +
                                                   ", " + formatFloat(g.delta.z));
        if (!isFinite(g.origin)) return failAt(originLine, "the grid origin is not finite");

        // The node count must fit in memory (with room for the gradient of
        // the same size) and in the file: every value takes a digit and a separator.
        const unsigned __int128 nodes128 = static_cast<unsigned __int128>(g.nx) *
                                           static_cast<unsigned>(g.ny) * static_cast<unsigned>(g.nz);
        const std::string countText =
            std::to_string(g.nx) + " x " + std::to_string(g.ny) + " x " + std::to_string(g.nz);
        constexpr auto maxNodes = std::numeric_limits<std::ptrdiff_t>::max() / (4 * sizeof(Vec3));
        if (nodes128 > maxNodes)
            return failAt(headerLine, "a grid of " + countText + " nodes does not fit in memory");
        const std::size_t nodes = static_cast<std::size_t>(nodes128);
        const std::size_t dataBytes = static_cast<std::size_t>(end_ - p_);
        if (nodes > dataBytes / 2 + 1)
            return failAt(headerLine, "a grid of " + countText + " nodes needs " +
                                          std::to_string(nodes) + " values, but only " +
                                          std::to_string(dataBytes) + " bytes of data follow");
        checkItemCount(arrayHeader, nodes);
        try {
            // Reserved, not yet written: the memory is taken as the values come.
            reserveOnHugePages(g.values, nodes);
        } catch (const std::bad_alloc&) {
            return failAt(headerLine, "not enough memory for a grid of " + countText + " nodes");
        }

        if (!values(g, nodes)) return result_;
        g.loaded = true;
        out = std::move(g);
        return result_;
    }

private:
    // A plain decimal number at q (after white space) that ends at white
    // space or at the end of the bytes: the values fastValue takes.
    bool plainValue(const char*& q, float& v) const {
        const char c = *q;
        const bool startsNumber =
            (c >= '0' && c <= '9') || c == '.' ||
            (c == '-' && q + 1 != end_ && ((q[1] >= '0' && q[1] <= '9') || q[1] == '.'));
        if (!startsNumber) return false;
        if (const char* e = parseShortDecimal(q, end_, v)) {
            // A short decimal stops where std::from_chars stops.
            if (e != end_ && !isCSpace(*e)) return false;
            q = e;
            return true;
        }
        const auto r = std::from_chars(q, end_, v, std::chars_format::general);
        if (r.ec != std::errc()) return false;
        if (r.ptr != end_ && !isCSpace(*r.ptr)) return false;
        q = r.ptr;
        return true;
    }

    // The values read in parts at once, when the first n of them are plain
    // decimal numbers (what every writer writes); false otherwise, and the
    // values are then read one after another, with the errors that name the
    // value and its line. The first part reads into the grid's reserved
    // array, the others are appended to it in order, each freed once
    // appended, so the values are held about once and not twice.
    bool valuesInParts(PotentialGrid& g, std::size_t n) {
        const std::string_view data(p_, static_cast<std::size_t>(end_ - p_));
        const std::vector<std::size_t> cuts = splitAtLineStarts(data, parsePieces(data.size()));
        const std::size_t count = cuts.size() - 1;
        if (count < 2) return false;
        struct Part {
            std::vector<float> values;
            float lo = std::numeric_limits<float>::infinity(), hi = -std::numeric_limits<float>::infinity();
            bool stopped = false; // met something that is not a plain number
        };
        std::vector<Part> parts(count);
        parts[0].values = std::move(g.values);
        const auto giveBack = [&] {
            g.values = std::move(parts[0].values);
            g.values.clear();
            return false;
        };
        parallelRanges(count, 1, [&](std::size_t first, std::size_t last) {
            for (std::size_t k = first; k < last; ++k) {
                const char* q = p_ + cuts[k];
                const char* stop = p_ + cuts[k + 1];
                Part& part = parts[k];
                if (k > 0) part.values.reserve((cuts[k + 1] - cuts[k]) / 8);
                float lo = part.lo, hi = part.hi; // kept out of memory the values are written to
                for (;;) {
                    while (q != stop && isCSpace(*q)) ++q;
                    if (q == stop) break;
                    float v;
                    if (const char* e = scientificSixDecimals(q, end_, v)) {
                        q = e + 1; // past the white space that ends it
                    } else if (!plainValue(q, v)) {
                        part.stopped = true;
                        break;
                    }
                    part.values.push_back(v);
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                }
                part.lo = lo;
                part.hi = hi;
                if (file_) file_->dropPages(p_ + cuts[k], stop);
            }
        });
        // The parts that hold the first n values, each read to its end but
        // the last one.
        std::size_t have = 0, used = 0;
        while (used < count && have < n) {
            have += parts[used].values.size();
            if (have < n && parts[used].stopped) return giveBack();
            ++used;
        }
        if (have < n) return giveBack();
        // Extremes merged in file order, as the one-by-one reading finds
        // them; the last part only up to value n.
        float lo = std::numeric_limits<float>::infinity(), hi = -lo;
        for (std::size_t k = 0; k + 1 < used; ++k) {
            lo = std::min(lo, parts[k].lo);
            hi = std::max(hi, parts[k].hi);
        }
        const std::vector<float>& tail = parts[used - 1].values;
        const std::size_t take = tail.size() - (have - n);
        for (std::size_t i = 0; i < take; ++i) {
            lo = std::min(lo, tail[i]);
            hi = std::max(hi, tail[i]);
        }
        g.values = std::move(parts[0].values);
        if (used == 1) g.values.resize(take);
        for (std::size_t k = 1; k < used; ++k) {
            std::vector<float>& part = parts[k].values;
            g.values.insert(g.values.end(), part.begin(), part.begin() + static_cast<std::ptrdiff_t>(
                                                                            k + 1 == used ? take : part.size()));
            std::vector<float>().swap(part);
        }
        g.minValue = lo;
        g.maxValue = hi;
        return true;
    }

    bool values(PotentialGrid& g, std::size_t n) {
        if (valuesInParts(g, n)) return true;
        g.values.resize(n); // within the reserved memory
        float lo = std::numeric_limits<float>::infinity();
        float hi = -lo;
        float* dst = g.values.data();
        for (std::size_t i = 0; i < n; ++i) {
            float v;
            if (!fastValue(v)) {
                const char* start = p_;
                const ScanStatus s = scanFloat(p_, end_, v);
                if (s == ScanStatus::End) {
                    // Name the line of the last value (or of the array header
                    // when there is none), not the empty line after the end.
                    const char* at = start;
                    if (at != begin_ && at[-1] == '\n') --at;
                    failAt(lineAt(at), "the data ends after " + std::to_string(i) + " values; expected " +
                                           std::to_string(n) + " values, found " + std::to_string(i));
                    return false;
                }
                if (s == ScanStatus::NoMatch) {
                    while (start != end_ && isCSpace(*start)) ++start;
                    const char* stop = start;
                    while (stop != end_ && !isCSpace(*stop) && stop - start < 40) ++stop;
                    // The start of a number cut off by the end of the file
                    // ("-", "1e+"): the file was not written to its end.
                    if (stop == end_ && ((*start >= '0' && *start <= '9') || *start == '-' || *start == '+' ||
                                         *start == '.'))
                        return truncatedAt(start, stop, i, n);
                    std::string problem = "\"";
                    problem += printableBytes({start, static_cast<std::size_t>(stop - start)});
                    problem += "\" is not a number (value " + std::to_string(i + 1) + " of " + std::to_string(n) + ")";
                    failAt(lineAt(start), problem);
                    return false;
                }
            }
            if (p_ == end_ && p_ != begin_ && (p_[-1] == 'e' || p_[-1] == 'E' || p_[-1] == '+' || p_[-1] == '-')) {
                // "1.5e" read as 1.5 by the scanner: a number cut off by the end of the file.
                const char* start = p_;
                while (start != begin_ && !isCSpace(start[-1])) --start;
                return truncatedAt(start, p_, i, n);
            }
            if (!std::isfinite(v)) {
                failAt(lineAt(p_), "value " + std::to_string(i + 1) + " of " + std::to_string(n) +
                                       " is not a finite number");
                return false;
            }
            dst[i] = v;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        g.minValue = lo;
        g.maxValue = hi;
        return true;
    }

    // The file ends inside value `index` (0-based) of `count`, whose bytes so far are [start, stop).
    bool truncatedAt(const char* start, const char* stop, std::size_t index, std::size_t count) {
        failAt(lineAt(start), "the data is truncated: the file ends inside value " + std::to_string(index + 1) +
                                  " of " + std::to_string(count) + " (\"" +
                                  printableBytes({start, static_cast<std::size_t>(stop - start)}) + "\")");
        return false;
    }

    // The common case of a plain decimal value followed by white space or
    // the end of the file: std::from_chars converts it exactly as strtof,
    // and fscanf "%f" would consume exactly these characters.
    bool fastValue(float& v) {
        const char* q = p_;
        while (q != end_ && isCSpace(*q)) ++q;
        if (q == end_) return false;
        if (const char* e = scientificSixDecimals(q, end_, v)) {
            p_ = e;
            return true;
        }
        // "0x…" parses as 0 followed by "x", which is not white space: refused.
        if (!plainValue(q, v)) return false;
        p_ = q;
        return true;
    }

    // The words of the header line at `header` up to a comment, without quotes
    // (writers differ: type double, type "double").
    std::vector<std::string_view> headerWords(const char* header) const {
        const char* eol = std::find(header, end_, '\n');
        eol = std::find(header, eol, '#');
        std::vector<std::string_view> words;
        for (const char* q = header; q != eol;) {
            while (q != eol && (isCSpace(*q) || *q == '"')) ++q;
            const char* w = q;
            while (q != eol && !isCSpace(*q) && *q != '"') ++q;
            if (q != w) words.emplace_back(w, static_cast<std::size_t>(q - w));
        }
        return words;
    }

    // Refuses a data array that is not numbers written as text: binary data
    // (in this file or another), or a type that is not numeric. A header line
    // that is not an array header is left alone, as it always was.
    bool checkArrayHeader(const char* header) {
        const std::vector<std::string_view> words = headerWords(header);
        const auto has = [&](std::string_view w) { return std::find(words.begin(), words.end(), w) != words.end(); };
        if (!has("array")) return true;
        const int line = lineAt(header);
        const auto type = std::find(words.begin(), words.end(), "type");
        if (type != words.end() && type + 1 != words.end()) {
            static constexpr std::string_view numeric[] = {"float", "double", "int",    "uint",  "short",
                                                           "ushort", "byte", "ubyte",  "hyper", "signed",
                                                           "unsigned"};
            if (std::find(std::begin(numeric), std::end(numeric), type[1]) == std::end(numeric)) {
                failAt(line, "the data array holds values of type \"" + printableBytes(type[1]) +
                                 "\"; only numbers can be read");
                return false;
            }
        }
        const auto data = std::find(words.begin(), words.end(), "data");
        const bool binary = has("binary") || has("ieee") || has("msb") || has("lsb") || has("xdr");
        if (binary || (data != words.end() && (data + 1 == words.end() || data[1] != "follows"))) {
            const bool elsewhere = data != words.end() && data + 1 != words.end() && data[1] == "file";
            failAt(line, elsewhere ? "the data array is in another file (\"data file\"); only data that follow "
                                     "the header as text (\"data follows\") can be read"
                                   : "the data array is binary; only data written as text (\"data follows\") "
                                     "can be read");
            return false;
        }
        return true;
    }

    // Control bytes other than white space in the first kilobyte: not a text file.
    bool holdsBinaryBytes() const {
        const char* stop = begin_ + std::min<std::ptrdiff_t>(end_ - begin_, 1024);
        return std::any_of(begin_, stop, [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return u < 0x20 && !isCSpace(c);
        });
    }

    void checkItemCount(const char* header, std::size_t nodes) {
        const char* eol = std::find(header, end_, '\n');
        const std::string_view line(header, static_cast<std::size_t>(eol - header));
        const std::size_t at = line.find("items");
        if (at == std::string_view::npos) return;
        const char* q = header + at + 5;
        while (q != eol && isCSpace(*q)) ++q;
        unsigned long long items = 0;
        const auto r = std::from_chars(q, eol, items);
        if (r.ec == std::errc() && items != nodes)
            result_.warnings.push_back("line " + std::to_string(lineAt(header)) + ": the data array declares " +
                                       std::to_string(items) + " items, the grid has " +
                                       std::to_string(nodes) + " nodes");
    }

    // A fixed word sequence in the manner of an fscanf pattern: each blank
    // matches any run of white space (also none), other characters must match.
    bool literal(const char* pattern) {
        for (; *pattern; ++pattern) {
            if (*pattern == ' ') {
                skipSpace();
            } else {
                if (p_ == end_ || *p_ != *pattern) return false;
                ++p_;
            }
        }
        return true;
    }

    bool integer(int32_t& v) {
        bool overflow = false;
        return scanInt(p_, end_, v, overflow) == ScanStatus::Ok && !overflow;
    }

    bool number(float& v) { return scanFloat(p_, end_, v) == ScanStatus::Ok; }

    // White space and whole "#" comments, also at the end of a line.
    void skipSpaceAndComments() {
        for (;;) {
            skipSpace();
            if (p_ == end_ || *p_ != '#') return;
            skipPastNewline();
        }
    }
    // Whole comment lines only: p_ stays where it is when none follows.
    void skipCommentLines() {
        const char* q = p_;
        while (q != end_ && isCSpace(*q)) ++q;
        if (q != end_ && *q == '#') skipSpaceAndComments();
    }
    void skipSpace() {
        while (p_ != end_ && isCSpace(*p_)) ++p_;
    }
    void skipPastNewline() {
        while (p_ != end_ && *p_++ != '\n') {
        }
    }
    int lineAt(const char* at) const {
        return 1 + static_cast<int>(std::count(begin_, at, '\n'));
    }

    ReadStatus fail(const std::string& problem) { return failAt(lineAt(std::min(p_, end_)), problem); }
    ReadStatus failAt(int line, const std::string& problem) {
        result_.kind = ReadKind::Malformed;
        result_.line = line;
        result_.detail = problem;
        return result_;
    }

    const char* begin_;
    const char* p_;
    const char* end_;
    const FileBytes* file_;
    ReadStatus result_;
};

} // namespace

namespace {

ReadStatus readDxGridFrom(PotentialGrid& grid, std::string_view bytes, const FileBytes* file) {
    if (isGzip(bytes)) {
        std::string text, error;
        if (!gunzipBytes(bytes, text, error)) return ReadStatus::malformed(0, error);
        return DxParser(text).parse(grid);
    }
    return DxParser(bytes, file).parse(grid);
}

} // namespace

ReadStatus readDxGrid(PotentialGrid& grid, std::string_view bytes) { return readDxGridFrom(grid, bytes, nullptr); }

ReadStatus readDxGridFile(PotentialGrid& grid, const std::string& path) {
    FileBytes file;
    std::string error;
    if (!file.open(path, error, 0, FileAccess::Map)) return ReadStatus::cannotOpen(error);
    // Read into a grid of its own: `grid` stays as it was if the file
    // turns out to have been shortened meanwhile.
    PotentialGrid read;
    const ReadStatus status = readDxGridFrom(read, file.view(), &file);
    if (!file.intact(error)) return ReadStatus::cannotOpen(error);
    if (read.loaded) grid = std::move(read);
    return status;
}

} // namespace quorax
