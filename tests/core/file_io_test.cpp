// Reading whole inputs: regular files, pipes and devices, size limits, and
// files that turn out shorter than their size said.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "file_io.h"
#include "mesh.h"
#include "obj_reader.h"
#include "parallel.h"
#include "process.h"

using namespace quorax;
using quorax::test::has;

TEST(FileBytes, RegularFilesPipesAndLimits) {
    const test::TempDir dir;
    const std::string text = std::string(100000, 'v') + "\nend";
    dir.write("a.txt", text);
    dir.write("empty.txt", "");
    FileBytes f;
    std::string error;
    ASSERT_TRUE(f.open(dir.file("a.txt"), error)) << error;
    EXPECT_EQ(f.view(), text);
    ASSERT_TRUE(f.open(dir.file("empty.txt"), error)) << error;
    EXPECT_EQ(f.size(), 0u);
    // A FIFO is read to its end, across several buffer growths.
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
        const int fd = ::open(fifo.c_str(), O_WRONLY);
        for (std::size_t done = 0; done < text.size();)
            done += static_cast<std::size_t>(::write(fd, text.data() + done, text.size() - done));
        ::close(fd);
    });
    const bool read = f.open(fifo, error);
    writer.join();
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(f.view(), text);
    // Over the limit: a sentence, not an abort, for a file and for an endless device.
    EXPECT_FALSE(f.open(dir.file("a.txt"), error, 1000));
    EXPECT_TRUE(has(error, "larger than"));
    EXPECT_FALSE(f.open("/dev/zero", error, 1 << 20));
    EXPECT_TRUE(has(error, "larger than"));
    EXPECT_EQ(f.size(), 0u);
    EXPECT_GE(defaultInputLimit(), std::size_t{64} << 20);
    EXPECT_FALSE(f.open(dir.file("missing"), error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_FALSE(f.open(dir.path(), error));
    EXPECT_EQ(error, "Is a directory");
}

TEST(FileBytes, AFileShorterThanItsSizeIsAnError) {
    // sysfs files report a size of a page but hold fewer bytes: the same
    // view a reader has of a file that another program shortens meanwhile.
    const char* path = "/sys/kernel/mm/transparent_hugepage/enabled";
    struct stat st {};
    if (::stat(path, &st) != 0 || st.st_size <= 100) GTEST_SKIP() << "no sysfs file of a lying size here";
    FileBytes f;
    std::string error;
    EXPECT_FALSE(f.open(path, error));
    EXPECT_TRUE(has(error, "shortened while it was read"));
    // Such files cannot be mapped: asked for a mapping, the file is read.
    EXPECT_FALSE(f.open(path, error, 0, FileAccess::Map));
    EXPECT_TRUE(has(error, "shortened while it was read"));
}

namespace {

// Shortens the file at `path` to `size` bytes, as another program may.
void shorten(const std::string& path, off_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
}

std::string objText(int vertices) {
    std::string text;
    for (int i = 1; i <= vertices; ++i) {
        text += "v " + std::to_string(i) + ".250000 -0.500000 " + std::to_string(i % 7) + ".125000\n";
        if (i >= 3) text += "f " + std::to_string(i - 2) + " " + std::to_string(i - 1) + " " + std::to_string(i) + "\n";
    }
    return text;
}

} // namespace

TEST(FileBytes, AMappedFileThatShrinksIsReportedNotFatal) {
    // Shortened mid-page after it was mapped, then parsed on several threads: the missing bytes read as zeros, the
    // parse ends, and intact() names the bytes that were there. Another mapping stays intact; a file that grows back
    // after a fault is still reported.
    const test::TempDir dir;
    const std::string text = objText(60000), other = objText(100);
    dir.write("a.obj", text);
    dir.write("b.obj", other);
    std::string error;
    for (int threads : {1, 3, 8}) {
        setWorkerThreads(threads);
        dir.write("a.obj", text);
        FileBytes a, b;
        ASSERT_TRUE(a.open(dir.file("a.obj"), error, 0, FileAccess::Map)) << error;
        ASSERT_TRUE(b.open(dir.file("b.obj"), error, 0, FileAccess::Map)) << error;
        ASSERT_TRUE(a.view() == text);
        EXPECT_TRUE(a.intact(error));
        const off_t kept = static_cast<off_t>(text.size() / 3 + 17);
        shorten(dir.file("a.obj"), kept);
        TriMesh mesh;
        readObjMesh(mesh, a.view());
        EXPECT_LT(mesh.vertexCount(), 60000);
        EXPECT_EQ(a.view().substr(0, static_cast<std::size_t>(kept)), text.substr(0, static_cast<std::size_t>(kept)));
        EXPECT_EQ(a.view().find_first_not_of('\0', static_cast<std::size_t>(kept)), std::string_view::npos);
        EXPECT_FALSE(a.intact(error));
        EXPECT_EQ(error, "the file ended after " + std::to_string(kept) + " of its " + std::to_string(text.size()) +
                             " bytes: it was shortened while it was read (is another program writing it?)");
        EXPECT_TRUE(b.intact(error));
        EXPECT_TRUE(b.view() == other);
        // Grown back to its size: the fault is remembered.
        dir.write("a.obj", text);
        EXPECT_FALSE(a.intact(error));
        EXPECT_TRUE(has(error, "shortened while it was read"));
    }
    setWorkerThreads(0);
    // The file reader gives that error rather than what it parsed, while
    // another program keeps shortening and restoring its file.
    const std::string path = dir.file("c.obj");
    dir.write("c.obj", text);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        while (!done) {
            const int fd = ::open(path.c_str(), O_WRONLY);
            if (::ftruncate(fd, 4096) != 0 || ::pwrite(fd, text.data(), text.size(), 0) < 0) break;
            ::close(fd);
        }
    });
    int shortened = 0;
    for (int run = 0; run < 40; ++run) {
        TriMesh mesh;
        const ReadStatus s = readObjMeshFile(mesh, path);
        if (!s.ok()) {
            EXPECT_EQ(s.kind, ReadKind::CannotOpen);
            EXPECT_TRUE(has(s.detail, "shortened while it was read"));
            ++shortened;
        }
    }
    done = true;
    writer.join();
    RecordProperty("shortened", shortened);
}

TEST(FileBytes, ABusErrorOutsideAMappedFileStillKills) {
    // The guard handles faults in its own mappings only: any other SIGBUS keeps its effect.
    const test::TempDir dir;
    dir.write("x", std::string(1 << 16, 'x'));
    FileBytes guarded;
    std::string error;
    ASSERT_TRUE(guarded.open(dir.file("x"), error, 0, FileAccess::Map)) << error;
    dir.write("y", std::string(1 << 16, 'y'));
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const int fd = ::open(dir.file("y").c_str(), O_RDONLY);
            auto* p = static_cast<volatile char*>(::mmap(nullptr, 1 << 16, PROT_READ, MAP_PRIVATE, fd, 0));
            shorten(dir.file("y"), 0);
            std::printf("%d\n", p[1 << 15]);
            std::exit(0);
        },
        [](int status) { return !(WIFEXITED(status) && WEXITSTATUS(status) == 0); }, "");
}
