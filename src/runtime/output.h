// The one line buffer in front of file descriptor 1.
#pragma once

#include <string>
#include <string_view>

namespace velune {

class OutputBuffer {
public:
    explicit OutputBuffer(int fd = 1) : fd(fd) {}
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;

    // Appends text; every completed line is written out at once.
    void write(std::string_view text);
    void line(std::string_view text) {
        write(text);
        write("\n");
    }
    // Writes a pending partial line; called on every way out of the process.
    void flush();

private:
    int fd;
    std::string pending;
    void write_all(std::string_view bytes);
};

}  // namespace velune
