#include "read_status.h"

namespace quorax {
namespace {

std::string quoted(std::string_view what, std::string_view path) {
    std::string s(what);
    s += " \"";
    s += path;
    s += '"';
    return s;
}

} // namespace

std::string readProblemText(const ReadStatus& status) {
    if (status.kind == ReadKind::Malformed && status.line > 0)
        return "line " + std::to_string(status.line) + ": " + status.detail;
    return status.detail;
}

std::string readErrorText(std::string_view what, std::string_view path, const ReadStatus& status) {
    if (status.kind == ReadKind::CannotOpen) return "cannot read " + quoted(what, path) + ": " + status.detail;
    if (status.line > 0) return quoted(what, path) + ", " + readProblemText(status);
    return quoted(what, path) + ": " + status.detail;
}

std::string readWarningText(std::string_view what, std::string_view path, std::string_view warning) {
    std::string s = quoted(what, path) + ": ";
    s += warning;
    return s;
}

ReadStatus noFacesStatus(std::string_view format) {
    std::string problem = "no faces found: the file is empty or not in ";
    problem += format;
    problem += " format";
    return ReadStatus::malformed(0, std::move(problem));
}

std::string printableBytes(std::string_view bytes) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size());
    const auto escape = [&](unsigned char b) {
        out += "\\x";
        out += hex[b >> 4];
        out += hex[b & 15];
    };
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const auto isContinuation = [&](std::size_t i) { return i < bytes.size() && (at(i) & 0xC0) == 0x80; };
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char b = at(i);
        if (b >= 0x20 && b < 0x7F) {
            out += static_cast<char>(b);
            ++i;
            continue;
        }
        // The length of a well-formed UTF-8 sequence starting here (no
        // overlong forms, no surrogates, nothing above U+10FFFF), or 0.
        std::size_t n = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            n = isContinuation(i + 1) ? 2 : 0;
            // U+0080 to U+009F are the C1 control codes: escaped like C0.
            if (n && b == 0xC2 && at(i + 1) < 0xA0) n = 0;
        } else if (b >= 0xE0 && b <= 0xEF) {
            if (isContinuation(i + 1) && isContinuation(i + 2)) {
                const unsigned char c = at(i + 1);
                n = (b == 0xE0 && c < 0xA0) || (b == 0xED && c >= 0xA0) ? 0 : 3;
            }
        } else if (b >= 0xF0 && b <= 0xF4) {
            if (isContinuation(i + 1) && isContinuation(i + 2) && isContinuation(i + 3)) {
                const unsigned char c = at(i + 1);
                n = (b == 0xF0 && c < 0x90) || (b == 0xF4 && c >= 0x90) ? 0 : 4;
            }
        }
        if (n == 0) {
            escape(b);
            ++i;
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
    return out;
}

} // namespace quorax
