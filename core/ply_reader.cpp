// PLY reading over the file's bytes. The header is parsed first into
// elements of typed properties; the data part is then walked item by item in
// header order, keeping vertices, faces and strips and reading past the rest.
// Indices are checked against the declared vertex count as each face or
// strip is taken. Nothing is sized from a count or a list length before the
// bytes left are known to be able to hold it, so a damaged header cannot make
// the reader allocate gigabytes or loop over items that take no bytes.

#include "ply_reader.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

#include "file_io.h"
#include "number_scan.h"

namespace quorax {
namespace {

enum class PlyFormat { Ascii, BinaryLittleEndian, BinaryBigEndian };

// A PLY scalar type, under both of its names.
struct PlyType {
    std::string_view name;
    std::string_view alias;
    int bytes;
    bool isSigned;
    bool isInteger;
};

constexpr PlyType kPlyTypes[] = {
    {"char", "int8", 1, true, true},      {"uchar", "uint8", 1, false, true},
    {"short", "int16", 2, true, true},    {"ushort", "uint16", 2, false, true},
    {"int", "int32", 4, true, true},      {"uint", "uint32", 4, false, true},
    {"float", "float32", 4, true, false}, {"double", "float64", 8, true, false},
};

const PlyType* findType(std::string_view name) {
    for (const PlyType& t : kPlyTypes)
        if (name == t.name || name == t.alias) return &t;
    return nullptr;
}

int64_t minimumOf(const PlyType& t) {
    return t.isSigned ? -(int64_t{1} << (8 * t.bytes - 1)) : 0;
}
int64_t maximumOf(const PlyType& t) {
    return t.isSigned ? (int64_t{1} << (8 * t.bytes - 1)) - 1 : (int64_t{1} << (8 * t.bytes)) - 1;
}

struct HeaderProperty {
    std::string name;
    const PlyType* type = nullptr;      // the scalar type, or the list's entry type
    const PlyType* countType = nullptr; // the list's length type; null for a scalar
};

struct HeaderElement {
    std::string name;
    std::size_t count = 0;
    int line = 0;
    std::vector<HeaderProperty> properties;
};

struct Header {
    PlyFormat format = PlyFormat::Ascii;
    std::vector<HeaderElement> elements;
    int lines = 0;              // header lines, end_header included
    std::size_t dataOffset = 0; // first byte after end_header's line
};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == '\n';
}

std::string quoted(std::string_view bytes) {
    std::string out = "\"";
    out += printableBytes(bytes);
    out += '"';
    return out;
}

std::vector<std::string_view> splitWords(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && !isBlank(line[i]))
            ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

ReadStatus lineError(int line, std::string problem) {
    return ReadStatus::malformed(line, std::move(problem));
}

// A refusal that has no line: binary data, or the file as a whole.
ReadStatus refusal(std::string problem) {
    return ReadStatus::malformed(0, std::move(problem));
}

// Parses the header line by line and records what the data part must then
// look like. Names are kept as they are; messages show them escaped.
bool parseHeader(std::string_view bytes, Header& header, ReadStatus& error) {
    std::size_t pos = 0;
    int line = 0;
    while (pos < bytes.size()) {
        const std::size_t eol = bytes.find('\n', pos);
        const std::size_t next = eol == std::string_view::npos ? bytes.size() : eol + 1;
        const std::vector<std::string_view> w = splitWords(bytes.substr(pos, next - pos));
        pos = next;
        ++line;
        if (line == 1) {
            if (w.empty() || w[0] != "ply") {
                error = refusal("not a PLY file (the first line is not \"ply\")");
                return false;
            }
            continue;
        }
        if (line == 2) {
            if (w.size() < 3 || w[0] != "format") {
                error = lineError(
                    line, "expected \"format <ascii|binary_little_endian|binary_big_endian> 1.0\"");
                return false;
            }
            if (w[1] == "ascii")
                header.format = PlyFormat::Ascii;
            else if (w[1] == "binary_little_endian")
                header.format = PlyFormat::BinaryLittleEndian;
            else if (w[1] == "binary_big_endian")
                header.format = PlyFormat::BinaryBigEndian;
            else {
                error = lineError(line, "unknown format " + quoted(w[1]));
                return false;
            }
            continue;
        }
        if (w.empty()) {
            error = lineError(line, "empty line in the header");
            return false;
        }
        if (w[0] == "end_header") {
            header.lines = line;
            header.dataOffset = pos;
            return true;
        }
        if (w[0] == "element") {
            std::size_t count = 0;
            const auto r = w.size() < 3
                               ? std::from_chars_result{nullptr, std::errc::invalid_argument}
                               : std::from_chars(w[2].data(), w[2].data() + w[2].size(), count);
            if (w.size() < 3 || r.ec != std::errc() || r.ptr != w[2].data() + w[2].size()) {
                error = lineError(line, "expected \"element <name> <count>\"");
                return false;
            }
            if (count > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
                error = lineError(line, "element " + printableBytes(w[1]) + " declares " +
                                            printableBytes(w[2]) +
                                            " items, more than the viewer can hold");
                return false;
            }
            header.elements.push_back({std::string(w[1]), count, line, {}});
            continue;
        }
        if (w[0] == "property") {
            if (header.elements.empty()) {
                error = lineError(line, "property before any element");
                return false;
            }
            HeaderProperty p;
            const bool list = w.size() >= 2 && w[1] == "list";
            if (list ? w.size() < 5 : w.size() < 3) {
                error = lineError(
                    line, "expected \"property <type> <name>\" or \"property list <count type> "
                          "<type> <name>\"");
                return false;
            }
            if (list) {
                p.countType = findType(w[2]);
                if (!p.countType || !p.countType->isInteger) {
                    error =
                        lineError(line, quoted(w[2]) + " is not an integer type for a list length");
                    return false;
                }
            }
            p.type = findType(w[list ? 3 : 1]);
            if (!p.type) {
                error = lineError(line, "unknown property type " + quoted(w[list ? 3 : 1]));
                return false;
            }
            p.name = std::string(w[list ? 4 : 2]);
            header.elements.back().properties.push_back(std::move(p));
            continue;
        }
        // comment, obj_info and any other header line: nothing to take from it
    }
    error = refusal(line == 0 ? "the file is empty" : "the header has no end_header line");
    return false;
}

enum class Role { Vertices, Faces, Strips, Other };

Role roleOf(const std::string& name) {
    if (name == "vertex" || name == "vertices") return Role::Vertices;
    if (name == "face" || name == "faces") return Role::Faces;
    if (name == "tristrips") return Role::Strips;
    return Role::Other;
}

int propertyIndex(const HeaderElement& e, std::string_view name) {
    for (std::size_t k = 0; k < e.properties.size(); ++k)
        if (e.properties[k].name == name) return static_cast<int>(k);
    return -1;
}

// Which properties of an element the surface takes.
struct Access {
    Role role = Role::Other;
    int x = -1, y = -1, z = -1; // vertices
    int list = -1;              // faces and strips: the index list
};

// Outcome of reading one value.
enum class ValueRead { Ok, Ended, BadWord };

class PlyLoader {
  public:
    PlyLoader(std::string_view bytes, const Header& header)
        : bytes_(bytes), header_(header), pos_(bytes.data() + header.dataOffset),
          end_(bytes.data() + bytes.size()) {}

