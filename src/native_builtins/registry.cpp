// The binding table: one row per global binding, in the order the global environment
// binds them (programs can observe it by printing the environment).
#include "native_builtins/native_builtins.h"
#include "natives/natives.h"

namespace velune {

namespace {
using m = exec_mode;
constexpr builtin_row rows[] = {
    {"to-string", m::function, native_to_string, nullptr},
    {"repr", m::function, native_represent, nullptr},
    {"read", m::function, native_read, nullptr},
    {"load", m::function, nullptr, make_load_file},
    {"eval", m::function, nullptr, make_eval_inline},
    {"get-closure", m::function, get_closure, nullptr},
    {"get-doc", m::function, get_doc, nullptr},
    {"set-doc", m::function, set_doc, nullptr},
    {"get-metadata", m::function, get_metadata, nullptr},
    {"set-metadata", m::function, set_metadata, nullptr},
    {"get-type", m::function, get_type, nullptr},
    {"macroexpand", m::function, macroexpand, nullptr},
    {"with-exec-mode", m::function, function_constructor, nullptr},
    {"gensym", m::function, gen_symbol, nullptr},
    {"get-attr", m::function, get_attr, nullptr},
    {"set-attr", m::function, set_attr, nullptr, fast_set_attr},
    {"make-class", m::no_eval, nullptr, make_class_constructor},
    {"make-instance", m::function, make_instance, nullptr, fast_make_instance},
    {"is-subclass", m::function, is_subclass, nullptr},
    {"get-class-owned-attributes", m::function, get_owned_attributes, nullptr},
    {"get-all-class-attributes", m::function, get_all_attributes, nullptr},
    {"get-class-env", m::function, get_class_env, nullptr},
    {"for", m::no_eval, nullptr, make_for_loop},
    {"if", m::no_eval, nullptr, make_if_block},
    {"error", m::function, error, nullptr},
    {"quote", m::no_expand, quote, nullptr},
    {"quasiquote", m::no_expand, nullptr, make_quasiquote},
    {"not", m::function, logical_not, nullptr},
    {"and", m::no_eval, nullptr, make_and_operator},
    {"or", m::no_eval, nullptr, make_or_operator},
    {"set-symbol", m::function, set_symbol, nullptr},
    {"unset", m::no_eval, unset_var, nullptr},
    {"define", m::no_eval, nullptr, make_define},
    {"fn", m::no_eval, lambda_constructor, nullptr},
    {"apply", m::function, nullptr, make_apply},
    {"print", m::function, print_value, nullptr},
    {"write-file", m::function, write_file, nullptr},
    {"read-file", m::function, read_file, nullptr},
    {"append-file", m::function, append_file, nullptr},
    {"<", m::function, lesser_than, nullptr, fast_lesser_than},
    {">", m::function, greater_than, nullptr, fast_greater_than},
    {"<=", m::function, lesser_or_equal, nullptr, fast_lesser_or_equal},
    {">=", m::function, greater_or_equal, nullptr, fast_greater_or_equal},
    {"=", m::function, equal, nullptr, fast_equal},
    {"+", m::function, add, nullptr, fast_add},
    {"-", m::function, substract, nullptr, fast_substract},
    {"*", m::function, multiply, nullptr},
    {"car", m::function, car, nullptr, fast_car},
    {"cdr", m::function, cdr, nullptr, fast_cdr},
    {"cons", m::function, cons, nullptr, fast_cons},
    {"list", m::function, list_constructor, nullptr, fast_list},
    {"get-key", m::function, get_key, nullptr, fast_get_key},
    {"set-key", m::function, set_key, nullptr, fast_set_key},
    {"has-key", m::function, has_key, nullptr, fast_has_key},
    {"dict", m::function, hashtable_constructor, nullptr},
    {"list-keys", m::function, list_keys, nullptr},
    {"split", m::function, string_split, nullptr},
    {"join", m::function, string_join, nullptr, fast_join},
    {"substring", m::function, substring, nullptr},
    {"strip", m::function, string_split_1, nullptr},
    {"string-contains", m::function, string_contains, nullptr},
    {"string-length", m::function, string_length, nullptr},
    {"string->symbol", m::function, string_to_symbol, nullptr},
    {"string-at", m::function, string_at, nullptr},
    {"string-concat", m::function, string_concat, nullptr},
};
}  // namespace

std::span<const builtin_row> builtin_table() { return rows; }

void install_builtins(Runtime& rt) {
    for (const builtin_row& row : rows) {
        value* implementation = nullptr;
        if (row.entry != nullptr) {
            auto* native = rt.heap.make<nativefunc>(rt, row.name, row.entry);
            if (rt.fast_paths) native->fast = row.fast;
            implementation = native;
        } else {
            implementation = rt.heap.make<resumable_native>(rt, row.name, row.make);
        }
        rt.global->bind_name(rt.names.intern(row.name), rt.heap.make<function>(rt, row.mode, implementation));
        if (row.make == make_if_block) rt.if_form = implementation;
        if (row.entry == quote) rt.quote_form = implementation;
        if (row.entry == lambda_constructor) rt.fn_form = implementation;
        if (row.entry == set_symbol) rt.set_symbol_form = implementation;
    }
    QuasiquoteNatives& q = rt.quasiquote_natives;
    q.element = rt.heap.make<resumable_native>(rt, "quasiquote", make_quasiquote);
    q.unquote = rt.heap.make<resumable_native>(rt, "unquote", make_unquote);
    q.unquote_splicing = rt.heap.make<resumable_native>(rt, "unquote-splicing", make_unquote_splicing);
    rt.keep_forever(q.element);
    rt.keep_forever(q.unquote);
    rt.keep_forever(q.unquote_splicing);
}

}  // namespace velune
