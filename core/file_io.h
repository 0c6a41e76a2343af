// Whole-file input and all-or-nothing output.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorax {

// The bytes of a file, mapped or read into memory. Empty files give an empty view.
class FileBytes {
public:
    FileBytes() = default;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    FileBytes(FileBytes&& other) noexcept;
    FileBytes& operator=(FileBytes&& other) noexcept;
    ~FileBytes();

    // Reads the whole file at `path`. On failure returns false and sets
    // `error` to the reason (strerror text, e.g. "No such file or directory").
    bool open(const std::string& path, std::string& error);

    std::string_view view() const { return {data_, size_}; }
    const char* begin() const { return data_; }
    const char* end() const { return data_ + size_; }
    std::size_t size() const { return size_; }

private:
    void release();
    const char* data_ = nullptr;
    std::size_t size_ = 0;
    bool mapped_ = false;
    std::string buffer_; // used when the file cannot be mapped (pipes, special files)
};

// Writes `content` to `path` so that the file is either completely replaced
// or left untouched: the bytes go to a temporary file in the same folder,
// which is flushed to disk and renamed over `path`. An existing file keeps
// its permissions; a symbolic link keeps pointing at the replaced file.
// On failure returns false, sets `error` to the reason and removes the
// temporary file.
bool writeFileAtomically(const std::string& path, std::string_view content, std::string& error);

} // namespace quorax
