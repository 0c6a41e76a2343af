// Whole-file input and all-or-nothing output.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorax {

// How FileBytes::open holds the bytes of a regular file.
enum class FileAccess {
    Read, // read into memory of the process
    Map,  // mapped read-only from the system's cache, no copy: the caller
          // asks intact() once it has used the bytes
};

// The bytes of a file, in memory. Empty files give an empty view.
//
// Files are read with read(2) unless the caller asks for a mapping. A mapped
// file that another program shortens while it is used would kill the
// process with SIGBUS; a mapped FileBytes is therefore guarded: a fault in
// its bytes puts zero bytes in place of the missing ones and marks it, and
// intact() reports it. Pipes, devices and files whose size the system does
// not know are always read until their end, up to a limit.
class FileBytes {
public:
    FileBytes() = default;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    FileBytes(FileBytes&& other) noexcept;
    FileBytes& operator=(FileBytes&& other) noexcept;
    ~FileBytes();

    // Reads the whole file at `path`. On failure returns false and sets
    // `error` to the reason: the system's text ("No such file or directory"),
    // or a sentence when the file holds more than `maxBytes` (0: the default
    // limit, a quarter of the memory available now), when memory runs out, or
    // when the file ends before its size said (it shrank while being read).
    // With FileAccess::Map a regular file that is not empty is mapped
    // (when the system refuses, it is read).
    bool open(const std::string& path, std::string& error, std::size_t maxBytes = 0,
              FileAccess access = FileAccess::Read);

    // True unless the file is mapped and has been shortened since it was
    // opened (its missing bytes then read as zero bytes). Otherwise false
    // and `error` set as open() sets it for a file that ends before its
    // size said. Ask after the bytes were used, before trusting the result.
    bool intact(std::string& error) const;

    std::string_view view() const { return {data_, size_}; }

    // The reader is done with the bytes in [first, last): when the file is
    // mapped, the whole pages among them leave this process's memory (they
    // stay in the page cache and come back if read again), so that a large
    // file read in parts never weighs on the process at once. Nothing
    // happens to a file read into memory.
    void dropPages(const char* first, const char* last) const;
    const char* begin() const { return data_; }
    const char* end() const { return data_ + size_; }
    std::size_t size() const { return size_; }

private:
    bool grow(std::size_t capacity, std::string& error);
    bool map(int fd, std::size_t size);
    void release();
    // Anonymous memory, so that a stream's buffer grows in place (mremap)
    // instead of being copied: a copy would need one and a half times the
    // memory at its peak.
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    int mappedFd_ = -1; // a mapped file stays open, to see whether it shrank
    int guard_ = -1;    // the slot that guards the mapping against SIGBUS
};

// The default size limit of FileBytes::open: a quarter of the memory the
// system reports available (MemAvailable), at least 64 MiB.
std::size_t defaultInputLimit();

// An output file written as it is produced, replaced whole or not at all.
// A regular file (or a name not yet taken) gets its bytes through a
// temporary file in the same folder, which commit() flushes to disk and
// renames over the target; an existing file keeps its permissions and a
// symbolic link keeps pointing at the replaced file (a dangling link gets
// its target created). An existing output that is not a regular file (a
// FIFO, a terminal, /dev/null) is written in place, as the shell's ">" does,
// and never replaced by a regular file. A regular file that the user may not
// write is refused ("Permission denied"), as the shell refuses it, instead of
// being replaced through the rename. Until commit() succeeds nothing at the
// target changes (except for the in-place outputs, which receive the bytes
// as they come); destruction without commit() removes the temporary file.
class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
    ~AtomicFileWriter() { abort(); }

    // Prepares the output `path`. On failure returns false and sets `error`
    // to the reason (strerror text, e.g. "Permission denied").
    bool open(const std::string& path, std::string& error);
    // Buffers `bytes`; a failed write is kept and reported by commit().
    void write(std::string_view bytes);
    // Writes what is buffered and puts the file in place. On failure returns
    // false, sets `error` and leaves the target as it was.
    bool commit(std::string& error);
    // Drops the output: the temporary file is removed, the target untouched.
    void abort();

private:
    void flushBuffer();
    int fd_ = -1;
    bool inPlace_ = false;
    int failure_ = 0; // errno of the first failed write
    unsigned mode_ = 0;     // permissions of the file being replaced
    bool keepMode_ = false; // give the result mode_ (a file is replaced)
    std::string target_, temp_, buffer_;
};

// Writes `content` to `path` through an AtomicFileWriter: the file is either
// completely replaced or left untouched. On failure returns false and sets
// `error` to the reason.
bool writeFileAtomically(const std::string& path, std::string_view content, std::string& error);

// True when `output` names an existing file that is the very file `input`
// names (same device and inode, whatever the spelling, links included).
// Writing `output` would then destroy the input.
bool isSameFile(const std::string& output, const std::string& input);

} // namespace quorax
