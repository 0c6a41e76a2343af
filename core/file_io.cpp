#include "file_io.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace quorax {
namespace {

std::string errnoText(int e) { return std::strerror(e); }

// Closes a descriptor on scope exit.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

bool writeAll(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

} // namespace

std::size_t defaultInputLimit() {
    constexpr std::size_t floor = std::size_t{64} << 20;
    std::size_t availableKb = 0;
    if (std::FILE* f = std::fopen("/proc/meminfo", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "MemAvailable: %zu kB", &availableKb) == 1) break;
        std::fclose(f);
    }
    if (availableKb == 0) {
        const long pages = ::sysconf(_SC_PHYS_PAGES), page = ::sysconf(_SC_PAGESIZE);
        if (pages > 0 && page > 0) availableKb = static_cast<std::size_t>(pages) / 1024 * static_cast<std::size_t>(page);
    }
    return std::max(floor, availableKb / 4 * 1024);
}

namespace {

std::string megabytes(std::size_t bytes) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.0f MB", static_cast<double>(bytes) / 1e6);
    return buf;
}

std::string tooLarge(std::size_t limit) {
    return "the file is larger than the " + megabytes(limit) + " of memory that an input may take";
}

// Reads up to `n` bytes at `p`; returns the count read (less at the end of
// the file) or -1 with errno set.
ssize_t readFully(int fd, char* p, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t r = ::read(fd, p + done, n - done);
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        done += static_cast<std::size_t>(r);
    }
    return static_cast<ssize_t>(done);
}

} // namespace

FileBytes::FileBytes(FileBytes&& other) noexcept { *this = std::move(other); }

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

FileBytes::~FileBytes() { release(); }

void FileBytes::release() {
    if (data_) ::munmap(data_, capacity_);
    data_ = nullptr;
    size_ = capacity_ = 0;
}

bool FileBytes::grow(std::size_t capacity, std::string& error) {
    // The pages are faulted in at once (MAP_POPULATE): cheaper than one
    // fault per page while read() fills them.
    void* m = data_ ? ::mremap(data_, capacity_, capacity, MREMAP_MAYMOVE)
                    : ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE,
                             -1, 0);
    if (m == MAP_FAILED) {
        error = "not enough memory to read the file (" + megabytes(capacity) + ")";
        return false;
    }
    data_ = static_cast<char*>(m);
    capacity_ = capacity;
    return true;
}

bool FileBytes::open(const std::string& path, std::string& error, std::size_t maxBytes) {
    release();
    const std::size_t limit = maxBytes ? maxBytes : defaultInputLimit();
    Fd f;
    f.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (f.fd < 0) {
        error = errnoText(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(f.fd, &st) != 0) {
        error = errnoText(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        error = errnoText(EISDIR);
        return false;
    }
    if (S_ISREG(st.st_mode) && st.st_size > 0) {
        // A regular file: one buffer of the size it has now.
        const auto size = static_cast<std::uintmax_t>(st.st_size);
        if (size > limit) {
            error = tooLarge(limit);
            return false;
        }
        if (!grow(static_cast<std::size_t>(size), error)) return false;
        ::posix_fadvise(f.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        const ssize_t got = readFully(f.fd, data_, capacity_);
        if (got < 0) {
            error = errnoText(errno);
            release();
            return false;
        }
        if (static_cast<std::uintmax_t>(got) < size) {
            error = "the file ended after " + std::to_string(got) + " of its " + std::to_string(size) +
                    " bytes: it was shortened while it was read (is another program writing it?)";
            release();
            return false;
        }
        size_ = capacity_;
        return true;
    }
    // A pipe, a device or a file of unknown size: read to its end in a
    // buffer that doubles, never past the limit.
    std::size_t size = 0;
    for (;;) {
        if (size == capacity_) {
            if (capacity_ == limit) {
                char probe;
                const ssize_t more = readFully(f.fd, &probe, 1);
                if (more == 0) break;
                error = more < 0 ? errnoText(errno) : tooLarge(limit);
                release();
                return false;
            }
            const std::size_t grown =
                capacity_ == 0 ? std::min<std::size_t>(std::size_t{1} << 16, limit)
                               : (capacity_ > limit / 2 ? limit : 2 * capacity_);
            if (!grow(grown, error)) {
                release();
                return false;
            }
        }
        const ssize_t r = ::read(f.fd, data_ + size, capacity_ - size);
        if (r < 0) {
            if (errno == EINTR) continue;
            error = errnoText(errno);
            release();
            return false;
        }
        if (r == 0) break;
        size += static_cast<std::size_t>(r);
    }
    size_ = size;
    return true;
}

bool writeFileAtomically(const std::string& path, std::string_view content, std::string& error) {
    if (path.empty()) {
        error = errnoText(ENOENT);
        return false;
    }
    // Write through a symbolic link to the file it names, as fopen would.
    std::string target = path;
    struct stat lst {};
    if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        error = errnoText(EISDIR);
        return false;
    }
    mode_t mode;
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }

    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string tmp = dir + "." + base + ".tmp.XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    Fd f;
    f.fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (f.fd < 0) {
        error = errnoText(errno);
        return false;
    }
    tmp.assign(name.data());
    auto fail = [&](int e) {
        error = errnoText(e);
        ::unlink(tmp.c_str());
        return false;
    };
    if (!writeAll(f.fd, content.data(), content.size())) return fail(errno);
    if (::fchmod(f.fd, mode) != 0) return fail(errno);
    if (::fsync(f.fd) != 0 && errno != EINVAL && errno != EROFS) return fail(errno);
    const int fd = f.fd;
    f.fd = -1;
    if (::close(fd) != 0) return fail(errno);
    if (::rename(tmp.c_str(), target.c_str()) != 0) return fail(errno);
    return true;
}

} // namespace quorax
