// PLY reading for the viewer, on CGAL's PLY tokenizer.
//
// CGAL's documented polygon-soup read_PLY keeps vertices and faces in file
// order and refuses truncated files, but it reads past a "tristrips" element
// without giving its strips back, accepts face lists of 32-bit indices only
// and reads x, y, z as float or double only. So this file drives CGAL's
// tokenizer (CGAL::IO::internal::PLY_reader, the one read_PLY itself is built
// on) directly and takes vertices, faces and strips in one pass over the
// elements. Around it sit what the tokenizer leaves to its caller:
//  - the header is checked first (a property before any element, an unknown
//    type or a missing end_header would otherwise make the tokenizer misread
//    or fail without saying where);
//  - every list length is checked against the bytes left before the
//    tokenizer sizes its buffer from it, so a damaged length cannot make it
//    allocate gigabytes;
//  - indices are checked against the vertex count.
// This is the only file that includes CGAL: its headers compile slowly.

#include "ply_reader.h"

#include <CGAL/IO/PLY/PLY_reader.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <istream>
#include <limits>
#include <locale>
#include <new>
#include <stdexcept>
#include <streambuf>
#include <string_view>
#include <vector>

#include "file_io.h"

namespace quorax {
namespace {

using CGAL::IO::internal::PLY_element;
using CGAL::IO::internal::PLY_read_number;
using CGAL::IO::internal::PLY_read_typed_list;
using CGAL::IO::internal::PLY_read_typed_number;
using CGAL::IO::internal::PLY_reader;

// The tokenizer swaps bytes for big-endian files only, i.e. it assumes a
// little-endian host.
static_assert(std::endian::native == std::endian::little,
              "PLY reading assumes a little-endian host");

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

std::string lineError(int line, const std::string& problem) {
    return "line " + std::to_string(line) + ": " + problem;
}

// Checks the header in the same line-by-line way the tokenizer reads it and
// records what the data part must then look like.
bool parseHeader(std::string_view bytes, Header& header, std::string& error) {
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
                error = "not a PLY file (the first line is not \"ply\")";
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
                error = lineError(line, "unknown format \"" + std::string(w[1]) + "\"");
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
                error = lineError(line, "element " + std::string(w[1]) + " declares " +
                                            std::string(w[2]) +
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
                    error = lineError(line, "\"" + std::string(w[2]) +
                                                "\" is not an integer type for a list length");
                    return false;
                }
            }
            p.type = findType(w[list ? 3 : 1]);
            if (!p.type) {
                error = lineError(line,
                                  "unknown property type \"" + std::string(w[list ? 3 : 1]) + "\"");
                return false;
            }
            p.name = std::string(w[list ? 4 : 2]);
            header.elements.back().properties.push_back(std::move(p));
            continue;
        }
        // comment, obj_info and any other header line: nothing to take from it
    }
    error = line == 0 ? "the file is empty" : "the header has no end_header line";
    return false;
}

// An input buffer over the file's bytes that lets the reader see how far the
// tokenizer has got.
class ByteBuffer : public std::streambuf {
  public:
    ByteBuffer(const char* begin, const char* end) {
        char* b = const_cast<char*>(begin); // read only: the get area is never written
        setg(b, b, const_cast<char*>(end));
    }
    const char* here() const { return gptr(); }
    const char* end() const { return egptr(); }
};

// Typed access to what the tokenizer read for one property of one item.
using ScalarGetter = double (*)(const PLY_read_number*);
using ListGetter = void (*)(const PLY_read_number*, std::vector<int64_t>&);

template <class T> double scalarValue(const PLY_read_number* p) {
    return static_cast<double>(static_cast<const PLY_read_typed_number<T>*>(p)->buffer());
}

template <class T> bool pickScalar(const PLY_read_number* p, ScalarGetter& getter) {
    if (!dynamic_cast<const PLY_read_typed_number<T>*>(p)) return false;
    getter = &scalarValue<T>;
    return true;
}

ScalarGetter scalarGetter(const PLY_read_number* p) {
    ScalarGetter g = nullptr;
    pickScalar<int8_t>(p, g) || pickScalar<uint8_t>(p, g) || pickScalar<int16_t>(p, g) ||
        pickScalar<uint16_t>(p, g) || pickScalar<int32_t>(p, g) || pickScalar<uint32_t>(p, g) ||
        pickScalar<float>(p, g) || pickScalar<double>(p, g);
    return g;
}

