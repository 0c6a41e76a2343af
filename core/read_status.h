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

// The status of a surface file that gave no face at all: empty, random
// bytes, or a file of another format given by mistake. `format` is "OBJ",
// "PLY" ...: "no faces found: the file is empty or not in OBJ format".
ReadStatus noFacesStatus(std::string_view format);

// Bytes taken from a file, made safe to show in a message: control bytes
// (also NUL, ESC, DEL and the C1 controls), and bytes that are not part of a
// valid UTF-8 sequence, become \xNN; printable ASCII and valid UTF-8 text stay
// as they are. Readers quote file content only through this.
std::string printableBytes(std::string_view bytes);

// `bytes` without a UTF-8 byte order mark at its start. Editors on some
// systems write one; it is not part of the first line.
inline std::string_view withoutByteOrderMark(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    return bytes;
}

} // namespace quorax
