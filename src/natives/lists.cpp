// Cells, dictionaries and byte strings.
#include <algorithm>

#include "natives/natives.h"
#include "runtime/format.h"
#include "value/printer.h"

namespace velune {

value* car(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "car");
    return args.cell(0)->car;
}

value* cdr(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "cdr");
    return args.cell(0)->cdr;
}

value* cons(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "cons");
    return cons(in.rt, args.any(0), args.any(1));
}

value* fast_car(Runtime&, value* const* a, std::size_t count) {
    return count == 1 && is<cell>(a[0]) ? as<cell>(a[0])->car : nullptr;
}

value* fast_cdr(Runtime&, value* const* a, std::size_t count) {
    return count == 1 && is<cell>(a[0]) ? as<cell>(a[0])->cdr : nullptr;
}

value* fast_cons(Runtime& rt, value* const* a, std::size_t count) { return count == 2 ? cons(rt, a[0], a[1]) : nullptr; }

// The values in a fresh list, as the native returns its fresh argument list.
value* fast_list(Runtime& rt, value* const* a, std::size_t count) { return make_list(rt, a, count); }

value* get_key(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "get-key");
    hashtable* dictionary = args.dictionary(0);
    return hashtable_getkey(dictionary, args.string(1));
}

value* set_key(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "set-key");
    hashtable* dictionary = args.dictionary(0);
    velune::string* key = args.string(1);
    hashtable_setkey(dictionary, key, args.any(2));
    return in.rt.nil;
}

value* has_key(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "has-key");
    hashtable* dictionary = args.dictionary(0);
    return in.rt.boolean(hashtable_haskey(dictionary, args.string(1)));
}

// The same on a dictionary and a string key, when nothing can fail.
value* fast_get_key(Runtime&, value* const* a, std::size_t count) {
    if (count != 2 || !is<hashtable>(a[0]) || !is<string>(a[1])) return nullptr;
    value** slot = as<hashtable>(a[0])->table.find(as<string>(a[1])->text);
    return slot != nullptr ? *slot : nullptr;  // a missing key is the native's error
}

value* fast_set_key(Runtime& rt, value* const* a, std::size_t count) {
    if (count != 3 || !is<hashtable>(a[0]) || !is<string>(a[1])) return nullptr;
    hashtable_setkey(as<hashtable>(a[0]), a[1], a[2]);
    return rt.nil;
}

value* fast_has_key(Runtime& rt, value* const* a, std::size_t count) {
    if (count != 2 || !is<hashtable>(a[0]) || !is<string>(a[1])) return nullptr;
    return rt.boolean(hashtable_haskey(as<hashtable>(a[0]), a[1]));
}

value* hashtable_constructor(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "dict");
    args.expect_exactly(0);
    return in.rt.heap.make<hashtable>(in.rt);
}

value* list_keys(Interpreter& in, environment*, value* arguments) {
    Runtime& rt = in.rt;
    arg_list args(rt, arguments, "list-keys");
    args.expect_exactly(1);
    const auto& entries = args.dictionary(0)->table.entries;
    value* keys = rt.nil;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        keys = cons(rt, make_string(rt, entry->first), keys);
    }
    return keys;
}

value* string_split(Interpreter& in, environment*, value* arguments) {
    Runtime& rt = in.rt;
    arg_list args(rt, arguments, "split");
    const std::string& text = args.text(0);
    const std::string& separator = args.text(1);
    if (separator.empty()) throw LispError{"(split): the separator must not be empty"};
    // Consing each piece in order of occurrence leaves the last piece first.
    value* pieces = rt.nil;
    std::size_t start = 0;
    for (std::size_t found; (found = text.find(separator, start)) != std::string::npos;
         start = found + separator.size()) {
        pieces = cons(rt, make_string(rt, text.substr(start, found - start)), pieces);
    }
    return cons(rt, make_string(rt, text.substr(start)), pieces);
}