template <class T> void listValues(const PLY_read_number* p, std::vector<int64_t>& out) {
    const std::vector<T>& values = static_cast<const PLY_read_typed_list<T>*>(p)->buffer();
    out.assign(values.begin(), values.end());
}

template <class T> bool pickList(const PLY_read_number* p, ListGetter& getter) {
    if (!dynamic_cast<const PLY_read_typed_list<T>*>(p)) return false;
    getter = &listValues<T>;
    return true;
}

// Null for lists of float or double: indices must be integers.
ListGetter integerListGetter(const PLY_read_number* p) {
    ListGetter g = nullptr;
    pickList<int8_t>(p, g) || pickList<uint8_t>(p, g) || pickList<int16_t>(p, g) ||
        pickList<uint16_t>(p, g) || pickList<int32_t>(p, g) || pickList<uint32_t>(p, g);
    return g;
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

class PlyLoader {
  public:
    PlyLoader(std::string_view bytes, const Header& header, std::istream& in, ByteBuffer& buffer)
        : bytes_(bytes), header_(header), in_(in), buffer_(buffer) {}

    bool read(PLY_reader& tokenizer, TriMesh& mesh, std::string& error);

  private:
    bool ascii() const { return header_.format == PlyFormat::Ascii; }
    int lineAt(const char* p) const;
    std::string located(const char* itemStart, const std::string& problem) const;
    std::string truncated(const HeaderElement& e, std::size_t item) const;
    bool checkListLength(const HeaderElement& e, std::size_t item, const HeaderProperty& p,
                         std::string& error) const;
    bool readItem(PLY_element& element, const HeaderElement& e, std::size_t item,
                  std::string& error);
    bool addPolygon(const std::vector<int64_t>& corners, std::size_t face, const char* itemStart,
                    TriMesh& mesh, std::string& error) const;
    bool addStrip(const std::vector<int64_t>& strip, std::size_t number, const char* itemStart,
                  TriMesh& mesh, std::string& error) const;
    bool checkIndex(int64_t v, const char* what, std::size_t number, const char* itemStart,
                    std::string& error) const;
    bool addTriangle(int64_t a, int64_t b, int64_t c, TriMesh& mesh, std::string& error) const;

    std::string_view bytes_;
    const Header& header_;
    std::istream& in_;
    ByteBuffer& buffer_;
    int64_t vertexCount_ = 0;
};

// Line number of the first non-blank byte at or after `p` in the ASCII data.
int PlyLoader::lineAt(const char* p) const {
    while (p < buffer_.end() && isBlank(*p))
        ++p;
    int line = header_.lines + 1;
    for (const char* q = bytes_.data() + header_.dataOffset; q < p; ++q)
        if (*q == '\n') ++line;
    return line;
}

std::string PlyLoader::located(const char* itemStart, const std::string& problem) const {
    return ascii() ? lineError(lineAt(itemStart), problem) : problem;
}

std::string PlyLoader::truncated(const HeaderElement& e, std::size_t item) const {
    return "the file ends inside element " + e.name + ", after " + std::to_string(item) +
           " of its " + std::to_string(e.count) + " items";
}

// The tokenizer sizes a list from its length before reading the entries;
// refuse lengths that are negative or longer than the bytes left.
bool PlyLoader::checkListLength(const HeaderElement& e, std::size_t item, const HeaderProperty& p,
                                std::string& error) const {
    const char* at = buffer_.here();
    const std::size_t left = static_cast<std::size_t>(buffer_.end() - at);
    if (ascii()) {
        while (at < buffer_.end() && isBlank(*at))
            ++at;
        if (at == buffer_.end()) {
            error = truncated(e, item);
            return false;
        }
        const char* tokenEnd = at;
        while (tokenEnd < buffer_.end() && !isBlank(*tokenEnd))
            ++tokenEnd;
        int64_t length = 0;
        const auto r = std::from_chars(at, tokenEnd, length);
        const int64_t maxLength = p.countType->isSigned
                                      ? (int64_t{1} << (8 * p.countType->bytes - 1)) - 1
                                      : (int64_t{1} << (8 * p.countType->bytes)) - 1;
        if (r.ec != std::errc() || r.ptr != tokenEnd || length < 0 || length > maxLength) {
            error = lineError(lineAt(at), "\"" + std::string(at, tokenEnd) +
                                              "\" is not a length of list " + p.name + " (type " +
                                              std::string(p.countType->name) + ")");
            return false;
        }
        // every entry takes at least a separator and a digit
        if (static_cast<std::size_t>(length) >
            static_cast<std::size_t>(buffer_.end() - tokenEnd) / 2) {
            error = truncated(e, item);
            return false;
        }
        return true;
    }
    const std::size_t n = static_cast<std::size_t>(p.countType->bytes);
    if (left < n) {
        error = truncated(e, item);
        return false;
    }
    uint64_t raw = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const uint64_t byte = static_cast<unsigned char>(at[i]);
        raw |= header_.format == PlyFormat::BinaryLittleEndian ? byte << (8 * i)
                                                               : byte << (8 * (n - 1 - i));
    }
    if (p.countType->isSigned && (raw >> (8 * n - 1)) != 0) {
        error = "list " + p.name + " of element " + e.name + " item " + std::to_string(item) +
                " has a negative length";
        return false;
    }
    if (raw > (left - n) / static_cast<std::size_t>(p.type->bytes)) {
        error = truncated(e, item);
        return false;
    }
    return true;
}

