#include "file_io.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <random>
#include <utility>
#include <vector>

namespace quorax {
namespace {

// strerror_r: the reason text must not come from a buffer another thread may overwrite.
std::string errnoText(int e) {
    char buf[256];
    return ::strerror_r(e, buf, sizeof buf); // GNU variant: returns the text
}

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

// Six characters that make a temporary name unique among the threads and
// processes that write into one folder at the same time.
std::string uniqueSuffix() {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 generator{std::random_device{}() ^
                                           (static_cast<uint64_t>(::getpid()) << 32)};
    std::string s(6, ' ');
    for (char& c : s) c = kChars[generator() % (sizeof kChars - 1)];
    return s;
}

} // namespace

FileBytes::FileBytes(FileBytes&& other) noexcept { *this = std::move(other); }

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
    if (this != &other) {
        release();
        mapped_ = other.mapped_;
        buffer_ = std::move(other.buffer_);
        size_ = other.size_;
        data_ = mapped_ ? other.data_ : buffer_.data();
        other.data_ = nullptr;
        other.size_ = 0;
        other.mapped_ = false;
    }
    return *this;
}

FileBytes::~FileBytes() { release(); }

void FileBytes::release() {
    if (mapped_ && data_) ::munmap(const_cast<char*>(data_), size_);
    data_ = nullptr;
    size_ = 0;
    mapped_ = false;
    buffer_.clear();
    buffer_.shrink_to_fit();
}

bool FileBytes::open(const std::string& path, std::string& error) {
    release();
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
        void* m = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ,
                         MAP_PRIVATE | MAP_POPULATE, f.fd, 0);
        if (m != MAP_FAILED) {
            ::madvise(m, static_cast<std::size_t>(st.st_size), MADV_SEQUENTIAL);
            data_ = static_cast<const char*>(m);
            size_ = static_cast<std::size_t>(st.st_size);
            mapped_ = true;
            return true;
        }
    }
    // Not mappable (pipe, device, empty or special file): read it whole.
    std::vector<char> chunk(1 << 16);
    for (;;) {
        const ssize_t r = ::read(f.fd, chunk.data(), chunk.size());
        if (r < 0) {
            if (errno == EINTR) continue;
            error = errnoText(errno);
            buffer_.clear();
            return false;
        }
        if (r == 0) break;
        buffer_.append(chunk.data(), static_cast<std::size_t>(r));
    }
    data_ = buffer_.data();
    size_ = buffer_.size();
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
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    // The temporary file is created with the permissions the result should
    // have: those of the file it replaces, or 0666 less the umask, which the
    // kernel applies itself. Reading the umask would mean setting it, and that
    // races with threads that create files at the same time.
    const mode_t mode = exists ? (st.st_mode & 07777) : 0666;
    std::string tmp;
    Fd f;
    for (int attempt = 0; attempt < 100 && f.fd < 0; ++attempt) {
        tmp = dir + "." + base + ".tmp." + uniqueSuffix();
        f.fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : mode);
        if (f.fd < 0 && errno != EEXIST) break;
    }
    if (f.fd < 0) {
        error = errnoText(errno);
        return false;
    }
    auto fail = [&](int e) {
        error = errnoText(e);
        ::unlink(tmp.c_str());
        return false;
    };
    if (!writeAll(f.fd, content.data(), content.size())) return fail(errno);
    if (exists && ::fchmod(f.fd, mode) != 0) return fail(errno);
    if (::fsync(f.fd) != 0 && errno != EINVAL && errno != EROFS) return fail(errno);
    const int fd = f.fd;
    f.fd = -1;
    if (::close(fd) != 0) return fail(errno);
    if (::rename(tmp.c_str(), target.c_str()) != 0) return fail(errno);
    return true;
}

} // namespace quorax
