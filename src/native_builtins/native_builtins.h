// The twelve special forms (resumable builtins), one factory each, and the binding table
// of every built-in: it names the natives too, so it lives here, above both.
#pragma once

#include <memory>
#include <span>

#include "interpreter/interpreter.h"

namespace velune {

builtin_ptr make_if_block(StackArena& arena);
builtin_ptr make_and_operator(StackArena& arena);
builtin_ptr make_or_operator(StackArena& arena);
builtin_ptr make_define(StackArena& arena);
builtin_ptr make_apply(StackArena& arena);
builtin_ptr make_for_loop(StackArena& arena);
builtin_ptr make_quasiquote(StackArena& arena);
builtin_ptr make_unquote(StackArena& arena);
builtin_ptr make_unquote_splicing(StackArena& arena);
builtin_ptr make_class_constructor(StackArena& arena);
builtin_ptr make_load_file(StackArena& arena);
builtin_ptr make_eval_inline(StackArena& arena);

// One row per global binding, in binding order: a native (entry) or a special form (make).
struct builtin_row {
    const char* name;
    velune::exec_mode mode;
    native_entry entry;
    builtin_factory make;
    fast_path fast = nullptr;  // natives only; taken only while rt.fast_paths holds
};
std::span<const builtin_row> builtin_table();

// Binds every row of the table in the global environment, in order, and makes the
// quasiquote sub-computation natives. install_values must have run.
void install_builtins(Runtime& rt);

}  // namespace velune
