#include "process.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace quorax::test {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

pid_t startProcess(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                   const std::vector<std::string>& env, const std::string& out, const std::string& err) {
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid > 0) return pid;
    const int in = ::open("/dev/null", O_RDONLY);
    const int o = ::open(out.empty() ? "/dev/null" : out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int e = ::open(err.empty() ? "/dev/null" : err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(in, 0);
    ::dup2(o, 1);
    ::dup2(e, 2);
    if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
    for (const std::string& entry : env) {
        const std::size_t eq = entry.find('=');
        const std::string name = entry.substr(0, eq), value = entry.substr(eq + 1);
        if (value.empty())
            ::unsetenv(name.c_str());
        else
            ::setenv(name.c_str(), value.c_str(), 1);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& cwd, const std::vector<std::string>& env) {
    TempDir io;
    const pid_t pid = startProcess(program, args, cwd, env, io.file("stdout"), io.file("stderr"));
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    ProcessResult r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = io.read("stdout");
    r.err = io.read("stderr");
    return r;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorax-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void TempDir::write(const std::string& name, const std::string& content) const {
    std::ofstream(file(name), std::ios::binary) << content;
}

std::string TempDir::read(const std::string& name) const { return readFile(file(name)); }

bool TempDir::exists(const std::string& name) const { return std::filesystem::exists(file(name)); }

} // namespace quorax::test
