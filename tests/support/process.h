// Runs a program in a child process and captures what it printed.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace quorax::test {

struct ProcessResult {
    int exitCode = -1; // exit status, or 128 + signal
    std::string out;   // standard output
    std::string err;   // standard error
};

// Runs `program` with `args` in folder `cwd` (empty: the current folder). `env` entries "NAME=value" are added to the
// environment ("NAME=" alone removes NAME). Standard input is /dev/null.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& cwd = {}, const std::vector<std::string>& env = {});

// Starts the program as runProcess does without waiting for it; standard output and error go to the files `out`
// and `err` (empty: /dev/null). Returns its process id.
pid_t startProcess(const std::string& program, const std::vector<std::string>& args, const std::string& cwd = {},
                   const std::vector<std::string>& env = {}, const std::string& out = {}, const std::string& err = {});

// A fresh empty folder under the system's temporary folder, removed with its contents when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    void write(const std::string& name, const std::string& content) const;
    std::string read(const std::string& name) const;
    bool exists(const std::string& name) const;

private:
    std::string path_;
};

std::string readFile(const std::string& path);

// Whether `text` holds `part`; a failure shows the whole text.
inline ::testing::AssertionResult has(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no \"" << part << "\" in:\n" << text;
}

} // namespace quorax::test
