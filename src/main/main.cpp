// The entry point: start-up, the command line, running a file, the exit status.
#include <cxxabi.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <typeinfo>

#include "interpreter/interpreter.h"
#include "prelude/prelude.h"
#include "prelude/prelude_image.h"
#include "runtime/files.h"

namespace velune {
namespace {

// Five generated-symbol numbers are drawn at start-up, so a program's first (gensym)
// comes five after the prelude's last one.
void entry_point_prepare(Runtime& rt) {
    for (int i = 0; i < 5; ++i) next_num_symbol(rt);
}

struct unreadable_file {
    std::string path;
    int error;
};

value* do_file(Runtime& rt, const std::string& path, environment* env) {
    std::string text;
    int error = 0;
    if (!read_whole_file(path, text, error)) throw unreadable_file{path, error};
    return do_string(rt, text, env, path);
}

int stress_setting() {
    const char* setting = std::getenv("VELUNE_GC_STRESS");
    if (setting == nullptr || *setting == '\0') return 0;
    const int every = std::atoi(setting);
    return every > 0 ? every : 0;
}

// "main.lisp:40: " when the failure left a known top-level form.
std::string at_failed_form(const Runtime& rt) {
    const std::string where = format_location(rt.diagnostics.failed_form);
    return where.empty() ? where : where + ": ";
}

// A diagnostic is one line: a line break in a message, with the indentation after it,
// becomes one space.
std::string one_line(std::string_view text) {
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n') {
            line += text[i];
            continue;
        }
        while (i + 1 < text.size() && (text[i + 1] == ' ' || text[i + 1] == '\t')) ++i;
        line += ' ';
    }
    return line;
}

std::string syntax_error_diagnostic(const Runtime& rt, const SyntaxError& e) {
    const std::string message = one_line(e.what());
    if (!e.where.file.empty()) return format_location(e.where) + ": syntax error: " + message;
    // A string given to read: the top-level form that read it, and the place in the string.
    return at_failed_form(rt) + "syntax error: " + message + " (at " + std::to_string(e.where.line) + ":" +
           std::to_string(e.where.column) + " of the text given to read)";
}

// The type of the exception being handled, as the C++ source names it.
std::string current_exception_type() {
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (type == nullptr) return "unknown";
    int status = 0;
    char* demangled = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
    std::string name = status == 0 && demangled != nullptr ? demangled : type->name();
    std::free(demangled);
    return name;
}

int run_program(Runtime& rt, int argc, char** argv) {
    try {
        const char* fast = std::getenv("VELUNE_FAST_PATHS");
        rt.fast_paths = fast == nullptr || std::strcmp(fast, "off") != 0;
        prelude::establish(rt, prelude::mode::load, prelude::embedded::prelude_image);
        rt.heap.set_stress(stress_setting());
        entry_point_prepare(rt);
        if (argc < 2) {
            rt.out.line(std::string("usage: ") + (argc > 0 ? argv[0] : "velune") + " file.lisp");
            rt.out.flush();
            return exit_status::clean;
        }
        do_file(rt, argv[1], rt.global);
        rt.out.flush();
        return exit_status::clean;
    } catch (const LispError& e) {
        // Reported on standard output by the run it came from; standard error says where.
        rt.out.flush();
        diagnostic(at_failed_form(rt) + "error: " + one_line(e.message));
        return exit_status::language_error;
    } catch (const unreadable_file& e) {
        rt.out.flush();
        diagnostic("cannot read " + e.path + ": " + std::strerror(e.error));
        return exit_status::unreadable_file;
    } catch (const SyntaxError& e) {
        rt.out.flush();
        diagnostic(syntax_error_diagnostic(rt, e));
        return exit_status::syntax_error;
    } catch (const std::bad_alloc&) {
        rt.out.flush();
        diagnostic(at_failed_form(rt) + "internal error: out of memory (values and frames may take " +
                   std::to_string(rt.memory.limit >> 20) + " MiB here; a recursion without end reaches that)");
        return exit_status::internal_failure;
    } catch (const HostFailure& e) {
        rt.out.flush();
        diagnostic(at_failed_form(rt) + "internal error: " + one_line(e.what()));
        return exit_status::internal_failure;
    } catch (const std::exception& e) {
        rt.out.flush();
        diagnostic(at_failed_form(rt) + "internal error: the C++ library raised " + current_exception_type() + ": " +
                   one_line(e.what()));
        return exit_status::internal_failure;
    } catch (...) {
        rt.out.flush();
        diagnostic(at_failed_form(rt) + "internal error: an exception of type " + current_exception_type() +
                   " left the run");
        return exit_status::internal_failure;
    }
}

