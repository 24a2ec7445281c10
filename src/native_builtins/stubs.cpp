// Placeholder until the special forms land.
#include "native_builtins/native_builtins.h"

namespace velune {

std::unique_ptr<resumable_builtin> make_if_block() { throw LispError{"if_block: not implemented yet"}; }
std::unique_ptr<resumable_builtin> make_and_operator() { throw LispError{"and_operator: not implemented yet"}; }
std::unique_ptr<resumable_builtin> make_or_operator() { throw LispError{"or_operator: not implemented yet"}; }
std::unique_ptr<resumable_builtin> make_define() { throw LispError{"define: not implemented yet"}; }
std::unique_ptr<resumable_builtin> make_apply() { throw LispError{"apply: not implemented yet"}; }
std::unique_ptr<resumable_builtin> make_for_loop() { throw LispError{"for_loop: not implemented yet"}; }
std::unique_ptr<resumable_builtin> make_quasiquote() { throw LispError{"quasiquote: not implemented yet"}; }
std::unique_ptr<resumable_builtin> make_unquote() { throw LispError{"unquote: not implemented yet"}; }
std::unique_ptr<resumable_builtin> make_unquote_splicing() { throw LispError{"unquote_splicing: not implemented yet"}; }
std::unique_ptr<resumable_builtin> make_class_constructor() { throw LispError{"class_constructor: not implemented yet"}; }
std::unique_ptr<resumable_builtin> make_load_file() { throw LispError{"load_file: not implemented yet"}; }
std::unique_ptr<resumable_builtin> make_eval_inline() { throw LispError{"eval_inline: not implemented yet"}; }

}  // namespace velune
