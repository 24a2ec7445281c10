// The twelve special forms (resumable builtins): one factory each for the binding table.
#pragma once

#include <memory>

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

}  // namespace velune
