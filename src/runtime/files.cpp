// Whole-file reading through the C library's buffered streams, in binary mode.
#include "runtime/files.h"

#include <cerrno>
#include <cstdio>

namespace velune {

bool read_whole_file(const std::string& path, std::string& out, int& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = errno;
        return false;
    }
    std::string text;
    char buffer[65536];
    errno = 0;
    for (;;) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, file);
        text.append(buffer, n);
        if (n < sizeof buffer) break;
    }
    const bool failed = std::ferror(file) != 0;
    error = failed ? (errno != 0 ? errno : EIO) : 0;
    // The file is closed whether or not the read failed.
    std::fclose(file);
    if (failed) return false;
    out.swap(text);
    return true;
}

}  // namespace velune