// The run is over: the process ends here, without destroying the heap object by object.
[[noreturn]] void entry_point(int argc, char** argv) {
    Runtime rt;
    const int status = run_program(rt, argc, argv);
    rt.out.flush();
    std::_Exit(status);
}

}  // namespace
}  // namespace velune

namespace {

// A standard descriptor that is closed gets /dev/null opened read-only in its place: a file
// the program opens can then never take the number and receive output or diagnostics, and
// writing standard output still fails (EBADF) as on the closed descriptor.
void hold_standard_descriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int held = ::open("/dev/null", O_RDONLY);
        if (held >= 0 && held != fd) {
            ::dup2(held, fd);
            ::close(held);
        }
    }
}

// The host stack: a soft limit below 8 MiB is raised towards it as far as the hard limit
// allows (the main thread's stack grows up to the limit in force when it grows). Below 1 MiB
// not even a short program could run safely, so the run is refused instead of crashing.
bool enough_stack() {
    constexpr rlim_t wanted = 8u << 20;
    constexpr rlim_t needed = 1u << 20;
    rlimit limit{};
    if (::getrlimit(RLIMIT_STACK, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return true;
    if (limit.rlim_cur < wanted) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : std::min(limit.rlim_max, wanted);
        if (raised.rlim_cur > limit.rlim_cur && ::setrlimit(RLIMIT_STACK, &raised) == 0) limit = raised;
    }
    if (limit.rlim_cur >= needed) return true;
    velune::diagnostic("internal error: the stack limit of " + std::to_string(limit.rlim_cur >> 10) +
                       " KiB is too small to run a program (it needs 1024 KiB; see ulimit -s)");
    return false;
}

// Without a data limit, text that doubles without end would grow until the kernel kills the
// process; with the machine's (or the cgroup's) memory as the limit, the allocation past it
// fails and the run ends as out of memory. Not under the sanitizers, whose shadow memory is
// already mapped.
void limit_data_to_memory() {
#if !defined(__SANITIZE_ADDRESS__) && !defined(VELUNE_FUZZING)
    rlimit limit{};
    if (::getrlimit(RLIMIT_DATA, &limit) != 0 || limit.rlim_cur != RLIM_INFINITY) return;
    rlim_t memory = static_cast<rlim_t>(::sysconf(_SC_PHYS_PAGES)) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE));
    if (std::FILE* cgroup = std::fopen("/sys/fs/cgroup/memory.max", "r")) {
        unsigned long long cap = 0;
        if (std::fscanf(cgroup, "%llu", &cap) == 1 && cap > 0) memory = std::min<rlim_t>(memory, cap);
        std::fclose(cgroup);
    }
    if (memory == 0) return;
    limit.rlim_cur = memory;
    ::setrlimit(RLIMIT_DATA, &limit);
#endif
}

}  // namespace

int main(int argc, char** argv) {
    limit_data_to_memory();
    hold_standard_descriptors();
    if (!enough_stack()) return velune::exit_status::internal_failure;
    // A closed pipe or a file-size limit must end in a reported write failure, not a death
    // by signal.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        velune::entry_point(argc, argv);
    } catch (...) {
        // Only setting up the runtime itself can get here.
        velune::diagnostic("internal error: setting up the runtime raised " + velune::current_exception_type());
        return velune::exit_status::internal_failure;
    }
}
