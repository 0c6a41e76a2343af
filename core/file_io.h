// Whole-file input and all-or-nothing output.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorax {

// The bytes of a file, read into memory. Empty files give an empty view.
//
// Files are read with read(2) rather than mapped: a mapped file that another
// program shortens while it is read kills the process with SIGBUS, a read
// only comes back short. Pipes, devices and files whose size the system does
// not know are read until their end, up to a limit.
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
    bool open(const std::string& path, std::string& error, std::size_t maxBytes = 0);

    std::string_view view() const { return {data_, size_}; }
    const char* begin() const { return data_; }
    const char* end() const { return data_ + size_; }
    std::size_t size() const { return size_; }

private:
    bool grow(std::size_t capacity, std::string& error);
    void release();
    // Anonymous memory, so that a stream's buffer grows in place (mremap)
    // instead of being copied: a copy would need one and a half times the
    // memory at its peak.
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// The default size limit of FileBytes::open: a quarter of the memory the
// system reports available (MemAvailable), at least 64 MiB.
std::size_t defaultInputLimit();

// Writes `content` to `path` so that the file is either completely replaced
// or left untouched: the bytes go to a temporary file in the same folder,
// which is flushed to disk and renamed over `path`. An existing file keeps
// its permissions; a symbolic link keeps pointing at the replaced file.
// On failure returns false, sets `error` to the reason and removes the
// temporary file.
bool writeFileAtomically(const std::string& path, std::string_view content, std::string& error);

} // namespace quorax
