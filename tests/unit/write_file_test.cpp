// write-file's replacement path: what no golden program can see (inodes, permission bits,
// a write that fails half way).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "interpreter/interpreter.h"
#include "prelude/prelude.h"

namespace velune {
namespace {

class WriteFile : public ::testing::Test {
protected:
    void SetUp() override {
        prelude::establish(rt, prelude::mode::skip);
        put("a.txt", "old content");
    }
    void TearDown() override {
        std::filesystem::remove_all(dir);
        ::close(quiet);
    }
    std::string path(const char* name) const { return dir + "/" + name; }
    // Runs (write-file NAME TEXT); returns the error message, empty on success.
    std::string write(const char* name, const std::string& text) {
        try {
            do_string(rt, "(write-file \"" + path(name) + "\" \"" + text + "\")", rt.global);
            return "";
        } catch (const LispError& e) {
            return e.message;
        }
    }
    std::string content(const char* name) const {
        std::ostringstream s;
        s << std::ifstream(path(name), std::ios::binary).rdbuf();
        return s.str();
    }
    void put(const char* name, const std::string& text) const { std::ofstream(path(name), std::ios::binary) << text; }
    struct stat status(const char* name) const {
        struct stat st {};
        ::stat(path(name).c_str(), &st);
        return st;
    }
    std::size_t entries() const { return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {})); }

    std::string dir = [] {
        char name[] = "/tmp/velune-write-XXXXXX";
        return std::string(::mkdtemp(name));
    }();
    int quiet = ::open("/dev/null", O_WRONLY);
    Runtime rt{quiet};
};

TEST_F(WriteFile, ReplacesARegularFileKeepingItsPermissionBits) {
    ::chmod(path("a.txt").c_str(), 0640);
    const ino_t before = status("a.txt").st_ino;
    EXPECT_EQ(write("a.txt", "new"), "");
    EXPECT_EQ(content("a.txt"), "new");
    EXPECT_EQ(status("a.txt").st_mode & 07777, 0640u);
    EXPECT_NE(status("a.txt").st_ino, before);  // renamed into place
    EXPECT_EQ(entries(), 1u);                   // no temporary file left behind
}

TEST_F(WriteFile, GivesANewFileTheDefaultPermissions) {
    const mode_t old_mask = ::umask(027);
    EXPECT_EQ(write("new.txt", "text"), "");
    ::umask(old_mask);
    EXPECT_EQ(content("new.txt"), "text");
    EXPECT_EQ(status("new.txt").st_mode & 07777, 0640u);
}

TEST_F(WriteFile, AFailedWriteKeepsTheOldContent) {
    // Files may not grow past 8 bytes: the write stops half way with EFBIG.
    rlimit old_limit{};
    ::getrlimit(RLIMIT_FSIZE, &old_limit);
    rlimit small = old_limit;
    small.rlim_cur = 8;
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    const std::string message = write("a.txt", "a text longer than eight bytes");
    ::setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_EQ(message, "(write-file): cannot write " + path("a.txt") + ": File too large");
    EXPECT_EQ(content("a.txt"), "old content");
    EXPECT_EQ(entries(), 1u);
}

}  // namespace
}  // namespace velune
