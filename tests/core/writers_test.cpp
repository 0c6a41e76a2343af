// The text outputs, their number format, and the all-or-nothing file replacement they go
// through. (The tool's tests check the files and the debug dumps end to end.)
#include "writers.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <atomic>
#include <thread>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <cfloat>
#include <csignal>
#include <filesystem>
#include <random>

#include "file_io.h"
#include "process.h"

using namespace quorax;

TEST(Writers, AppendFixedMatchesPrintf) {
    // clang-format off
    std::vector<double> values = {0.0, -0.0, 0.5, -0.0078125, 2.5e-7, 5e-7, 1.5e-6, -1e-7, -4e-7,
        1e-300, -4.9e-324, 123456.7890125, FLT_MAX, DBL_MAX, -DBL_MAX, 1e22, 9007199254740993.0,
        HUGE_VAL, -HUGE_VAL, NAN, -NAN};
    // clang-format on
    std::mt19937_64 rng(1);
    for (int n = 0; n < 50000; ++n) {
        // Odd multiples of 1/128 are exact ties at the sixth decimal (x.xxxxxx5);
        // then any double, any float as the writers widen it, and floats of ordinary size.
        values.push_back((2.0 * (rng() % 100000) + 1) / 128.0 * (n % 2 ? 1 : -1));
        const uint64_t bits = rng();
        values.insert(values.end(), {std::bit_cast<double>(bits), std::bit_cast<float>(uint32_t(bits)),
                                     std::ldexp(rng() % 10000000, int(rng() % 40) - 30)});
    }
    int failures = 0;
    for (double v : values) {
        char want[512];
        std::snprintf(want, sizeof want, "%f", v);
        std::string got;
        appendFixed(got, v);
        if (got != want && ++failures <= 20) ADD_FAILURE() << v << ": " << got << " vs " << want;
    }
    EXPECT_EQ(failures, 0);
}

// New files get 0666 less the umask, also when threads create files at the
// same time (the umask is process-wide: reading it by setting it would race).
TEST(Writers, AtomicWritesFromThreadsKeepTheUmask) {
    const test::TempDir dir;
    const mode_t old = umask(027);
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            std::string error;
            for (int i = 0; i < 25; ++i)
                if (!writeFileAtomically(dir.file(std::to_string(t * 100 + i)), "x", error)) ++failures;
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(umask(old), 027u);
    EXPECT_EQ(failures, 0);
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.status().permissions(), std::filesystem::perms(0640)) << entry.path();
        ++files;
    }
    EXPECT_EQ(files, 200) << "no temporary file is left";
}

