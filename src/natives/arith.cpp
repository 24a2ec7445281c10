// Integer arithmetic, integer comparison and the structural equality behind `=`.
#include <functional>
#include <set>
#include <utility>
#include <vector>

#include "natives/natives.h"
#include "runtime/format.h"
#include "value/printer.h"

namespace velune {

namespace {

// Arithmetic wraps in two's complement: unsigned operations are defined on overflow and
// the conversion back to signed is modular.
std::int64_t wrap(std::uint64_t u) { return static_cast<std::int64_t>(u); }
std::uint64_t bits(std::int64_t n) { return static_cast<std::uint64_t>(n); }

// The value of an argument at any position (arg_list keeps only the first few), with
// arg_list's wording when it is not an integer.
std::int64_t integer_argument(const Runtime& rt, value* v, std::size_t position, std::string_view name) {
    if (!is<integer>(v)) {
        throw LispError{"(" + std::string(name) + "): expects an integer as argument " +
                        format_integer(static_cast<std::int64_t>(position + 1)) + ", got " + describe(rt, v)};
    }
    return as<integer>(v)->int_value;
}

template <class Cmp> value* compare_ints(Interpreter& in, value* arguments, std::string_view name) {
    arg_list args(in.rt, arguments, name);
    const std::int64_t a = args.integer(0);
    const std::int64_t b = args.integer(1);
    return in.rt.boolean(Cmp{}(a, b));
}

template <class Cmp> value* fast_compare(Runtime& rt, value* const* a, std::size_t count) {
    if (count != 2 || !is<integer>(a[0]) || !is<integer>(a[1])) return nullptr;
    return rt.boolean(Cmp{}(as<integer>(a[0])->int_value, as<integer>(a[1])->int_value));
}

}  // namespace

value* fast_lesser_than(Runtime& rt, value* const* a, std::size_t n) { return fast_compare<std::less<>>(rt, a, n); }
value* fast_greater_than(Runtime& rt, value* const* a, std::size_t n) { return fast_compare<std::greater<>>(rt, a, n); }
value* fast_lesser_or_equal(Runtime& rt, value* const* a, std::size_t n) {
    return fast_compare<std::less_equal<>>(rt, a, n);
}
value* fast_greater_or_equal(Runtime& rt, value* const* a, std::size_t n) {
    return fast_compare<std::greater_equal<>>(rt, a, n);
}

value* fast_add(Runtime& rt, value* const* a, std::size_t count) {
    if (count != 2 || !is<integer>(a[0]) || !is<integer>(a[1])) return nullptr;
    return make_integer(rt, wrap(bits(as<integer>(a[0])->int_value) + bits(as<integer>(a[1])->int_value)));
}

value* fast_substract(Runtime& rt, value* const* a, std::size_t count) {
    if (count != 2 || !is<integer>(a[0]) || !is<integer>(a[1])) return nullptr;
    return make_integer(rt, wrap(bits(as<integer>(a[0])->int_value) - bits(as<integer>(a[1])->int_value)));
}

value* lesser_than(Interpreter& in, environment*, value* a) { return compare_ints<std::less<>>(in, a, "<"); }
value* greater_than(Interpreter& in, environment*, value* a) { return compare_ints<std::greater<>>(in, a, ">"); }
value* lesser_or_equal(Interpreter& in, environment*, value* a) {
    return compare_ints<std::less_equal<>>(in, a, "<=");
}
value* greater_or_equal(Interpreter& in, environment*, value* a) {
    return compare_ints<std::greater_equal<>>(in, a, ">=");
}

value* add(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "+");
    std::uint64_t sum = 0;
    list_elements items(args.list());
    for (value* v; items.next(v);) {
        if (!is<integer>(v)) throw LispError{"Internal error: native (+) operation used for non-numbers"};
        sum += bits(as<integer>(v)->int_value);
    }
    return make_integer(in.rt, wrap(sum));
}

