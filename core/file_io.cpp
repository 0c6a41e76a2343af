#include "file_io.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <random>
#include <utility>
#include <vector>

#include "parallel.h"

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

// Reads the first `n` bytes of a regular file into `p`, blocks of it on
// every worker thread at once (copying a large file out of the page cache
// is bound by one core). Returns what a single read from the start would
// have got: the bytes up to the first block that came back short, or -1
// with errno set when a block failed.
ssize_t readRegularFile(int fd, char* p, std::size_t n) {
    constexpr std::size_t kBlock = std::size_t{8} << 20;
    const std::size_t blocks = (n + kBlock - 1) / kBlock;
    if (blocks < 2 || workerThreads() == 1) return readFully(fd, p, n);
    std::vector<ssize_t> got(blocks);
    std::vector<int> failure(blocks, 0);
    parallelRanges(blocks, 1, [&](std::size_t first, std::size_t last) {
        for (std::size_t b = first; b < last; ++b) {
            const std::size_t at = b * kBlock, size = std::min(kBlock, n - at);
            std::size_t done = 0;
            while (done < size) {
                const ssize_t r = ::pread(fd, p + at + done, size - done, static_cast<off_t>(at + done));
                if (r < 0) {
                    if (errno == EINTR) continue;
                    failure[b] = errno;
                    break;
                }
                if (r == 0) break;
                done += static_cast<std::size_t>(r);
            }
            got[b] = static_cast<ssize_t>(done);
        }
    });
    for (std::size_t b = 0; b < blocks; ++b) {
        if (failure[b] != 0) {
            errno = failure[b];
            return -1;
        }
        const std::size_t size = std::min(kBlock, n - b * kBlock);
        if (static_cast<std::size_t>(got[b]) < size) return static_cast<ssize_t>(b * kBlock) + got[b];
    }
    return static_cast<ssize_t>(n);
}

std::string shortenedText(std::uintmax_t got, std::uintmax_t size) {
    return "the file ended after " + std::to_string(got) + " of its " + std::to_string(size) +
           " bytes: it was shortened while it was read (is another program writing it?)";
}

// The guard of mapped files against SIGBUS. Every live mapping holds a slot
// of a fixed table that the signal handler searches without locks. A fault
// in a slot's range means that the file ends before the faulting page: the
// handler maps zero pages from there to the end of the range, so that the
// faulting read goes on, and notes the page. Any other SIGBUS goes to the
// action that was in place before (the default one kills the process).
struct MappedRange {
    std::atomic<bool> taken{false};
    std::atomic<std::uintptr_t> begin{0}, end{0}; // begin 0: not in use
    std::atomic<std::uintptr_t> firstFault{UINTPTR_MAX};
};
constexpr int kMappedRanges = 64;
MappedRange mappedRanges[kMappedRanges];
struct sigaction previousBusAction {};
std::uintptr_t pageSize = 4096;

void onBusError(int signal, siginfo_t* info, void* context) {
    if (info->si_code > 0) { // raised by a fault, not sent by a process
        const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
        for (MappedRange& r : mappedRanges) {
            const std::uintptr_t begin = r.begin.load(std::memory_order_acquire);
            const std::uintptr_t end = r.end.load(std::memory_order_acquire);
            if (begin == 0 || at < begin || at >= end) continue;
            const std::uintptr_t page = at & ~(pageSize - 1);
            void* zeros = ::mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
                                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
            if (zeros == MAP_FAILED) break;
            std::uintptr_t seen = r.firstFault.load(std::memory_order_relaxed);
            while (page < seen && !r.firstFault.compare_exchange_weak(seen, page, std::memory_order_relaxed)) {
            }
            return;
        }
    }
    if (previousBusAction.sa_flags & SA_SIGINFO) {
        previousBusAction.sa_sigaction(signal, info, context);
        return;
    }
    if (previousBusAction.sa_handler != SIG_DFL && previousBusAction.sa_handler != SIG_IGN) {
        previousBusAction.sa_handler(signal);
        return;
    }
    // The action before ours: a fault recurs when the handler returns, a
    // signal sent by a process is sent again.
    ::sigaction(SIGBUS, &previousBusAction, nullptr);
    if (info->si_code <= 0) ::raise(signal);
}

// Takes a slot for [begin, begin + size), installing the handler on first
// use; -1 when every slot is taken or no handler could be installed.
int guardRange(const char* begin, std::size_t size) {
    static std::once_flag once;
    static bool installed = false;
    std::call_once(once, [] {
        if (const long page = ::sysconf(_SC_PAGESIZE); page > 0) pageSize = static_cast<std::uintptr_t>(page);
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
        ::sigemptyset(&action.sa_mask);
        installed = ::sigaction(SIGBUS, &action, &previousBusAction) == 0;
    });
    if (!installed) return -1;
    for (int k = 0; k < kMappedRanges; ++k) {
        MappedRange& r = mappedRanges[k];
        bool expected = false;
        if (!r.taken.compare_exchange_strong(expected, true, std::memory_order_acq_rel)) continue;
        const auto b = reinterpret_cast<std::uintptr_t>(begin);
        r.firstFault.store(UINTPTR_MAX, std::memory_order_relaxed);
        r.end.store((b + size + pageSize - 1) & ~(pageSize - 1), std::memory_order_release);
        r.begin.store(b, std::memory_order_release);
        return k;
    }
    return -1;
}

