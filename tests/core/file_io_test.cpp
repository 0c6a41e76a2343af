// Reading whole inputs: regular files, pipes and devices, size limits, and
// files that turn out shorter than their size said.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "file_io.h"
#include "process.h"

using namespace quorax;

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
    EXPECT_NE(error.find("larger than"), std::string::npos) << error;
    EXPECT_FALSE(f.open("/dev/zero", error, 1 << 20));
    EXPECT_NE(error.find("larger than"), std::string::npos) << error;
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
    EXPECT_NE(error.find("shortened while it was read"), std::string::npos) << error;
}
