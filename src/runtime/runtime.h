// The state of one interpreter process: heap, names, output, the permanent values and
// the global environment. Nothing lives in mutable globals, so tests make as many as they like.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/heap.h"
#include "runtime/names.h"
#include "runtime/output.h"

namespace velune {

struct value;
struct compiled_body;
struct environment;
struct Type;
struct lispfunc;
struct chosen_method;

// A non-language failure: reported by each nested run with its internal header, then the
// process ends with the internal-failure status.
struct HostFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The run took more steps than Runtime::step_limit allows (the fuzz targets set one, so a
// program that loops without end finishes).
struct StepLimitReached : HostFailure {
    StepLimitReached() : HostFailure("the step limit was reached") {}
};

// A place in a source text for the diagnostics on standard error. Lines count from 1;
// columns are bytes from 1, 0 where only the line is given.
struct source_location {
    std::string file;  // empty when the text is not a file's
    std::int64_t line = 0;
    std::int64_t column = 0;
};

// "main.lisp:12:3", "main.lisp:40", or "" when nothing is known.
std::string format_location(const source_location& where);

// The reader has already printed its message (if any); the process ends with the
// syntax-error status.
struct SyntaxError : HostFailure {
    // `line` and `column`: where the offending expression began (for an unclosed list,
    // where it was opened).
    SyntaxError(const std::string& message, std::int64_t line, std::int64_t column)
        : HostFailure(message), where{{}, line, column} {}
    source_location where;  // the run that knows the text's file names it
    bool in_read = false;   // the text was a string given to the `read` native
};

// The documented exit statuses.
namespace exit_status {
inline constexpr int clean = 0;
inline constexpr int language_error = 1;
inline constexpr int syntax_error = 2;
inline constexpr int internal_failure = 3;
inline constexpr int unreadable_file = 4;
inline constexpr int output_failure = 5;
}  // namespace exit_status

// Writes "velune: " + text as one line on standard error.
void diagnostic(std::string_view text);

// A broken invariant: one line on standard error and the process ends at once.
[[noreturn]] void internal_failure(std::string_view what);

// Host recursion that remains (nested runs, printing dictionaries, reading nested lists)
// checks the real stack depth instead of counting levels.
class StackGuard {
public:
    StackGuard();
    bool exhausted() const;
    // Throws HostFailure naming `what` when the host stack is nearly used up.
    void check(const char* what) const {
        if (exhausted()) fail(what);
    }

private:
    const char* base;
    std::size_t limit;
    [[noreturn]] static void fail(const char* what);
};

struct Types {
    Type* type = nullptr;
    Type* integer = nullptr;
    Type* string = nullptr;
    Type* dictionary = nullptr;
    Type* environment = nullptr;
    Type* unique = nullptr;
    Type* symbol = nullptr;
    Type* cell = nullptr;
    Type* function = nullptr;
    Type* Class = nullptr;
    Type* floating = nullptr;
    Type* native_function = nullptr;
    Type* lisp_function = nullptr;
    Type* resumable_native = nullptr;
};

// Names the interpreter itself compares against.
struct KnownNames {
    const Name* current_scope = nullptr;
    const Name* parent_scope = nullptr;
    const Name* quote = nullptr;
    const Name* quasiquote = nullptr;
    const Name* unquote = nullptr;
    const Name* unquote_splicing = nullptr;
    const Name* dot = nullptr;
    const Name* to_string = nullptr;
};

// The resumable natives quasiquote uses for its own sub-computations.
struct QuasiquoteNatives {
    value* element = nullptr;
    value* unquote = nullptr;
    value* unquote_splicing = nullptr;
};

// What the diagnostics on standard error need, gathered off the evaluation paths.
struct DiagnosticState {
    // The files whose LoadFrame runs, innermost last, named from the starting directory.
    std::vector<std::string> loading;
    // The top-level form a failure left, recorded as it leaves do_string.
    source_location failed_form;
    // Where the last top-level read stopped at a `)` that no list waited for (line 0: it
    // stopped at the end of the text).
    source_location unmatched_close;
};

class Runtime final : public root_source {
public:
    // Makes the heap, names and output only; install_values (value.h) makes the values.
    explicit Runtime(int output_fd = 1);
    ~Runtime() override;
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    MemoryBudget memory;  // three quarters of what the machine, its limits and cgroup allow
    Heap heap;
    StackArena frame_stack;  // the interpreters' frames, which live and die in stack order
    NameTable names;
    OutputBuffer out;
    StackGuard stack;
    Types types;
    KnownNames known;
    QuasiquoteNatives quasiquote_natives;
    // Natives take their fast paths (VELUNE_FAST_PATHS=off clears it, to compare both ways).
    bool fast_paths = true;
    // Frame steps allowed over the whole run, 0 for no limit, and those taken so far.
    std::uint64_t step_limit = 0;
    std::uint64_t steps = 0;
    // File natives and load refuse absolute paths and ".." (the fuzz targets' scratch directory).
    bool confine_files = false;
    // The implementation of the global if, which evaluation runs without frames of its own.
    value* if_form = nullptr;
    // The implementation of the global quote, which evaluation answers without a frame.
    value* quote_form = nullptr;
    // The implementation of the global fn: a form that applies one where it is written runs
    // the body without making the function.
    value* fn_form = nullptr;
    // The implementation of the global set-symbol, whose `(set-symbol (quote name) x)` a
    // body runs without a frame of its own.
    value* set_symbol_form = nullptr;
    // What the standard library's fast paths remember of the state they mirror.
    std::shared_ptr<void> library_state;
    // Bodies read into nodes, by their list: every function that `fn` makes from the same
    // form shares one reading (interpreter/compiled.h).
    std::unordered_map<const value*, std::weak_ptr<const compiled_body>> compiled_bodies;
    std::size_t compiled_prune_at = 1024;
    // Set with the library's fast paths: picks the method for a call of a generic function
    // with `count` argument values (at most `chosen_method::most_arguments`, and as many as
    // its parameters), or declines with false before anything observable happens; and marks
    // a new Velune function that defgeneric made (`lispfunc::dispatches`).
    bool (*choose_method)(Runtime&, const lispfunc*, value* const* arguments, std::size_t count, chosen_method&) = nullptr;
    void (*classify_function)(Runtime&, lispfunc*) = nullptr;
    DiagnosticState diagnostics;
    value* nil = nullptr;
    value* true_value = nullptr;
    value* false_value = nullptr;
    environment* global = nullptr;
    struct {
        std::int64_t counter = 0;
    } num_symbol_generator;

    value* boolean(bool b) const { return b ? true_value : false_value; }
    // Values that live for the whole run: types, uniques, the global environment...
    void keep_forever(gc_object* o) { permanent.push_back(o); }
    void trace_roots(Tracer& t) const override { t.visit_all(permanent); }

private:
    std::vector<gc_object*> permanent;
};

}  // namespace velune
