// The text outputs, their number format, and the all-or-nothing file replacement they go
// through. (The tool's tests check the files and the debug dumps end to end.)
#include "writers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <sys/resource.h>
#include <sys/stat.h>

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
        values.insert(values.end(),
                      {std::bit_cast<double>(bits), std::bit_cast<float>(uint32_t(bits)),
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

TEST(Writers, LinesFileListsEachLineFromItsLastPoint) {
    EXPECT_EQ(formatLinesFile({{{4, -1.5f, 0.25f}, {4.5f, -1, 0}}, {}}),
              "n\nv 4.500000 -1.000000 0.000000\nv 4.000000 -1.500000 0.250000\nn\n");
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
