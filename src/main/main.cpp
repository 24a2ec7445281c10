// The entry point: start-up, the command line, running a file, the exit status.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "interpreter/interpreter.h"
#include "prelude/prelude.h"
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
    return do_string(rt, text, env);
}

int stress_setting() {
    const char* setting = std::getenv("VELUNE_GC_STRESS");
    if (setting == nullptr || *setting == '\0') return 0;
    const int every = std::atoi(setting);
    return every > 0 ? every : 0;
}

int run_program(Runtime& rt, int argc, char** argv) {
    try {
        const char* fast = std::getenv("VELUNE_FAST_PATHS");
        rt.fast_paths = fast == nullptr || std::strcmp(fast, "off") != 0;
        prelude::establish(rt);
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
    } catch (const LispError&) {
        // Already reported by the run it came from.
        rt.out.flush();
        return exit_status::language_error;
    } catch (const unreadable_file& e) {
        rt.out.flush();
        std::fprintf(stderr, "velune: cannot read %s: %s\n", e.path.c_str(), std::strerror(e.error));
        return exit_status::unreadable_file;
    } catch (const SyntaxError& e) {
        rt.out.flush();
        std::fprintf(stderr, "velune: syntax error: %s\n", e.what());
        return exit_status::syntax_error;
    } catch (const std::bad_alloc&) {
        rt.out.flush();
        std::fprintf(stderr,
                     "velune: internal error: out of memory (values and frames may take %zu MiB here; a "
                     "recursion without end reaches that)\n",
                     rt.memory.limit >> 20);
        return exit_status::internal_failure;
    } catch (const std::exception& e) {
        rt.out.flush();
        std::fprintf(stderr, "velune: internal error: %s\n", e.what());
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

int main(int argc, char** argv) {
    // A closed pipe or a file-size limit must end in a reported write failure, not a death
    // by signal.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        velune::entry_point(argc, argv);
    } catch (...) {
        std::fprintf(stderr, "velune: internal error: unexpected failure\n");
        return velune::exit_status::internal_failure;
    }
}
