// The twelve special forms (resumable builtins): one factory each for the binding table.
#pragma once

#include <memory>

#include "interpreter/interpreter.h"

namespace velune {

builtin_ptr make_if_block(SlabPool& pool);
builtin_ptr make_and_operator(SlabPool& pool);
builtin_ptr make_or_operator(SlabPool& pool);
builtin_ptr make_define(SlabPool& pool);
builtin_ptr make_apply(SlabPool& pool);
builtin_ptr make_for_loop(SlabPool& pool);
builtin_ptr make_quasiquote(SlabPool& pool);
builtin_ptr make_unquote(SlabPool& pool);
builtin_ptr make_unquote_splicing(SlabPool& pool);
builtin_ptr make_class_constructor(SlabPool& pool);
builtin_ptr make_load_file(SlabPool& pool);
builtin_ptr make_eval_inline(SlabPool& pool);

}  // namespace velune