    bool read(TriMesh& mesh, ReadStatus& error);

  private:
    bool ascii() const { return header_.format == PlyFormat::Ascii; }
    std::size_t left() const { return static_cast<std::size_t>(end_ - pos_); }
    bool checkAccess(std::vector<Access>& access, ReadStatus& error);
    ValueRead readWord(std::string_view& word);
    ValueRead readRaw(int bytes, uint64_t& raw);
    ValueRead readNumber(const PlyType& type, double& value, std::string_view& word);
    ValueRead readInteger(const PlyType& type, int64_t& value, std::string_view& word);
    bool readListLength(const HeaderElement& e, std::size_t item, const HeaderProperty& p,
                        std::size_t& length, ReadStatus& error);
    bool readItem(const HeaderElement& e, std::size_t item, const Access& a, Vec3& position,
                  ReadStatus& error);
    bool skipFixedItems(const HeaderElement& e, ReadStatus& error);
    int lineAt(const char* p) const;
    ReadStatus located(const char* itemStart, std::string problem) const;
    ReadStatus truncated(const HeaderElement& e, std::size_t item) const;
    ReadStatus badWord(std::string_view word, const HeaderProperty& p,
                       const HeaderElement& e) const;
    bool addPolygon(std::size_t face, const char* itemStart, TriMesh& mesh,
                    ReadStatus& error) const;
    bool addStrip(std::size_t number, const char* itemStart, TriMesh& mesh,
                  ReadStatus& error) const;
    bool checkIndex(int64_t v, const char* what, std::size_t number, const char* itemStart,
                    ReadStatus& error) const;
    bool addTriangle(int64_t a, int64_t b, int64_t c, TriMesh& mesh, ReadStatus& error) const;