value* substract(Interpreter& in, environment*, value* arguments) {
    Runtime& rt = in.rt;
    arg_list args(rt, arguments, "-");
    std::uint64_t difference = bits(args.integer(0));
    list_elements items(as<cell>(args.list())->cdr);
    std::size_t position = 1;
    for (value* v; items.next(v); ++position) difference -= bits(integer_argument(rt, v, position, "-"));
    return make_integer(rt, wrap(difference));
}

value* multiply(Interpreter& in, environment*, value* arguments) {
    Runtime& rt = in.rt;
    arg_list args(rt, arguments, "*");
    std::uint64_t product = 1;
    list_elements items(args.list());
    std::size_t position = 0;
    for (value* v; items.next(v); ++position) product *= bits(integer_argument(rt, v, position, "*"));
    return make_integer(rt, wrap(product));
}

namespace {

// Pending comparisons of `=`, innermost and leftmost on top, so they run in the order the
// recursive definition visits them (a car before its cdr, keys in insertion order). A null
// right side marks a key missing from the second dictionary: false when reached.
struct equality_walk {
    const Runtime& rt;
    std::vector<std::pair<value*, value*>> pending;
    // Dictionary pairs already under comparison: meeting one again adds nothing, so a
    // dictionary that contains itself cannot loop.
    std::set<std::pair<const hashtable*, const hashtable*>> dictionaries;

    // Compares what can be compared at once and queues the parts of cells and dictionaries.
    bool step(value* x, value* y) {
        if (y == nullptr || x->type != y->type) return false;
        switch (x->kind) {
        case value_kind::integer:
            return as<integer>(x)->int_value == as<integer>(y)->int_value;
        case value_kind::string:
            return as<string>(x)->text == as<string>(y)->text;
        case value_kind::named_symbol:
            // A generated symbol is never the same symbol as a named one.
            return is<named_symbol>(y) && as<named_symbol>(x)->name == as<named_symbol>(y)->name;
        case value_kind::num_symbol:
            if (is<named_symbol>(y)) return false;
            break;
        case value_kind::unique:
        case value_kind::Type:
        case value_kind::Class:
            return x == y;
        case value_kind::function:
            return as<function>(x)->implementation == as<function>(y)->implementation;
        case value_kind::cell:
            pending.emplace_back(as<cell>(x)->cdr, as<cell>(y)->cdr);
            pending.emplace_back(as<cell>(x)->car, as<cell>(y)->car);
            return true;
        case value_kind::hashtable: {
            auto* dx = as<hashtable>(x);
            auto* dy = as<hashtable>(y);
            if (dx->table.size() != dy->table.size()) return false;
            if (!dictionaries.emplace(dx, dy).second) return true;
            const auto& entries = dx->table.entries;
            for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
                value** other = dy->table.find(entry->first);
                pending.emplace_back(entry->second, other != nullptr ? *other : nullptr);
            }
            return true;
        }
        default:
            break;
        }
        throw LispError{"Unsupported type for equality: " + describe(rt, x->type)};
    }
};

}  // namespace

bool values_equal(const Runtime& rt, value* a, value* b) {
    // The commonest comparisons (a counter with its limit, a list with nil) answer without
    // the walk's set-up, as its first step would.
    if (b == nullptr || a->type != b->type) return false;
    if (is<integer>(a)) return as<integer>(a)->int_value == as<integer>(b)->int_value;
    if (is<unique>(a)) return a == b;
    equality_walk walk{rt, {}, {}};
    if (!walk.step(a, b)) return false;
    while (!walk.pending.empty()) {
        auto [x, y] = walk.pending.back();
        walk.pending.pop_back();
        if (!walk.step(x, y)) return false;
    }
    return true;
}

value* fast_equal(Runtime& rt, value* const* a, std::size_t count) {
    if (count != 2) return nullptr;
    value* x = a[0];
    value* y = a[1];
    if (x->type != y->type) return rt.false_value;
    if (is<integer>(x)) return rt.boolean(as<integer>(x)->int_value == as<integer>(y)->int_value);
    if (is<unique>(x)) return rt.boolean(x == y);
    return nullptr;
}

value* equal(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "=");
    return in.rt.boolean(values_equal(in.rt, args.any(0), args.any(1)));
}

}  // namespace velune
