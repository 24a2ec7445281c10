// arg_list: reads a native's argument list once and raises the uniform misuse errors.
#include "natives/natives.h"
#include "runtime/format.h"
#include "value/printer.h"

namespace velune {

namespace {
std::string count_text(std::size_t n) {
    return format_integer(static_cast<std::int64_t>(n)) + (n == 1 ? " argument" : " arguments");
}
}  // namespace

void require_proper_list(const Runtime& rt, value* list, std::string_view name) {
    if (!is_list(list)) {
        throw LispError{"(" + std::string(name) + "): expects a proper list of arguments, got " + describe(rt, list)};
    }
}

arg_list::arg_list(Runtime& rt, value* arguments, std::string_view name) : rt(rt), arguments(arguments), name(name) {
    value* rest = arguments;
    for (; is<velune::cell>(rest); rest = as<velune::cell>(rest)->cdr) {
        if (count < stored) items[count] = as<velune::cell>(rest)->car;
        ++count;
    }
    if (rest != rt.nil) require_proper_list(rt, arguments, name);
}

void arg_list::expect_exactly(std::size_t n) const {
    if (count != n) {
        throw LispError{"(" + std::string(name) + "): expects " + count_text(n) + ", got " +
                        format_integer(static_cast<std::int64_t>(count))};
    }
}

void arg_list::expect_at_least(std::size_t n) const {
    if (count < n) {
        throw LispError{"(" + std::string(name) + "): expects at least " + count_text(n) + ", got " +
                        format_integer(static_cast<std::int64_t>(count))};
    }
}

value* arg_list::missing(std::size_t i) const {
    if (i >= stored) {
        internal_failure("arg_list: (" + std::string(name) + ") reads argument " +
                         format_integer(static_cast<std::int64_t>(i + 1)) + ", past the " +
                         format_integer(static_cast<std::int64_t>(stored)) + " it keeps");
    }
    expect_at_least(i + 1);
    internal_failure("arg_list: expect_at_least passed a missing argument");
}

void arg_list::wrong_kind(std::size_t i, std::string_view expected) const {
    throw LispError{"(" + std::string(name) + "): expects " + std::string(expected) + " as argument " +
                    format_integer(static_cast<std::int64_t>(i + 1)) + ", got " + describe(rt, items[i])};
}

namespace {
template <class T> T* typed(const arg_list& args, std::size_t i, std::string_view expected) {
    value* v = args.any(i);
    if (!is<T>(v)) args.wrong_kind(i, expected);
    return as<T>(v);
}
}  // namespace

std::int64_t arg_list::integer(std::size_t i) const { return typed<velune::integer>(*this, i, "an integer")->int_value; }
velune::string* arg_list::string(std::size_t i) const { return typed<velune::string>(*this, i, "a string"); }
velune::cell* arg_list::cell(std::size_t i) const { return typed<velune::cell>(*this, i, "a cell"); }
velune::hashtable* arg_list::dictionary(std::size_t i) const {
    return typed<velune::hashtable>(*this, i, "a dictionary");
}
velune::function* arg_list::function(std::size_t i) const { return typed<velune::function>(*this, i, "a function"); }
velune::named_symbol* arg_list::named_symbol(std::size_t i) const {
    return typed<velune::named_symbol>(*this, i, "a named symbol");
}
value* arg_list::symbol(std::size_t i) const {
    value* v = any(i);
    if (!is_symbol(v)) wrong_kind(i, "a symbol");
    return v;
}
velune::Class* arg_list::Class(std::size_t i) const { return typed<velune::Class>(*this, i, "a class"); }
velune::instance* arg_list::instance(std::size_t i) const { return typed<velune::instance>(*this, i, "an instance"); }
velune::environment* arg_list::environment(std::size_t i) const {
    return typed<velune::environment>(*this, i, "an environment");
}

}  // namespace velune
