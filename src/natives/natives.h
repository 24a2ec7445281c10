// One-step built-ins: the argument helper every native uses, and the native routines under
// their own names. The binding table that names them is native_builtins.h's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "interpreter/interpreter.h"

namespace velune {

// The evaluated (or as-written) argument list of one native call, read once.
// Misuse without a message of its own becomes one uniform LispError naming the native:
// "(car): expects 1 argument, got 0", "(car): expects a cell as argument 1, got nil".
class arg_list {
public:
    arg_list(Runtime& rt, value* arguments, std::string_view name);

    std::size_t size() const { return count; }
    void expect_exactly(std::size_t n) const;
    void expect_at_least(std::size_t n) const;

    // Present, of any kind.
    value* any(std::size_t i) const { return i < count && i < stored ? items[i] : missing(i); }
    std::int64_t integer(std::size_t i) const;
    velune::string* string(std::size_t i) const;
    const std::string& text(std::size_t i) const { return string(i)->text; }
    velune::cell* cell(std::size_t i) const;
    velune::hashtable* dictionary(std::size_t i) const;
    velune::function* function(std::size_t i) const;
    velune::named_symbol* named_symbol(std::size_t i) const;
    value* symbol(std::size_t i) const;  // named or generated
    velune::Class* Class(std::size_t i) const;
    velune::instance* instance(std::size_t i) const;
    velune::environment* environment(std::size_t i) const;

    // The raw list, for natives that walk every argument.
    value* list() const { return arguments; }
    [[noreturn]] void wrong_kind(std::size_t i, std::string_view expected) const;

private:
    [[noreturn]] value* missing(std::size_t i) const;  // any() past what it has
    static constexpr std::size_t stored = 4;  // no native reads more positions
    Runtime& rt;
    value* arguments;
    std::string_view name;
    value* items[stored] = {};
    std::size_t count = 0;
};

// LispError "(NAME): expects a proper list of arguments, got ..." unless `list` is proper.
void require_proper_list(const Runtime& rt, value* list, std::string_view name);

// Path helpers of load: the part after the last slash, and the part before it.
std::string my_basename(std::string_view path);
std::string my_dirname(std::string_view path);

// ---- core (core.cpp) ----
value* native_to_string(Interpreter&, environment*, value*);
value* native_represent(Interpreter&, environment*, value*);
value* native_read(Interpreter&, environment*, value*);
value* get_closure(Interpreter&, environment*, value*);
value* get_doc(Interpreter&, environment*, value*);
value* set_doc(Interpreter&, environment*, value*);
value* get_metadata(Interpreter&, environment*, value*);
value* set_metadata(Interpreter&, environment*, value*);
value* get_type(Interpreter&, environment*, value*);
value* macroexpand(Interpreter&, environment*, value*);
value* function_constructor(Interpreter&, environment*, value*);
value* gen_symbol(Interpreter&, environment*, value*);
value* error(Interpreter&, environment*, value*);
value* quote(Interpreter&, environment*, value*);
value* logical_not(Interpreter&, environment*, value*);
value* set_symbol(Interpreter&, environment*, value*);
value* unset_var(Interpreter&, environment*, value*);
value* lambda_constructor(Interpreter&, environment*, value*);
value* print_value(Interpreter&, environment*, value*);
value* list_constructor(Interpreter&, environment*, value*);

// ---- arithmetic, comparison, equality (arith.cpp) ----
value* lesser_than(Interpreter&, environment*, value*);
value* greater_than(Interpreter&, environment*, value*);
value* lesser_or_equal(Interpreter&, environment*, value*);
value* greater_or_equal(Interpreter&, environment*, value*);
value* equal(Interpreter&, environment*, value*);
value* add(Interpreter&, environment*, value*);
value* substract(Interpreter&, environment*, value*);
value* multiply(Interpreter&, environment*, value*);
// Fast paths over two integer arguments (any two values for `=`).
value* fast_lesser_than(Runtime&, value* const*, std::size_t);
value* fast_greater_than(Runtime&, value* const*, std::size_t);
value* fast_lesser_or_equal(Runtime&, value* const*, std::size_t);
value* fast_greater_or_equal(Runtime&, value* const*, std::size_t);
value* fast_equal(Runtime&, value* const*, std::size_t);
value* fast_add(Runtime&, value* const*, std::size_t);
value* fast_substract(Runtime&, value* const*, std::size_t);
// Structural equality of `=`; LispError for classes it does not cover.
bool values_equal(const Runtime& rt, value* a, value* b);

// ---- lists, dictionaries, strings (lists.cpp) ----
value* car(Interpreter&, environment*, value*);
value* cdr(Interpreter&, environment*, value*);
value* cons(Interpreter&, environment*, value*);
value* fast_car(Runtime&, value* const*, std::size_t);
value* fast_cdr(Runtime&, value* const*, std::size_t);
value* fast_cons(Runtime&, value* const*, std::size_t);
value* fast_list(Runtime&, value* const*, std::size_t);
value* get_key(Interpreter&, environment*, value*);
value* set_key(Interpreter&, environment*, value*);
value* has_key(Interpreter&, environment*, value*);
value* fast_get_key(Runtime&, value* const*, std::size_t);
value* fast_set_key(Runtime&, value* const*, std::size_t);
value* fast_has_key(Runtime&, value* const*, std::size_t);
value* hashtable_constructor(Interpreter&, environment*, value*);
value* list_keys(Interpreter&, environment*, value*);
value* string_split(Interpreter&, environment*, value*);
value* string_join(Interpreter&, environment*, value*);
value* fast_join(Runtime&, value* const*, std::size_t);
value* substring(Interpreter&, environment*, value*);
value* string_split_1(Interpreter&, environment*, value*);
value* string_contains(Interpreter&, environment*, value*);
value* string_length(Interpreter&, environment*, value*);
value* string_to_symbol(Interpreter&, environment*, value*);
value* string_at(Interpreter&, environment*, value*);
value* string_concat(Interpreter&, environment*, value*);

// ---- files (files.cpp) ----
// A LispError for a path that leaves the working directory, when rt.confine_files is set.
void check_confined_path(const Runtime& rt, std::string_view native, const std::string& path);
value* write_file(Interpreter&, environment*, value*);
value* read_file(Interpreter&, environment*, value*);
value* append_file(Interpreter&, environment*, value*);

// ---- object system (objects.cpp) ----
value* get_attr(Interpreter&, environment*, value*);
value* set_attr(Interpreter&, environment*, value*);
value* make_instance(Interpreter&, environment*, value*);
value* fast_set_attr(Runtime&, value* const*, std::size_t);
value* fast_make_instance(Runtime&, value* const*, std::size_t);
value* is_subclass(Interpreter&, environment*, value*);
// What is-subclass answers: b is a, or an ancestor of a along the parents.
bool subclass_of(value* a, value* b);
value* get_owned_attributes(Interpreter&, environment*, value*);
value* get_all_attributes(Interpreter&, environment*, value*);
value* get_class_env(Interpreter&, environment*, value*);

}  // namespace velune
