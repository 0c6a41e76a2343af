// PLY files made in memory, for the tests of the PLY reader and of the programs that load PLY surfaces.
#pragma once

#include <bit>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace quorax::test {

enum class Ply { Ascii, Little, Big };

// A PLY file: `header` between the format line and end_header, then one data item per string of typed values
// ("b3" one byte, "s3" two, "i3" four, "f0.5" float, "d0.5" double), written as typed (ASCII) or as bytes.
inline std::string plyFile(Ply e, const std::string& header, const std::vector<std::string>& items) {
    const char* format[] = {"ascii", "binary_little_endian", "binary_big_endian"};
    std::string out = "ply\nformat " + std::string(format[int(e)]) + " 1.0\n" + header + "end_header\n";
    for (const std::string& item : items) {
        std::istringstream in(item);
        std::string token;
        for (bool first = true; in >> token; first = false) {
            const std::string text = token.substr(1);
            if (e == Ply::Ascii) {
                out += (first ? "" : " ") + text;
                continue;
            }
            uint64_t bits = uint64_t(std::stoll(text));
            int bytes = token[0] == 'b' ? 1 : token[0] == 's' ? 2 : 4;
            if (token[0] == 'f') bits = std::bit_cast<uint32_t>(std::stof(text));
            if (token[0] == 'd') bits = std::bit_cast<uint64_t>(std::stod(text)), bytes = 8;
            for (int i = 0; i < bytes; ++i) out += char(bits >> (8 * (e == Ply::Little ? i : bytes - 1 - i)));
        }
        if (e == Ply::Ascii) out += '\n';
    }
    return out;
}
inline const std::string kXyz = "property float x\nproperty float y\nproperty float z\n";
inline const std::string kFaceList = "property list uchar int vertex_indices\n";

} // namespace quorax::test
