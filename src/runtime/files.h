// Whole-file reading shared by the program loader, load and read-file.
#pragma once

#include <string>

namespace velune {

// Reads every byte of the file at `path` into `out`. On failure returns false and sets
// `error` to the errno value that explains it (a directory gives EISDIR).
bool read_whole_file(const std::string& path, std::string& out, int& error);

}  // namespace velune
