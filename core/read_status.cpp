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

} // namespace quorax
