// The command line of the velune program itself, run as a separate process: the usage line,
// extra arguments, unreadable files, whole traces and standard output that cannot be written.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "runtime/runtime.h"

namespace velune {
namespace {

// The program is built next to this test binary.
std::string velune_path() {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    std::string path(self, static_cast<std::size_t>(n));
    return path.substr(0, path.rfind('/') + 1) + "velune";
}

struct Outcome {
    bool exited = false;  // false: ended by a signal
    int status = -1;
    std::string out;
};

// Runs velune with exactly these argv words (the first is the name it is invoked by).
// `stdout_fd` replaces the output pipe when given; the pipe is then not read.
Outcome run(const std::vector<std::string>& words, int stdout_fd = -1) {
    Outcome outcome;
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) return outcome;
    const std::string program = velune_path();
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(stdout_fd >= 0 ? stdout_fd : pipe_fds[1], 1);
        const int null_fd = ::open("/dev/null", O_WRONLY);
        ::dup2(null_fd, 2);
        ::close(pipe_fds[0]);
        ::close(pipe_fds[1]);
        std::vector<char*> argv;
        for (const auto& w : words) argv.push_back(const_cast<char*>(w.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(pipe_fds[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0) outcome.out.append(buffer, static_cast<std::size_t>(n));
    ::close(pipe_fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    outcome.exited = WIFEXITED(status);
    outcome.status = outcome.exited ? WEXITSTATUS(status) : -1;
    return outcome;
}

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        if (::access(velune_path().c_str(), X_OK) != 0) GTEST_SKIP() << "no velune program next to the tests";
        char pattern[] = "/tmp/velune-startup-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        for (const auto& f : files) ::unlink(f.c_str());
        if (!dir.empty()) ::rmdir(dir.c_str());
    }

    std::string file(const std::string& name, const std::string& text) {
        const std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        files.push_back(path);
        return path;
    }

    std::string dir;
    std::vector<std::string> files;
};

TEST_F(Startup, WithoutAFileItPrintsTheUsageLine) {
    const Outcome plain = run({"velune"});
    EXPECT_TRUE(plain.exited);
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out, "usage: velune file.lisp\n");
    // The name as invoked, whatever it is.
    const Outcome named = run({"./some dir/my-velune"});
    EXPECT_EQ(named.status, 0);
    EXPECT_EQ(named.out, "usage: ./some dir/my-velune file.lisp\n");
}

TEST_F(Startup, OnlyTheFirstFileRuns) {
    const std::string first = file("first.lisp", "(print \"first\")\n");
    const std::string second = file("second.lisp", "(print \"second\")\n");
    const Outcome o = run({"velune", first, second, dir + "/missing.lisp"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, "first\n");
}

TEST_F(Startup, AnUnreadableFileRunsNothing) {
    const std::string later = file("later.lisp", "(print \"later\")\n");
    for (const std::string& path : {dir + "/missing.lisp", dir, std::string()}) {
        const Outcome o = run({"velune", path, later});
        EXPECT_TRUE(o.exited) << path;
        EXPECT_EQ(o.status, exit_status::unreadable_file) << path;
        EXPECT_EQ(o.out, "") << path;
    }
}

TEST_F(Startup, ADeepTraceIsPrintedWhole) {
    // An error 5000 calls deep: some 40,000 frames, each on its line, none left out.
    const std::string program =
        file("deep.lisp", "(define f (fn (n) (if (= n 0) (car 1) (+ 1 (f (- n 1))))))\n(f 5000)\n");
    const Outcome o = run({"velune", program});
    EXPECT_EQ(o.status, exit_status::language_error);
    std::size_t calls = 0;
    for (std::size_t at = 0; (at = o.out.find("\nCallFrame: (f (- n 1))\n", at)) != std::string::npos; ++at) ++calls;
    EXPECT_EQ(calls, 5000u);
    EXPECT_EQ(o.out.find("not shown"), std::string::npos);
}

TEST_F(Startup, OutputThatCannotBeWrittenIsAFailureNotASignal) {
    const std::string program = file("prints.lisp", "(print \"lost\")\n");
    const int full = ::open("/dev/full", O_WRONLY);
    if (full >= 0) {
        const Outcome o = run({"velune", program}, full);
        ::close(full);
        EXPECT_TRUE(o.exited);
        EXPECT_EQ(o.status, exit_status::output_failure);
    }
    // A pipe whose reader has gone.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    const Outcome o = run({"velune", program}, fds[1]);
    ::close(fds[1]);
    EXPECT_TRUE(o.exited);
    EXPECT_EQ(o.status, exit_status::output_failure);
    // Nothing to print, nothing lost.
    const std::string quiet = file("quiet.lisp", "; nothing\n");
    const int full_again = ::open("/dev/full", O_WRONLY);
    if (full_again >= 0) {
        EXPECT_EQ(run({"velune", quiet}, full_again).status, 0);
        ::close(full_again);
    }
}

}  // namespace
}  // namespace velune
