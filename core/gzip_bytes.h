// Gzip-compressed input (as APBS writes its "gz" grids), decompressed in memory.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorax {

// True when `bytes` start with the gzip magic number (1f 8b).
bool isGzip(std::string_view bytes);

// Decompresses every gzip member of `bytes`, one after another, into `out`.
// On failure (corrupt or cut data, output beyond `maxBytes`, 0: the default
// input limit) returns false and sets `error` to the problem.
bool gunzipBytes(std::string_view bytes, std::string& out, std::string& error, std::size_t maxBytes = 0);

} // namespace quorax
