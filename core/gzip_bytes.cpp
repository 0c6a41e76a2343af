#include "gzip_bytes.h"

#include <algorithm>
#include <climits>
#include <zlib.h>

#include "file_io.h"

namespace quorax {

bool isGzip(std::string_view bytes) {
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
           static_cast<unsigned char>(bytes[1]) == 0x8b;
}

bool gunzipBytes(std::string_view bytes, std::string& out, std::string& error, std::size_t maxBytes) {
    const std::size_t limit = maxBytes ? maxBytes : defaultInputLimit();
    out.clear();
    z_stream z{};
    if (inflateInit2(&z, 15 + 16) != Z_OK) { // 15 + 16: a gzip header, the largest window
        error = "cannot start the gzip decompressor";
        return false;
    }
    struct End {
        z_stream& z;
        ~End() { inflateEnd(&z); }
    } end{z};

    const auto* next = reinterpret_cast<const Bytef*>(bytes.data());
    std::size_t left = bytes.size();
    std::size_t size = 0;
    out.resize(std::min<std::size_t>(limit, std::max<std::size_t>(4 * bytes.size(), 1 << 16)));
    for (;;) {
        if (size == out.size()) {
            if (out.size() == limit) {
                error = "the decompressed data are larger than the " + std::to_string(limit / 1000000) +
                        " MB of memory that an input may take";
                return false;
            }
            out.resize(out.size() > limit / 2 ? limit : 2 * out.size());
        }
        z.next_in = const_cast<Bytef*>(next);
        z.avail_in = static_cast<uInt>(std::min<std::size_t>(left, UINT_MAX));
        z.next_out = reinterpret_cast<Bytef*>(out.data() + size);
        z.avail_out = static_cast<uInt>(std::min<std::size_t>(out.size() - size, UINT_MAX));
        const uInt inBefore = z.avail_in, outBefore = z.avail_out;
        const int rc = inflate(&z, Z_NO_FLUSH);
        next += inBefore - z.avail_in;
        left -= inBefore - z.avail_in;
        size += outBefore - z.avail_out;
        if (rc == Z_STREAM_END) {
            // Concatenated members (gzip a b > c) follow one another.
            if (left == 0 || !isGzip({reinterpret_cast<const char*>(next), left})) break;
            inflateReset(&z);
            continue;
        }
        if (rc == Z_BUF_ERROR && (left == 0 || (z.avail_in == inBefore && z.avail_out == outBefore))) {
            error = "the gzip data are cut short (the file is incomplete)";
            return false;
        }
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            error = std::string("the gzip data are corrupt (") + (z.msg ? z.msg : "zlib error " + std::to_string(rc)) + ")";
            return false;
        }
    }
    out.resize(size);
    return true;
}

} // namespace quorax