void releaseRange(int slot) {
    MappedRange& r = mappedRanges[slot];
    r.begin.store(0, std::memory_order_release);
    r.end.store(0, std::memory_order_release);
    r.taken.store(false, std::memory_order_release);
}

} // namespace

FileBytes::FileBytes(FileBytes&& other) noexcept { *this = std::move(other); }

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        mappedFd_ = std::exchange(other.mappedFd_, -1);
        guard_ = std::exchange(other.guard_, -1);
    }
    return *this;
}

FileBytes::~FileBytes() { release(); }

void FileBytes::release() {
    if (guard_ >= 0) releaseRange(guard_);
    if (data_) ::munmap(data_, capacity_);
    if (mappedFd_ >= 0) ::close(mappedFd_);
    data_ = nullptr;
    size_ = capacity_ = 0;
    mappedFd_ = guard_ = -1;
}

void FileBytes::dropPages(const char* first, const char* last) const {
    if (mappedFd_ < 0 || first < data_ || last > data_ + size_ || first >= last) return;
    static const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(first) + page - 1) & ~(page - 1);
    const std::uintptr_t to = reinterpret_cast<std::uintptr_t>(last) & ~(page - 1);
    // Read-only private pages: dropping them loses nothing.
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
}

bool FileBytes::map(int fd, std::size_t size) {
    // No MAP_POPULATE: the pages come in as the parsers' threads reach them,
    // with the kernel's fault-around, which measured as fast and does not
    // hold up the first thread.
    void* m = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (m == MAP_FAILED) return false;
    const int guard = guardRange(static_cast<const char*>(m), size);
    if (guard < 0) {
        ::munmap(m, size);
        return false;
    }
    data_ = static_cast<char*>(m);
    size_ = capacity_ = size;
    guard_ = guard;
    mappedFd_ = fd;
    return true;
}

bool FileBytes::intact(std::string& error) const {
    if (guard_ < 0) return true;
    const std::uintptr_t fault = mappedRanges[guard_].firstFault.load(std::memory_order_relaxed);
    struct stat st {};
    std::uintmax_t now = size_;
    if (::fstat(mappedFd_, &st) == 0 && static_cast<std::uintmax_t>(st.st_size) < now)
        now = static_cast<std::uintmax_t>(st.st_size);
    // A fault shows that the file ended before the faulting page, even if it
    // has grown again since.
    if (fault != UINTPTR_MAX) now = std::min<std::uintmax_t>(now, fault - reinterpret_cast<std::uintptr_t>(data_));
    if (now >= size_) return true;
    error = shortenedText(now, size_);
    return false;
}

bool FileBytes::grow(std::size_t capacity, std::string& error) {
    // The pages are faulted in at once: cheaper than one fault per page
    // while read() fills them. Large buffers ask for huge pages first (far
    // fewer pages to fault in and map).
    void* m = data_ ? ::mremap(data_, capacity_, capacity, MREMAP_MAYMOVE)
                    : ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) {
        error = "not enough memory to read the file (" + megabytes(capacity) + ")";
        return false;
    }
    if (!data_) {
        if (capacity >= (std::size_t{4} << 20)) ::madvise(m, capacity, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
        if (::madvise(m, capacity, MADV_POPULATE_WRITE) != 0)
#endif
        {
            // Older kernels: touch every page.
            for (std::size_t at = 0; at < capacity; at += 4096) static_cast<volatile char*>(m)[at] = 0;
        }
    }
    data_ = static_cast<char*>(m);
    capacity_ = capacity;
    return true;
}

bool FileBytes::open(const std::string& path, std::string& error, std::size_t maxBytes, FileAccess access) {
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
        if (access == FileAccess::Map && map(f.fd, static_cast<std::size_t>(size))) {
            f.fd = -1; // kept open by the mapping
            return true;
        }
        if (!grow(static_cast<std::size_t>(size), error)) return false;
        ::posix_fadvise(f.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        const ssize_t got = readRegularFile(f.fd, data_, capacity_);
        if (got < 0) {
            error = errnoText(errno);
            release();
            return false;
        }
        if (static_cast<std::uintmax_t>(got) < size) {
            error = shortenedText(static_cast<std::uintmax_t>(got), size);
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

namespace {

constexpr std::size_t kWriteBuffer = std::size_t(1) << 20;
constexpr int kMaxLinkHops = 40; // as the kernel's limit for a path

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Follows a chain of symbolic links that ends at a name that does not exist
// yet, and gives that name: the file a dangling link makes the shell create.
int danglingTarget(std::string path, std::string& target) {
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        struct stat lst {};
        if (::lstat(path.c_str(), &lst) != 0) {
            if (errno != ENOENT) return errno;
            target = path;
            return 0;
        }
        if (!S_ISLNK(lst.st_mode)) {
            target = path;
            return 0;
        }
        std::vector<char> link(static_cast<std::size_t>(lst.st_size > 0 ? lst.st_size : PATH_MAX) + 1);
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n < 0) return errno;
        const std::string next(link.data(), static_cast<std::size_t>(n));
        path = !next.empty() && next[0] == '/' ? next : folderOf(path) + next;
    }
    return ELOOP;
}

// The standard output or error descriptor that is the file `st` describes, or -1.
int ownStream(const struct stat& st) {
    for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat s {};
        if (::fstat(fd, &s) == 0 && s.st_dev == st.st_dev && s.st_ino == st.st_ino) return fd;
    }
    return -1;
}

} // namespace