// Reads one item's properties with the tokenizer.
bool PlyLoader::readItem(PLY_element& element, const HeaderElement& e, std::size_t item,
                         std::string& error) {
    for (std::size_t k = 0; k < e.properties.size(); ++k) {
        const HeaderProperty& p = e.properties[k];
        if (p.countType && !checkListLength(e, item, p, error)) return false;
        const char* start = buffer_.here();
        element.property(k)->get(in_);
        if (!in_.fail()) continue;
        // binary data can only fail by running out; ASCII data also by a bad token
        const char* token = start;
        while (token < buffer_.end() && isBlank(*token))
            ++token;
        if (!ascii() || token == buffer_.end()) {
            error = truncated(e, item);
            return false;
        }
        const char* tokenEnd = token;
        while (tokenEnd < buffer_.end() && !isBlank(*tokenEnd))
            ++tokenEnd;
        error = lineError(lineAt(token), "cannot read \"" + std::string(token, tokenEnd) +
                                             "\" as property " + p.name + " (type " +
                                             std::string(p.type->name) + ") of element " + e.name);
        return false;
    }
    return true;
}

bool PlyLoader::checkIndex(int64_t v, const char* what, std::size_t number, const char* itemStart,
                           std::string& error) const {
    if (v >= 0 && v < vertexCount_) return true;
    error = located(itemStart, std::string(what) + " " + std::to_string(number) + " names vertex " +
                                   std::to_string(v) + ", but the file has " +
                                   std::to_string(vertexCount_) + " vertices");
    return false;
}

