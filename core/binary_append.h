// Appending fixed-width numbers to a byte buffer in a chosen byte order, for
// the binary file formats (little-endian VTK XML and PLY, big-endian legacy
// VTK, little-endian STL).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

namespace quorax {

// Appends the bytes of `v` (an integer or a float of 1, 2, 4 or 8 bytes),
// least significant first when `little` is true, most significant first otherwise.
template <class T>
inline void appendBinary(std::string& out, T v, bool little = true) {
    static_assert(std::is_arithmetic_v<T>);
    using U = std::conditional_t<sizeof(T) == 1, uint8_t,
              std::conditional_t<sizeof(T) == 2, uint16_t,
              std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>>>;
    static_assert(sizeof(U) == sizeof(T));
    U bits;
    std::memcpy(&bits, &v, sizeof bits);
    char bytes[sizeof(U)];
    for (std::size_t i = 0; i < sizeof(U); ++i) {
        const std::size_t shift = 8 * (little ? i : sizeof(U) - 1 - i);
        bytes[i] = static_cast<char>((bits >> shift) & 0xff);
    }
    out.append(bytes, sizeof bytes);
}

} // namespace quorax
