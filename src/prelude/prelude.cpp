// The start-up sequence: types and unique values, natives and special forms, then the
// Velune libraries, each run like a loaded file so that a failure names it in its trace.
#include "prelude/prelude.h"

#include <stdexcept>
#include <string>

#include "interpreter/interpreter.h"
#include "native_builtins/native_builtins.h"
#include "prelude/fast_paths.h"
#include "prelude/image.h"
#include "prelude/classes_lisp.h"
#include "prelude/core_lisp.h"
#include "prelude/generics_lisp.h"
#include "prelude/nginx_lisp.h"
#include "prelude/workflow_lisp.h"

namespace velune::prelude {

namespace {

struct library {
    std::string_view name;
    std::string_view source;
};

// In load order: each library uses only what the ones before it define.
constexpr library libraries[] = {
    {embedded::core_lisp_name, embedded::core_lisp},
    {embedded::generics_lisp_name, embedded::generics_lisp},
    {embedded::classes_lisp_name, embedded::classes_lisp},
    {embedded::workflow_lisp_name, embedded::workflow_lisp},
    {embedded::nginx_lisp_name, embedded::nginx_lisp},
};


void evaluate_libraries(Runtime& rt) {
    for (const library& lib : libraries) {
        try {
            load_new(rt, rt.global, std::string(lib.source), std::string(lib.name));
        } catch (const LispError& e) {
            // The report with its trace is already out; the program cannot start without it.
            throw std::runtime_error("the standard library " + std::string(lib.name) +
                                     " failed to load: " + e.message);
        } catch (const SyntaxError& e) {
            throw std::runtime_error("the standard library " + std::string(lib.name) + " cannot be read at " +
                                     std::to_string(e.where.line) + ":" + std::to_string(e.where.column) + ": " +
                                     e.what());
        }
    }
}

}  // namespace

void establish(Runtime& rt, mode m, std::string_view image) {
    install_values(rt);
    install_builtins(rt);
    if (m == mode::skip) return;
    const bool restored = m == mode::load && !image.empty() && rt.fast_paths;
    if (restored) {
        // Everything restored is reachable; only a few built-in function values are not.
        restore_image(rt, image);
        rt.heap.freeze(Heap::sweep::skip);
    } else {
        evaluate_libraries(rt);
        rt.heap.freeze();
    }
    if (rt.fast_paths) install_fast_paths(rt, restored);
}

}  // namespace velune::prelude
