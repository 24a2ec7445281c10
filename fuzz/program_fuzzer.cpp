// Fuzz target over whole programs: each input is read, expanded and evaluated twice, with
// the fast paths on (and the collector run often) and off, in a fresh runtime and an empty
// scratch directory each time. A crash, a sanitizer report, or any difference between the
// two runs in output, written files or status is a finding. Runs that reach a resource
// limit (steps, memory, host stack) are not compared: the two settings use different
// amounts of each.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <new>
#include <string>

#include "fuzz/memory_limit.h"
#include "interpreter/interpreter.h"
#include "prelude/image.h"
#include "prelude/prelude.h"
#include "prelude/prelude_image.h"

namespace velune {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t step_limit = 30000;
constexpr std::size_t memory_limit = 256u << 20;

fs::path scratch;
fs::path started_in;  // given back after each input: libFuzzer's own paths may be relative

enum class ending { clean, language_error, syntax_error, internal_failure, resource_limit };

const char* name(ending e) {
    switch (e) {
    case ending::clean: return "clean";
    case ending::language_error: return "language error";
    case ending::syntax_error: return "syntax error";
    case ending::internal_failure: return "internal failure";
    case ending::resource_limit: return "resource limit";
    }
    return "?";
}

struct outcome {
    ending end = ending::clean;
    std::string message;
    std::string output;
    std::map<std::string, std::string> files;
};

std::string read_all(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

ending run(Runtime& rt, const std::string& program, std::string& message) {
    try {
        if (rt.fast_paths) {
            prelude::establish(rt, prelude::mode::load, prelude::embedded::prelude_image);
        } else {
            // The library's state from the image too, as evaluating it for every input would
            // take most of the time; the unit tests check the image against the evaluated
            // library. Built-ins without fast paths, no native routines for the generics.
            prelude::establish(rt, prelude::mode::skip);
            prelude::restore_image(rt, prelude::embedded::prelude_image);
            rt.heap.freeze(Heap::sweep::skip);
        }
        for (int i = 0; i < 5; ++i) next_num_symbol(rt);  // as the program's start-up does
        rt.step_limit = step_limit;
        fuzz::memory_limit = fuzz::memory_live + memory_limit;
        do_string(rt, program, rt.global, "fuzz.lisp");
        return ending::clean;
    } catch (const LispError& e) {
        message = e.message;
        return ending::language_error;
    } catch (const SyntaxError& e) {
        message = e.what();
        return ending::syntax_error;
    } catch (const StepLimitReached&) {
        return ending::resource_limit;
    } catch (const std::bad_alloc&) {
        return ending::resource_limit;
    } catch (const std::exception& e) {
        message = e.what();
        if (message.find("host stack is exhausted") != std::string::npos) return ending::resource_limit;
        return ending::internal_failure;
    }
}

outcome run_once(const std::string& program, bool fast_paths) {
    std::error_code ignored;
    fs::current_path(scratch);
    for (const auto& entry : fs::directory_iterator(scratch)) fs::remove_all(entry.path(), ignored);
    const int fd = ::memfd_create("velune-output", 0);
    if (fd < 0) std::abort();
    outcome o;
    {
        Runtime rt(fd);
        rt.fast_paths = fast_paths;
        rt.confine_files = true;
        rt.memory.limit = memory_limit;
        if (fast_paths) rt.heap.set_stress(500);
        o.end = run(rt, program, o.message);
        fuzz::memory_limit = 0;
        rt.out.flush();
    }
    fs::current_path(scratch);  // a failed load may have left us in a subdirectory
    o.output = read_all("/proc/self/fd/" + std::to_string(fd));
    ::close(fd);
    for (const auto& entry : fs::recursive_directory_iterator(scratch)) {
        const std::string relative = fs::relative(entry.path(), scratch).string();
        o.files[relative] = entry.is_regular_file() ? read_all(entry.path()) : std::string("<not a regular file>");
    }
    fs::current_path(started_in);
    return o;
}

[[noreturn]] void differ(const char* what, const outcome& on, const outcome& off) {
    std::fprintf(stderr, "fast paths on and off differ in %s\n", what);
    std::fprintf(stderr, "on: %s %s\n", name(on.end), on.message.c_str());
    std::fprintf(stderr, "off: %s %s\n", name(off.end), off.message.c_str());
    std::fprintf(stderr, "---- output on:\n%s\n---- output off:\n%s\n----\n", on.output.c_str(), off.output.c_str());
    std::abort();
}

}  // namespace
}  // namespace velune

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/velune-fuzz-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) std::abort();
    velune::scratch = pattern;
    velune::started_in = std::filesystem::current_path();
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::current_path("/", ignored);
        std::filesystem::remove_all(velune::scratch, ignored);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velune;
    const std::string program(reinterpret_cast<const char*>(data), size);
    const outcome on = run_once(program, true);
    if (on.end == ending::resource_limit) return 0;  // the other run would not be compared
    const outcome off = run_once(program, false);
    if (off.end == ending::resource_limit) return 0;
    if (on.end != off.end || on.message != off.message) differ("status", on, off);
    if (on.output != off.output) differ("output", on, off);
    if (on.files != off.files) differ("written files", on, off);
    return 0;
}