bool PlyLoader::addTriangle(int64_t a, int64_t b, int64_t c, TriMesh& mesh,
                            std::string& error) const {
    if (mesh.faces.size() >= static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
        error = "the file gives more triangles than the viewer can hold";
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
bool PlyLoader::addPolygon(const std::vector<int64_t>& corners, std::size_t face,
                           const char* itemStart, TriMesh& mesh, std::string& error) const {
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
bool PlyLoader::addStrip(const std::vector<int64_t>& strip, std::size_t number,
                         const char* itemStart, TriMesh& mesh, std::string& error) const {
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

bool PlyLoader::read(PLY_reader& tokenizer, TriMesh& mesh, std::string& error) {
    // Find the vertex element and how each role's properties are read.
    struct Access {
        Role role = Role::Other;
        int x = -1, y = -1, z = -1, list = -1;
        ScalarGetter gx = nullptr, gy = nullptr, gz = nullptr;
        ListGetter gl = nullptr;
    };
    std::vector<Access> access(header_.elements.size());
    bool haveVertices = false;
    int vertexElements = 0;
    for (std::size_t i = 0; i < header_.elements.size(); ++i) {
        const HeaderElement& e = header_.elements[i];
        PLY_element& element = tokenizer.element(i);
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
            if (a.x < 0 || a.y < 0 || a.z < 0) continue; // refused below
            a.gx = scalarGetter(element.property(a.x));
            a.gy = scalarGetter(element.property(a.y));
            a.gz = scalarGetter(element.property(a.z));
            if (!a.gx || !a.gy || !a.gz) {
                error = lineError(e.line, "vertex properties x, y, z must be numbers, not lists");
                return false;
            }
            haveVertices = true;
            vertexCount_ = static_cast<int64_t>(e.count);
        } else if (a.role == Role::Faces || a.role == Role::Strips) {
            a.list = propertyIndex(e, "vertex_indices");
            if (a.list < 0 && a.role == Role::Faces) a.list = propertyIndex(e, "vertex_index");
            if (a.list < 0 || !e.properties[a.list].countType) {
                error = lineError(e.line, "element " + e.name + " has no list vertex_indices");
                return false;
            }
            a.gl = integerListGetter(element.property(a.list));
            if (!a.gl) {
                error = lineError(e.line, "vertex_indices of element " + e.name + " is a list of " +
                                              std::string(e.properties[a.list].type->name) +
                                              ", not of integers");
                return false;
            }
        }
    }
    if (!haveVertices) {
        error = "no vertex element with x, y, z";
        return false;
    }

    // Read every element in header order, keeping what the viewer uses.
    std::vector<int64_t> indices;
    std::size_t faceNumber = 0, stripNumber = 0;
    for (std::size_t i = 0; i < header_.elements.size(); ++i) {
        const HeaderElement& e = header_.elements[i];
        PLY_element& element = tokenizer.element(i);
        const Access& a = access[i];
        // reserve no more items than the bytes left could hold
        std::size_t minItemBytes = 0;
        for (const HeaderProperty& p : e.properties)
            minItemBytes += ascii() ? 2
                                    : static_cast<std::size_t>(p.countType ? p.countType->bytes
                                                                           : p.type->bytes);
        const std::size_t left = static_cast<std::size_t>(buffer_.end() - buffer_.here());
        const std::size_t reserve = minItemBytes == 0 ? 0 : std::min(e.count, left / minItemBytes);
        if (a.role == Role::Vertices && a.gx) mesh.vertices.reserve(reserve);
        if (a.role == Role::Faces) mesh.faces.reserve(mesh.faces.size() + reserve);

        for (std::size_t j = 0; j < e.count; ++j) {
            const char* itemStart = buffer_.here();
            if (!readItem(element, e, j, error)) return false;
            if (a.role == Role::Vertices && a.gx) {
                MeshVertex v;
                v.pos = {static_cast<float>(a.gx(element.property(a.x))),
                         static_cast<float>(a.gy(element.property(a.y))),
                         static_cast<float>(a.gz(element.property(a.z)))};
                mesh.vertices.push_back(v);
            } else if (a.role == Role::Faces) {
                a.gl(element.property(a.list), indices);
                if (!addPolygon(indices, faceNumber++, itemStart, mesh, error)) return false;
            } else if (a.role == Role::Strips) {
                a.gl(element.property(a.list), indices);
                if (!addStrip(indices, stripNumber++, itemStart, mesh, error)) return false;
            }
        }
    }
    return true;
}

} // namespace

bool loadPlyViewerMesh(ViewerMesh& mesh, const std::string& path, std::string& error) {
    mesh.clear();
    error.clear();
    bool ok = false;
    FileBytes file;
    if (file.open(path, error)) {
        const std::string_view bytes = file.view();
        Header header;
        if (parseHeader(bytes, header, error)) {
            ByteBuffer buffer(bytes.data(), bytes.data() + bytes.size());
            std::istream in(&buffer);
            in.imbue(std::locale::classic()); // numbers use '.', whatever the application's locale
            PLY_reader tokenizer(false);
            try {
                // the tokenizer reads the header checked above, so it must agree with it
                bool agrees = tokenizer.init(in) &&
                              tokenizer.number_of_elements() == header.elements.size() &&
                              buffer.here() == bytes.data() + header.dataOffset;
                for (std::size_t i = 0; agrees && i < header.elements.size(); ++i)
                    agrees = tokenizer.element(i).number_of_properties() ==
                                 header.elements[i].properties.size() &&
                             tokenizer.element(i).number_of_items() == header.elements[i].count;
                if (!agrees) {
                    error = "the PLY header could not be parsed";
                } else {
                    PlyLoader loader(bytes, header, in, buffer);
                    ok = loader.read(tokenizer, mesh.tri, error);
                }
            } catch (const std::bad_alloc&) {
                error = "not enough memory to read the file";
                ok = false;
            } catch (const std::exception& e) {
                error = e.what();
                ok = false;
            }
        }
    }
    if (ok) {
        mesh.tri.loaded = true;
    } else {
        mesh.clear();
    }
    mesh.resetViewerFields(kPlyVertexColor);
    deriveViewerMesh(mesh);
    return ok;
}

} // namespace quorax