namespace {
// The first element of a proper list that is not a string; nullptr when they all are.
value* first_non_string(value* list) {
    list_elements items(list);
    for (value* v; items.next(v);) {
        if (!is<string>(v)) return v;
    }
    return nullptr;
}

// The strings of a proper list, joined with `separator`.
value* join_strings(Runtime& rt, value* list, const std::string& separator) {
    std::size_t length = 0;
    list_elements sizes(list);
    for (value* v; sizes.next(v);) length += as<string>(v)->text.size() + separator.size();
    std::string text;
    text.reserve(length);
    list_elements items(list);
    bool first = true;
    for (value* v; items.next(v); first = false) {
        if (!first) text += separator;
        text += as<string>(v)->text;
    }
    return make_string(rt, std::move(text));
}
}  // namespace

value* string_join(Interpreter& in, environment*, value* arguments) {
    Runtime& rt = in.rt;
    arg_list args(rt, arguments, "join");
    value* list = args.any(0);
    if (!is_list(list)) args.wrong_kind(0, "a list of strings");
    const std::string& separator = args.text(1);
    if (value* v = first_non_string(list)) {
        throw LispError{"(join): expects a list of strings as argument 1, found the element " + describe(rt, v)};
    }
    return join_strings(rt, list, separator);
}

value* fast_join(Runtime& rt, value* const* a, std::size_t count) {
    if (count != 2 || !is_list(a[0]) || !is<string>(a[1]) || first_non_string(a[0]) != nullptr) return nullptr;
    return join_strings(rt, a[0], as<string>(a[1])->text);
}

value* substring(Interpreter& in, environment*, value* arguments) {
    Runtime& rt = in.rt;
    arg_list args(rt, arguments, "substring");
    velune::string* s = args.string(0);
    const std::int64_t start = args.integer(1);
    const std::int64_t end = args.integer(2);
    if (start < 0 || end < 0) {
        throw LispError{"Trying to slice string " + represent_text(rt, s) + " with negative start (" +
                        format_integer(start) + ":" + format_integer(end) + ")"};
    }
    const auto length = static_cast<std::uint64_t>(s->text.size());
    const std::uint64_t from = static_cast<std::uint64_t>(start);
    const std::uint64_t to = std::min(static_cast<std::uint64_t>(end), length);
    if (from >= to) return make_string(rt, "");
    return make_string(rt, s->text.substr(from, to - from));
}

value* string_split_1(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "strip");
    const std::string& text = args.text(0);
    auto blank = [](unsigned char c) { return c == ' ' || (c >= 9 && c <= 13); };
    std::size_t from = 0;
    std::size_t to = text.size();
    while (from < to && blank(static_cast<unsigned char>(text[from]))) ++from;
    while (to > from && blank(static_cast<unsigned char>(text[to - 1]))) --to;
    return make_string(in.rt, text.substr(from, to - from));
}

value* string_contains(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "string-contains");
    const std::string& text = args.text(0);
    return in.rt.boolean(text.find(args.text(1)) != std::string::npos);
}

value* string_length(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "string-length");
    return make_integer(in.rt, static_cast<std::int64_t>(args.text(0).size()));
}

value* string_to_symbol(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "string->symbol");
    return make_symbol(in.rt, args.text(0));
}

value* string_at(Interpreter& in, environment*, value* arguments) {
    Runtime& rt = in.rt;
    arg_list args(rt, arguments, "string-at");
    velune::string* s = args.string(0);
    const std::int64_t index = args.integer(1);
    if (index < 0) {
        throw LispError{"Trying to index string " + represent_text(rt, s) + " with negative index " +
                        format_integer(index)};
    }
    const auto length = static_cast<std::int64_t>(s->text.size());
    if (index >= length) {
        throw LispError{"Trying to index string " + represent_text(rt, s) + " of length " + format_integer(length) +
                        " with index " + format_integer(index)};
    }
    return make_string(rt, std::string(1, s->text[static_cast<std::size_t>(index)]));
}

value* string_concat(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "string-concat");
    const std::string& first = args.text(0);
    const std::string& second = args.text(1);
    std::string joined;
    joined.reserve(first.size() + second.size());
    joined.append(first).append(second);
    return make_string(in.rt, std::move(joined));
}

}  // namespace velune