bool AtomicFileWriter::open(const std::string& path, std::string& error) {
    abort();
    auto refuse = [&error](int e) {
        error = errnoText(e);
        return false;
    };
    if (path.empty()) return refuse(ENOENT);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        // Nothing there yet, possibly behind a dangling link; any other
        // reason (a loop of links, a name too long, no access) is the error.
        if (errno != ENOENT) return refuse(errno);
        if (const int e = danglingTarget(path, target_)) return refuse(e);
        keepMode_ = false; // the kernel applies the umask to the new file
    } else if (S_ISDIR(st.st_mode)) {
        return refuse(EISDIR);
    } else if (!S_ISREG(st.st_mode)) {
        // A FIFO, a terminal or another device: written in place.
        fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (fd_ < 0) return refuse(errno);
        inPlace_ = true;
        target_ = path;
        return true;
    } else if (const int own = ownStream(st); own >= 0) {
        // The program's own standard output or error (e.g. /dev/stdout
        // redirected to a file): the bytes follow what was printed there.
        fd_ = ::fcntl(own, F_DUPFD_CLOEXEC, 3);
        if (fd_ < 0) return refuse(errno);
        inPlace_ = true;
        target_ = path;
        return true;
    } else {
        // The rename would replace even a file the user may not write;
        // refuse it as opening it for writing would be refused.
        if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return refuse(errno);
        target_ = path;
        struct stat lst {};
        if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
            // Replace the file the link names, not the link.
            char* real = ::realpath(path.c_str(), nullptr);
            if (!real) return refuse(errno);
            target_ = real;
            std::free(real);
        }
        mode_ = st.st_mode & 07777;
        keepMode_ = true;
    }

    // The temporary name stays within the 255 bytes a folder entry allows.
    const std::string dir = folderOf(target_);
    std::string base = target_.substr(dir.size());
    if (base.size() > 200) base.resize(200);
    // A new file is created with 0666 for the kernel to apply the umask:
    // reading the umask would mean setting it, which races with threads that
    // create files at the same time. A replaced file keeps its permissions.
    std::string name;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        name = dir + "." + base + ".tmp." + uniqueSuffix();
        fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, keepMode_ ? 0600 : 0666);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
        const int e = errno;
        target_.clear();
        return refuse(e);
    }
    temp_ = name;
    return true;
}

void AtomicFileWriter::flushBuffer() {
    if (!failure_ && !buffer_.empty() && !writeAll(fd_, buffer_.data(), buffer_.size())) failure_ = errno;
    buffer_.clear();
}

void AtomicFileWriter::write(std::string_view bytes) {
    if (fd_ < 0 || failure_) return;
    if (buffer_.size() + bytes.size() > kWriteBuffer) flushBuffer();
    if (bytes.size() >= kWriteBuffer) {
        if (!failure_ && !writeAll(fd_, bytes.data(), bytes.size())) failure_ = errno;
    } else {
        buffer_.append(bytes);
    }
}

bool AtomicFileWriter::commit(std::string& error) {
    if (fd_ < 0) {
        error = errnoText(EBADF);
        return false;
    }
    auto fail = [&](int e) {
        error = errnoText(e);
        abort();
        return false;
    };
    flushBuffer();
    if (failure_) return fail(failure_);
    if (!inPlace_) {
        if (keepMode_ && ::fchmod(fd_, static_cast<mode_t>(mode_)) != 0) return fail(errno);
        if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) return fail(errno);
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return fail(errno);
    if (!inPlace_ && ::rename(temp_.c_str(), target_.c_str()) != 0) return fail(errno);
    temp_.clear();
    abort(); // resets the state; nothing is left to remove
    return true;
}

void AtomicFileWriter::abort() {
    if (fd_ >= 0) ::close(fd_);
    if (!temp_.empty()) ::unlink(temp_.c_str());
    fd_ = -1;
    inPlace_ = false;
    keepMode_ = false;
    failure_ = 0;
    temp_.clear();
    target_.clear();
    buffer_.clear();
    buffer_.shrink_to_fit();
}

bool writeFileAtomically(const std::string& path, std::string_view content, std::string& error) {
    AtomicFileWriter w;
    if (!w.open(path, error)) return false;
    w.write(content);
    return w.commit(error);
}

bool isSameFile(const std::string& output, const std::string& input) {
    struct stat a {}, b {};
    return ::stat(output.c_str(), &a) == 0 && ::stat(input.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

} // namespace quorax
