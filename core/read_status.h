// The outcome of reading an input file, shared by every reader, and the one
// place that words it for the user.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorax {

enum class ReadKind {
    Ok,         // the file was read; `warnings` may still hold problems
    CannotOpen, // the file could not be opened or read; `detail` is the system's reason
    Malformed,  // the content was refused; `line` and `detail` say where and why
};

struct ReadStatus {
    ReadKind kind = ReadKind::Ok;
    int line = 0;                      // 1-based line of the problem, 0 when it has none
    std::string detail;                // the problem, without the file name
    std::vector<std::string> warnings; // problems that did not stop the read

    bool ok() const { return kind == ReadKind::Ok; }

    static ReadStatus cannotOpen(std::string reason) {
        ReadStatus s;
        s.kind = ReadKind::CannotOpen;
        s.detail = std::move(reason);
        return s;
    }
    static ReadStatus malformed(int line, std::string problem) {
        ReadStatus s;
        s.kind = ReadKind::Malformed;
        s.line = line;
        s.detail = std::move(problem);
        return s;
    }
};

// "line N: problem", or the problem alone when it has no line (or the reason
// when the file could not be opened): the status without the file name.
std::string readProblemText(const ReadStatus& status);

// The message for a failed read of the file at `path`; `what` names the kind
// of input ("DX grid", "OBJ mesh"):
//   cannot read DX grid "PATH": REASON      (CannotOpen)
//   DX grid "PATH", line N: PROBLEM         (Malformed)
//   DX grid "PATH": PROBLEM                 (Malformed, no line)
std::string readErrorText(std::string_view what, std::string_view path, const ReadStatus& status);

// The message for one warning of a read: DX grid "PATH": WARNING
std::string readWarningText(std::string_view what, std::string_view path, std::string_view warning);

} // namespace quorax