TEST(Writers, AtomicReplacement) {
    const test::TempDir dir;
    std::string error;
    const std::string file = dir.file("out.txt"), link = dir.file("link");
    // An existing file keeps its permissions; a symbolic link keeps pointing at it.
    ASSERT_TRUE(writeFileAtomically(file, "old", error)) << error;
    chmod(file.c_str(), 0640);
    std::filesystem::create_symlink(file, link);
    ASSERT_TRUE(writeFileAtomically(link, "old content", error));
    EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms(0640));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    // Failures touch nothing and leave no temporary file: a missing folder, a folder in
    // the way, no name, a write that fails half-way (the size limit is below the content).
    EXPECT_FALSE(writeFileAtomically(dir.file("missing/out.txt"), "x", error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_FALSE(writeFileAtomically(dir.path(), "x", error));
    EXPECT_EQ(error, "Is a directory");
    EXPECT_FALSE(writeFileAtomically("", "x", error));
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit small{4, old.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_FALSE(writeFileAtomically(file, std::string(100, 'z'), error));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(error, "File too large");
    EXPECT_EQ(dir.read("out.txt"), "old content");
    auto entries = std::filesystem::directory_iterator(dir.path());
    EXPECT_EQ(std::distance(begin(entries), end(entries)), 2); // out.txt and link
}

TEST(Writers, LinesFileStreamsTheSameBytesAsItsText) {
    // Lines enough to pass the write buffers several times, of every length from 0 to 400 points.
    std::vector<FieldLine> lines(2000);
    std::mt19937 rng(3);
    for (std::size_t i = 0; i < lines.size(); ++i)
        for (std::size_t k = 0; k < i % 401; ++k)
            lines[i].points.push_back({float(rng() % 100000) / 7, -float(rng() % 1000) / 3, float(k)});
    const test::TempDir dir;
    std::string error;
    ASSERT_TRUE(writeLinesFile(dir.file("lines.txt"), lines, error)) << error;
    const std::string text = formatLinesFile(lines);
    EXPECT_GT(text.size(), 8u << 20);
    EXPECT_TRUE(dir.read("lines.txt") == text);
}

TEST(Writers, OutputsThatAreNotRegularFilesAreWrittenInPlace) {
    const test::TempDir dir;
    std::string error;
    // A FIFO stays a FIFO and its reader gets every byte. The reader is open first and the bytes fit the pipe,
    // so neither side waits, even when the FIFO is wrongly replaced.
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const std::string content(30000, 'q');
    EXPECT_TRUE(writeFileAtomically(fifo, content, error)) << error;
    std::string received(content.size() + 1, '\0');
    received.resize(std::size_t(std::max<ssize_t>(0, read(reader, received.data(), received.size()))));
    close(reader);
    EXPECT_TRUE(received == content) << received.size();
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    // A character device is written, not replaced; one that refuses the bytes reports why. Root gets nodes of
    // its own in the test's folder, so that a writer that wrongly renames over them cannot harm the system's.
    std::string null = "/dev/null", full = "/dev/full";
    if (geteuid() == 0) {
        null = dir.file("null"), full = dir.file("full");
        ASSERT_EQ(mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
        ASSERT_EQ(mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
    }
    EXPECT_TRUE(writeFileAtomically(null, "x", error)) << error;
    EXPECT_TRUE(std::filesystem::is_character_file(null));
    EXPECT_FALSE(writeFileAtomically(full, content, error));
    EXPECT_EQ(error, "No space left on device");
    EXPECT_TRUE(std::filesystem::is_character_file(full));
    // A dangling link (relative to its own folder, through a second link) gets its target created.
    std::filesystem::create_directory(dir.file("sub"));
    std::filesystem::create_symlink("sub/second", dir.file("first"));
    std::filesystem::create_symlink("made.txt", dir.file("sub/second"));
    ASSERT_TRUE(writeFileAtomically(dir.file("first"), "new", error)) << error;
    EXPECT_EQ(dir.read("sub/made.txt"), "new");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("first")) && std::filesystem::is_symlink(dir.file("sub/second")));
    // A long name that is still allowed gets a temporary name that is allowed too.
    EXPECT_TRUE(writeFileAtomically(dir.file(std::string(255, 'l')), "x", error)) << error;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
}

TEST(Writers, ReadOnlyFilesAreRefusedAsTheShellRefusesThem) {
    const test::TempDir dir;
    const std::string file = dir.file("ro.txt");
    dir.write("ro.txt", "keep");
    chmod(file.c_str(), 0444);
    // Not replaced through the rename for a user the bits bind (the tests may run as root: the check then runs
    // in a child as nobody, in a folder nobody may write, as the rename needs).
    if (geteuid() == 0) {
        chmod(dir.path().c_str(), 0777);
        const pid_t child = fork();
        if (child == 0) {
            std::string error;
            const bool refused = setgid(65534) == 0 && setuid(65534) == 0 &&
                                 !writeFileAtomically(file, "lost", error) && error == "Permission denied";
            _exit(refused ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    } else {
        std::string error;
        EXPECT_FALSE(writeFileAtomically(file, "lost", error));
        EXPECT_EQ(error, "Permission denied");
    }
    EXPECT_EQ(dir.read("ro.txt"), "keep");
    // Root writes it as the shell's ">" would, and the file keeps its bits.
    if (geteuid() == 0) {
        std::string error;
        EXPECT_TRUE(writeFileAtomically(file, "root", error)) << error;
        EXPECT_EQ(dir.read("ro.txt"), "root");
        EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms(0444));
    }
}