    std::string_view bytes_;
    const Header& header_;
    const char* pos_; // next data byte
    const char* end_;
    int64_t vertexCount_ = 0;
    std::vector<int64_t> indices_; // the index list of the current face or strip
};

// Line number of the first non-blank byte at or after `p` in the ASCII data.
int PlyLoader::lineAt(const char* p) const {
    while (p < end_ && isBlank(*p))
        ++p;
    const char* data = bytes_.data() + header_.dataOffset;
    const int64_t line = header_.lines + 1 + std::count(data, p, '\n');
    return static_cast<int>(std::min<int64_t>(line, std::numeric_limits<int>::max()));
}

ReadStatus PlyLoader::located(const char* itemStart, std::string problem) const {
    return ascii() ? lineError(lineAt(itemStart), std::move(problem)) : refusal(std::move(problem));
}

ReadStatus PlyLoader::truncated(const HeaderElement& e, std::size_t item) const {
    return refusal("the file ends inside element " + printableBytes(e.name) + ", after " +
                   std::to_string(item) + " of its " + std::to_string(e.count) + " items");
}

ReadStatus PlyLoader::badWord(std::string_view word, const HeaderProperty& p,
                              const HeaderElement& e) const {
    return lineError(lineAt(word.data()), "cannot read " + quoted(word) + " as property " +
                                              printableBytes(p.name) + " (type " +
                                              std::string(p.type->name) + ") of element " +
                                              printableBytes(e.name));
}

// ASCII: the next white-space separated word.
ValueRead PlyLoader::readWord(std::string_view& word) {
    while (pos_ < end_ && isBlank(*pos_))
        ++pos_;
    if (pos_ == end_) return ValueRead::Ended;
    const char* start = pos_;
    while (pos_ < end_ && !isBlank(*pos_))
        ++pos_;
    word = std::string_view(start, static_cast<std::size_t>(pos_ - start));
    return ValueRead::Ok;
}

// Binary: the next `bytes` bytes as an unsigned number in the file's byte order.
ValueRead PlyLoader::readRaw(int bytes, uint64_t& raw) {
    const std::size_t n = static_cast<std::size_t>(bytes);
    if (left() < n) return ValueRead::Ended;
    raw = 0;
    const bool little = header_.format == PlyFormat::BinaryLittleEndian;
    for (std::size_t i = 0; i < n; ++i) {
        const uint64_t byte = static_cast<unsigned char>(pos_[i]);
        raw |= byte << (8 * (little ? i : n - 1 - i));
    }
    pos_ += n;
    return ValueRead::Ok;
}

// An integer of `type`; the ASCII word must be a whole decimal integer in the type's range.
ValueRead PlyLoader::readInteger(const PlyType& type, int64_t& value, std::string_view& word) {
    if (!ascii()) {
        uint64_t raw = 0;
        if (readRaw(type.bytes, raw) != ValueRead::Ok) return ValueRead::Ended;
        const int unused = 64 - 8 * type.bytes;
        value = type.isSigned ? static_cast<int64_t>(raw << unused) >> unused
                              : static_cast<int64_t>(raw);
        return ValueRead::Ok;
    }
    if (readWord(word) != ValueRead::Ok) return ValueRead::Ended;
    const char* first = word.data();
    const char* last = first + word.size();
    if (first[0] == '+' && word.size() > 1 && first[1] != '-') ++first;
    const auto r = std::from_chars(first, last, value);
    if (r.ec != std::errc() || r.ptr != last || value < minimumOf(type) || value > maximumOf(type))
        return ValueRead::BadWord;
    return ValueRead::Ok;
}

// A value of any numeric type; an ASCII float word converts as strtof, a
// double word as strtod, and must be a number to its end.
ValueRead PlyLoader::readNumber(const PlyType& type, double& value, std::string_view& word) {
    if (type.isInteger) {
        int64_t v = 0;
        const ValueRead r = readInteger(type, v, word);
        value = static_cast<double>(v);
        return r;
    }
    if (!ascii()) {
        uint64_t raw = 0;
        if (readRaw(type.bytes, raw) != ValueRead::Ok) return ValueRead::Ended;
        value = type.bytes == 4 ? std::bit_cast<float>(static_cast<uint32_t>(raw))
                                : std::bit_cast<double>(raw);
        return ValueRead::Ok;
    }
    if (readWord(word) != ValueRead::Ok) return ValueRead::Ended;
    const char* first = word.data();
    const char* last = first + word.size();
    // Plain decimal words: from_chars rounds exactly as strtof and strtod do.
    if (type.bytes == 4) {
        float f = 0.0f;
        const auto r = std::from_chars(first, last, f);
        if (r.ec == std::errc() && r.ptr == last) {
            value = f;
            return ValueRead::Ok;
        }
    } else {
        const auto r = std::from_chars(first, last, value);
        if (r.ec == std::errc() && r.ptr == last) return ValueRead::Ok;
    }
    // Signs, hexadecimal, out of range: the C library's rules.
    std::ptrdiff_t used = 0;
    value = parseAtof(first, last, &used);
    if (used != last - first) return ValueRead::BadWord;
    if (type.bytes == 4) {
        float f = 0.0f;
        scanFloat(first, last, f);
        value = f;
    }
    // A number too large for the type is no value of it; only "inf" words give an infinity.
    if (std::isinf(value) && word.find_first_of("iI") == std::string_view::npos)
        return ValueRead::BadWord;
    return ValueRead::Ok;
}

// A list's length, refused when it cannot be one or when the bytes left
// could not hold that many entries.
bool PlyLoader::readListLength(const HeaderElement& e, std::size_t item, const HeaderProperty& p,
                               std::size_t& length, ReadStatus& error) {
    int64_t n = 0;
    std::string_view word;
    const ValueRead r = readInteger(*p.countType, n, word);
    if (r == ValueRead::Ended) {
        error = truncated(e, item);
        return false;
    }
    // an ASCII word that is no count: not an integer, out of the type's range, or negative
    if (r == ValueRead::BadWord || (n < 0 && ascii())) {
        error = lineError(lineAt(word.data()), quoted(word) + " is not a length of list " +
                                                   printableBytes(p.name) + " (type " +
                                                   std::string(p.countType->name) + ")");
        return false;
    }
    if (n < 0) {
        error = refusal("list " + printableBytes(p.name) + " of element " + printableBytes(e.name) +
                        " item " + std::to_string(item) + " has a negative length");
        return false;
    }
    // every ASCII entry takes at least a separator and a digit
    const std::size_t entryBytes = ascii() ? 2 : static_cast<std::size_t>(p.type->bytes);
    if (static_cast<uint64_t>(n) > left() / entryBytes) {
        error = truncated(e, item);
        return false;
    }
    length = static_cast<std::size_t>(n);
    return true;
}

// Reads one item's properties; keeps the vertex position or the index list
// the element's role asks for.
bool PlyLoader::readItem(const HeaderElement& e, std::size_t item, const Access& a, Vec3& position,
                         ReadStatus& error) {
    for (std::size_t k = 0; k < e.properties.size(); ++k) {
        const HeaderProperty& p = e.properties[k];
        const int index = static_cast<int>(k);
        std::string_view word;
        ValueRead r = ValueRead::Ok;
        if (p.countType) {
            std::size_t length = 0;
            if (!readListLength(e, item, p, length, error)) return false;
            const bool keep = index == a.list;
            if (keep) indices_.clear();
            for (std::size_t i = 0; i < length && r == ValueRead::Ok; ++i) {
                if (keep) {
                    int64_t v = 0;
                    r = readInteger(*p.type, v, word);
                    indices_.push_back(v);
                } else {
                    double ignored = 0;
                    r = readNumber(*p.type, ignored, word);
                }
            }
        } else {
            double v = 0;
            r = readNumber(*p.type, v, word);
            if (index == a.x) position.x = static_cast<float>(v);
            if (index == a.y) position.y = static_cast<float>(v);
            if (index == a.z) position.z = static_cast<float>(v);
        }
        if (r == ValueRead::Ended) {
            error = truncated(e, item);
            return false;
        }
        if (r == ValueRead::BadWord) {
            error = badWord(word, p, e);
            return false;
        }
    }
    return true;
}

// Binary elements the surface does not use and whose items all have the same
// size are jumped over whole.
bool PlyLoader::skipFixedItems(const HeaderElement& e, ReadStatus& error) {
    std::size_t itemBytes = 0;
    for (const HeaderProperty& p : e.properties)
        itemBytes += static_cast<std::size_t>(p.type->bytes);
    if (e.count > left() / itemBytes) {
        error = truncated(e, left() / itemBytes);
        return false;
    }
    pos_ += e.count * itemBytes;
    return true;
}

bool PlyLoader::checkIndex(int64_t v, const char* what, std::size_t number, const char* itemStart,
                           ReadStatus& error) const {
    if (v >= 0 && v < vertexCount_) return true;
    error = located(itemStart, std::string(what) + " " + std::to_string(number) + " names vertex " +
                                   std::to_string(v) + ", but the file has " +
                                   std::to_string(vertexCount_) + " vertices");
    return false;
}

bool PlyLoader::addTriangle(int64_t a, int64_t b, int64_t c, TriMesh& mesh,
                            ReadStatus& error) const {
    if (mesh.faces.size() >= static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
        error = refusal("the file gives more triangles than the viewer can hold");
        return false;
    }
    MeshFace f;
    f.v[0] = static_cast<int32_t>(a);
    f.v[1] = static_cast<int32_t>(b);
    f.v[2] = static_cast<int32_t>(c);
    mesh.faces.push_back(f);
    return true;
}

// A polygon becomes the fan of triangles around its first corner.
bool PlyLoader::addPolygon(std::size_t face, const char* itemStart, TriMesh& mesh,
                           ReadStatus& error) const {
    const std::vector<int64_t>& corners = indices_;
    if (corners.size() < 3) {
        error = located(itemStart, "face " + std::to_string(face) + " has " +
                                       std::to_string(corners.size()) +
                                       " corners; a face needs at least 3");
        return false;
    }
    for (int64_t v : corners)
        if (!checkIndex(v, "face", face, itemStart, error)) return false;
    for (std::size_t i = 2; i < corners.size(); ++i)
        if (!addTriangle(corners[0], corners[i - 1], corners[i], mesh, error)) return false;
    return true;
}

// One triangle per window of three indices, every second window flipped;
// -1 starts a new strip; windows with a repeated index give no triangle.
bool PlyLoader::addStrip(std::size_t number, const char* itemStart, TriMesh& mesh,
                         ReadStatus& error) const {
    const std::vector<int64_t>& strip = indices_;
    std::size_t start = 0; // where the current strip began
    for (std::size_t i = 0; i < strip.size(); ++i) {
        if (strip[i] == -1) {
            start = i + 1;
            continue;
        }
        if (!checkIndex(strip[i], "tristrip", number, itemStart, error)) return false;
        if (i - start < 2) continue;
        const int64_t a = strip[i - 2], b = strip[i - 1], c = strip[i];
        if (a == b || b == c || a == c) continue;
        const bool flipped = (i - start) % 2 == 1;
        if (!(flipped ? addTriangle(b, a, c, mesh, error) : addTriangle(a, b, c, mesh, error)))
            return false;
    }
    return true;
}

// Finds the vertex element and the properties each role reads; refuses a
// header the surface cannot be taken from.
bool PlyLoader::checkAccess(std::vector<Access>& access, ReadStatus& error) {
    access.assign(header_.elements.size(), Access{});
    bool haveVertices = false;
    int vertexElements = 0;
    for (std::size_t i = 0; i < header_.elements.size(); ++i) {
        const HeaderElement& e = header_.elements[i];
        Access& a = access[i];
        a.role = roleOf(e.name);
        if (a.role == Role::Vertices) {
            if (++vertexElements > 1) {
                error = lineError(e.line, "a second vertex element");
                return false;
            }
            a.x = propertyIndex(e, "x");
            a.y = propertyIndex(e, "y");
            a.z = propertyIndex(e, "z");
            if (a.x < 0 || a.y < 0 || a.z < 0) {
                a.x = a.y = a.z = -1; // refused below
                continue;
            }
            if (e.properties[a.x].countType || e.properties[a.y].countType ||
                e.properties[a.z].countType) {
                error = lineError(e.line, "vertex properties x, y, z must be numbers, not lists");
                return false;
            }
            haveVertices = true;
            vertexCount_ = static_cast<int64_t>(e.count);
        } else if (a.role == Role::Faces || a.role == Role::Strips) {
            a.list = propertyIndex(e, "vertex_indices");
            if (a.list < 0 && a.role == Role::Faces) a.list = propertyIndex(e, "vertex_index");
            if (a.list < 0 || !e.properties[a.list].countType) {
                error = lineError(e.line, "element " + printableBytes(e.name) +
                                              " has no list vertex_indices");
                return false;
            }
            const PlyType& entry = *e.properties[a.list].type;
            if (!entry.isInteger) {
                error = lineError(e.line, "vertex_indices of element " + printableBytes(e.name) +
                                              " is a list of " + std::string(entry.name) +
                                              ", not of integers");
                return false;
            }
        }
    }
    if (!haveVertices) {
        error = refusal("no vertex element with x, y, z");
        return false;
    }
    return true;
}

bool PlyLoader::read(TriMesh& mesh, ReadStatus& error) {
    std::vector<Access> access;
    if (!checkAccess(access, error)) return false;

    // Read every element in header order, keeping what the surface uses.
    std::size_t faceNumber = 0, stripNumber = 0;
    for (std::size_t i = 0; i < header_.elements.size(); ++i) {
        const HeaderElement& e = header_.elements[i];
        const Access& a = access[i];
        // items without properties take no bytes: nothing to read, whatever the count
        if (e.properties.empty()) continue;
        const bool fixedSize = std::none_of(e.properties.begin(), e.properties.end(),
                                            [](const HeaderProperty& p) { return p.countType; });
        if (!ascii() && fixedSize && a.role == Role::Other) {
            if (!skipFixedItems(e, error)) return false;
            continue;
        }
        // reserve no more items than the bytes left could hold
        std::size_t minItemBytes = 0;
        for (const HeaderProperty& p : e.properties)
            minItemBytes += ascii() ? 2
                                    : static_cast<std::size_t>(p.countType ? p.countType->bytes
                                                                           : p.type->bytes);
        const std::size_t reserve = std::min(e.count, left() / minItemBytes);
        if (a.role == Role::Vertices && a.x >= 0) mesh.vertices.reserve(reserve);
        if (a.role == Role::Faces) mesh.faces.reserve(mesh.faces.size() + reserve);

        for (std::size_t j = 0; j < e.count; ++j) {
            const char* itemStart = pos_;
            Vec3 position;
            if (!readItem(e, j, a, position, error)) return false;
            if (a.role == Role::Vertices && a.x >= 0) {
                MeshVertex v;
                v.pos = position;
                mesh.vertices.push_back(v);
            } else if (a.role == Role::Faces) {
                if (!addPolygon(faceNumber++, itemStart, mesh, error)) return false;
            } else if (a.role == Role::Strips) {
                if (!addStrip(stripNumber++, itemStart, mesh, error)) return false;
            }
        }
    }
    return true;
}

} // namespace

ReadStatus readPlyMesh(TriMesh& mesh, std::string_view bytes) {
    mesh.clear();
    bytes = withoutByteOrderMark(bytes); // not part of the "ply" line
    ReadStatus status;
    try {
        Header header;
        if (parseHeader(bytes, header, status)) {
            PlyLoader loader(bytes, header);
            loader.read(mesh, status);
        }
    } catch (const std::bad_alloc&) {
        status = refusal("not enough memory to read the file");
    }
    if (status.ok())
        mesh.loaded = true;
    else
        mesh.clear();
    return status;
}

ReadStatus readPlyMeshFile(TriMesh& mesh, const std::string& path) {
    mesh.clear();
    FileBytes file;
    std::string reason;
    if (!file.open(path, reason)) return ReadStatus::cannotOpen(reason);
    return readPlyMesh(mesh, file.view());
}

} // namespace quorax
