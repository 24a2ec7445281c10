// The twelve special forms (resumable builtins): one factory each for the binding table.
#pragma once

#include <memory>

#include "interpreter/interpreter.h"

namespace velune {

std::unique_ptr<resumable_builtin> make_if_block();
std::unique_ptr<resumable_builtin> make_and_operator();
std::unique_ptr<resumable_builtin> make_or_operator();
std::unique_ptr<resumable_builtin> make_define();
std::unique_ptr<resumable_builtin> make_apply();
std::unique_ptr<resumable_builtin> make_for_loop();
std::unique_ptr<resumable_builtin> make_quasiquote();
std::unique_ptr<resumable_builtin> make_unquote();
std::unique_ptr<resumable_builtin> make_unquote_splicing();
std::unique_ptr<resumable_builtin> make_class_constructor();
std::unique_ptr<resumable_builtin> make_load_file();
std::unique_ptr<resumable_builtin> make_eval_inline();

}  // namespace velune
