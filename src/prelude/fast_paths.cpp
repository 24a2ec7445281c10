// Native routines for the standard library's leaf generics. Each computes exactly what the
// Velune definition would return, or declines (nullptr) before anything observable happens:
// for an argument it does not handle, for any error to come (the Velune path then raises it
// with its own trace), and whenever the definitions it mirrors may have changed.
#include "prelude/fast_paths.h"

#include <stdexcept>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "natives/natives.h"
#include "value/printer.h"

namespace velune::prelude {

namespace {

// The generics whose methods the routines mirror, in method-store.
constexpr std::string_view generic_names[] = {"repr", "add", "length", "at", "set-at", "iter", "to-symbol", "to-string", "in"};

// What the routines rely on, as it stood when the library was in place.
struct Frozen {
    // At first every library global; once a write makes the routines look, only those their
    // definitions can reach (see narrow_to_dependencies).
    std::vector<std::pair<const Name*, value*>> globals;
    bool narrowed = false;
    hashtable* method_store = nullptr;
    std::vector<std::pair<std::string_view, value*>> method_lists;
    std::vector<value*> roots;  // the functions the routines stand for
    std::uint64_t watched_seen = 0;
    std::uint64_t other_at_freeze = 0;
    bool valid = true;
};

Frozen& frozen(Runtime& rt) { return *static_cast<Frozen*>(rt.library_state.get()); }

// A method a program added in front of the library's: harmless to the routines when one of
// its parameters is typed with a class, since the routines decline every instance.
bool guarded(value* method_definition) {
    if (!is<cell>(method_definition)) return false;
    for (value* p = as<cell>(method_definition)->car; is<cell>(p); p = as<cell>(p)->cdr) {
        value* parameter = as<cell>(p)->car;
        if (is<cell>(parameter) && is<cell>(as<cell>(parameter)->cdr) && is<Class>(as<cell>(as<cell>(parameter)->cdr)->car))
            return true;
    }
    return false;
}

// Keeps watching only the globals that the routines' definitions can reach: every name in
// the bodies of the functions they stand for, of the methods of their generics, and so on
// through what those names and the closures' own scopes hold. Symbols in quoted data count
// too, and so do parameters that share a global's name, which only widens the set. Names
// the library leaves unbound are not watched: every free name in its definitions is bound
// once it is in place. A program may then rebind any other library name (a getter called
// `text`, say) without turning the routines off.
void narrow_to_dependencies(Frozen& f) {
    f.narrowed = true;
    std::unordered_map<const Name*, value*> frozen_value(f.globals.begin(), f.globals.end());
    std::unordered_set<const Name*> reached;
    std::unordered_set<const value*> seen;
    std::vector<value*> pending = f.roots;
    for (const auto& [name, methods] : f.method_lists) pending.push_back(methods);
    while (!pending.empty()) {
        value* v = pending.back();
        pending.pop_back();
        if (v == nullptr || !seen.insert(v).second) continue;
        switch (v->kind) {
        case value_kind::cell:
            pending.push_back(as<cell>(v)->car);
            pending.push_back(as<cell>(v)->cdr);
            break;
        case value_kind::named_symbol: {
            const Name* name = as<named_symbol>(v)->name;
            reached.insert(name);
            if (auto found = frozen_value.find(name); found != frozen_value.end()) pending.push_back(found->second);
            break;
        }
        case value_kind::function:
            pending.push_back(as<function>(v)->implementation);
            break;
        case value_kind::lispfunc:
            pending.push_back(as<lispfunc>(v)->body);
            pending.push_back(as<lispfunc>(v)->closure);
            break;
        case value_kind::environment: {
            auto* scope = as<environment>(v);
            if (scope->parent == nullptr) break;  // the global scope: reached by name only
            for (const auto& entry : scope->names.entries) pending.push_back(entry.second);
            for (const auto& entry : scope->numbers.entries) pending.push_back(entry.second);
            pending.push_back(scope->parent);
            break;
        }
        default:
            break;
        }
    }
    std::vector<std::pair<const Name*, value*>> kept;
    for (const auto& entry : f.globals) {
        if (reached.contains(entry.first)) {
            kept.push_back(entry);
        } else {
            entry.first->watched = false;
        }
    }
    f.globals = std::move(kept);
}

void revalidate(Runtime& rt, Frozen& f) {
    if (!f.narrowed) narrow_to_dependencies(f);
    f.watched_seen = permanent_writes.watched;
    f.valid = false;
    for (const auto& [name, v] : f.globals) {
        value* const* slot = rt.global->names.find(name);
        if ((slot == nullptr ? nullptr : *slot) != v) return;
    }
    for (const auto& [name, methods] : f.method_lists) {
        value* const* slot = f.method_store->table.find(name);
        if (slot == nullptr) return;
        value* list = *slot;
        while (list != methods) {
            if (!is<cell>(list) || !guarded(as<cell>(list)->car)) return;
            list = as<cell>(list)->cdr;
        }
    }
    f.valid = true;
}

// True when the library's definitions are as they were: O(1) unless the watched state was
// written since the last look.
bool unchanged(Runtime& rt) {
    Frozen& f = frozen(rt);
    if (permanent_writes.other != f.other_at_freeze) return false;
    if (permanent_writes.watched != f.watched_seen) revalidate(rt, f);
    return f.valid;
}

// Runs a routine; an error of any kind means the Velune path must run and report it.
template <class Body> value* attempt(Runtime& rt, Body body) {
    if (!unchanged(rt)) return nullptr;
    try {
        return body();
    } catch (const LispError&) {
        return nullptr;
    } catch (const std::runtime_error&) {
        return nullptr;
    }
}

bool is_builtin(value* v) { return !is<instance>(v) && !is<Class>(v); }

// ---- the generics' methods for the built-in types ----

// add: lists are copied in front of the second, nil is the neutral element of lists.
value* add_two(Runtime& rt, value* x, value* y) {
    if (is<integer>(x) && is<integer>(y)) {
        return make_integer(rt, static_cast<std::int64_t>(static_cast<std::uint64_t>(as<integer>(x)->int_value) +
                                                          static_cast<std::uint64_t>(as<integer>(y)->int_value)));
    }
    if (is<string>(x) && is<string>(y)) return make_string(rt, as<string>(x)->text + as<string>(y)->text);
    if (is<cell>(x)) {
        if (y == rt.nil) return x;
        if (!is<cell>(y)) return nullptr;
        if (!is_list(x)) return nullptr;  // the copy walks x with iter, which fails on a dotted tail
        std::vector<value*> items = from_list(x);
        value* joined = y;
        for (auto item = items.rbegin(); item != items.rend(); ++item) joined = cons(rt, *item, joined);
        return joined;
    }
    if (x == rt.nil) {
        if (is<cell>(y) || y == rt.nil) return y;
    }
    return nullptr;
}

// length: strings by bytes, lists by cells; a list may end in a string, whose length adds.
value* length_of(Runtime& rt, value* x) {
    std::int64_t n = 0;
    for (; is<cell>(x); x = as<cell>(x)->cdr) ++n;
    if (x == rt.nil) return make_integer(rt, n);
    if (is<string>(x)) return make_integer(rt, n + static_cast<std::int64_t>(as<string>(x)->text.size()));
    return nullptr;
}

value* character_at(Runtime& rt, value* s, std::int64_t index) {
    const std::string& text = as<string>(s)->text;
    if (index < 0 || index >= static_cast<std::int64_t>(text.size())) return nullptr;
    return make_string(rt, std::string(1, text[static_cast<std::size_t>(index)]));
}

value* at_index(Runtime& rt, value* x, value* i) {
    if (is<hashtable>(x)) {
        if (!is<string>(i)) return nullptr;
        value* const* slot = as<hashtable>(x)->table.find(as<string>(i)->text);
        return slot != nullptr ? *slot : nullptr;
    }
    if (!is<integer>(i)) return nullptr;
    std::int64_t index = as<integer>(i)->int_value;
    value* rest = x;
    for (; is<cell>(rest); rest = as<cell>(rest)->cdr, --index) {
        if (index == 0) return as<cell>(rest)->car;
    }
    if (!is<string>(rest)) return nullptr;
    return character_at(rt, rest, index);
}

value* set_at(Runtime& rt, value* x, value* i, value* v) {
    if (!is<hashtable>(x) || !is<string>(i)) return nullptr;  // the catch-all method's error
    hashtable_setkey(as<hashtable>(x), i, v);
    return rt.nil;
}

value* source_of(value* v) {
    value* metadata = v->metadata();
    if (metadata == nullptr || !is<hashtable>(metadata)) return nullptr;
    value* const* slot = as<hashtable>(metadata)->table.find("source");
    return slot != nullptr ? *slot : nullptr;
}

// repr: the native form, a definition's own source for functions and classes.
value* repr_of(Runtime& rt, value* x) {
    switch (x->kind) {
    case value_kind::integer: case value_kind::string: case value_kind::unique: case value_kind::environment:
    case value_kind::hashtable: case value_kind::named_symbol: case value_kind::num_symbol: case value_kind::cell:
    case value_kind::Type: case value_kind::function: case value_kind::Class:
        break;
    default:
        return nullptr;  // the catch-all method, whose text goes through to-string of a type
    }
    if (is<function>(x) || is<Class>(x)) {
        if (value* source = source_of(x)) {
            if (!is_builtin(source) || is<function>(source) || is<floating>(source)) return nullptr;
            return represent(rt, source);
        }
    }
    return represent(rt, x);
}

value* to_string_of(Runtime& rt, value* x) {
    if (is<string>(x)) return x;
    if (is<hashtable>(x)) return represent(rt, x);
    if (is<integer>(x) || is<named_symbol>(x) || is<num_symbol>(x) || is<cell>(x) || is<unique>(x) || is<function>(x))
        return to_string(rt, x);
    return nullptr;  // classes, instances, types, environments, floats
}

value* in_list(Runtime& rt, value* container, value* item) {
    for (; is<cell>(container); container = as<cell>(container)->cdr) {
        if (values_equal(rt, as<cell>(container)->car, item)) return rt.true_value;
    }
    return container == rt.nil ? rt.false_value : nullptr;
}

bool any_instance(value* const* a, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (!is_builtin(a[i])) return true;
    }
    return false;
}

// ---- the routines, one per function of the library ----

#define VELUNE_FAST(name, arity, expression)                                          \
    value* name(Runtime& rt, value* const* a, std::size_t n) {                       \
        if (n != (arity) || any_instance(a, n)) return nullptr;                       \
        return attempt(rt, [&]() -> value* { return expression; });                   \
    }

VELUNE_FAST(fast_add, 2, add_two(rt, a[0], a[1]))
VELUNE_FAST(fast_length, 1, length_of(rt, a[0]))
VELUNE_FAST(fast_at, 2, at_index(rt, a[0], a[1]))
VELUNE_FAST(fast_set_at, 3, set_at(rt, a[0], a[1], a[2]))
VELUNE_FAST(fast_repr, 1, repr_of(rt, a[0]))
VELUNE_FAST(fast_to_string, 1, to_string_of(rt, a[0]))
VELUNE_FAST(fast_to_symbol, 1, is<string>(a[0]) ? make_symbol(rt, as<string>(a[0])->text) : nullptr)
VELUNE_FAST(fast_in, 2, in_list(rt, a[0], a[1]))
VELUNE_FAST(fast_is_list, 1, rt.boolean(values_equal(rt, a[0], rt.nil) || is<cell>(a[0])))
VELUNE_FAST(fast_is_nil, 1, rt.boolean(values_equal(rt, a[0], rt.nil)))

#undef VELUNE_FAST

// is-instance and the type predicates built on it dispatch on nothing: any value will do.
#define VELUNE_TYPE_TEST(name, type_of_test)                                                   \
    value* name(Runtime& rt, value* const* a, std::size_t n) {                                \
        if (n != 1) return nullptr;                                                            \
        return attempt(rt, [&]() -> value* { return rt.boolean(subclass_of(a[0]->type, rt.types.type_of_test)); }); \
    }

VELUNE_TYPE_TEST(fast_is_string, string)
VELUNE_TYPE_TEST(fast_is_integer, integer)
VELUNE_TYPE_TEST(fast_is_symbol, symbol)
VELUNE_TYPE_TEST(fast_is_cons, cell)
VELUNE_TYPE_TEST(fast_is_dict, dictionary)

#undef VELUNE_TYPE_TEST

value* fast_is_instance(Runtime& rt, value* const* a, std::size_t n) {
    if (n != 2) return nullptr;
    return attempt(rt, [&]() -> value* { return rt.boolean(subclass_of(a[0]->type, a[1])); });
}

// sum and +: add folded from the left; nothing to fold is an error of the fold.
value* fold_add(Runtime& rt, value* const* a, std::size_t n) {
    if (n == 0 || any_instance(a, n)) return nullptr;
    return attempt(rt, [&]() -> value* {
        value* total = a[0];
        for (std::size_t i = 1; i < n && total != nullptr; ++i) total = add_two(rt, total, a[i]);
        return total;
    });
}

value* fast_plus(Runtime& rt, value* const* a, std::size_t n) { return fold_add(rt, a, n); }

value* fast_sum(Runtime& rt, value* const* a, std::size_t n) {
    if (n != 1 || !is<cell>(a[0]) || !is_list(a[0])) return nullptr;
    const std::vector<value*> items = from_list(a[0]);
    return fold_add(rt, items.data(), items.size());
}

struct routine {
    std::string_view name;
    fast_path fast;
};

constexpr routine routines[] = {
    {"add", fast_add},           {"+", fast_plus},
    {"sum", fast_sum},           {"length", fast_length},
    {"at", fast_at},             {"set-at", fast_set_at},
    {"repr", fast_repr},
    {"to-string", fast_to_string}, {"to-symbol", fast_to_symbol},
    {"in", fast_in},             {"is-instance", fast_is_instance},
    {"is-list", fast_is_list},   {"is-nil", fast_is_nil},
    {"is-string", fast_is_string}, {"is-integer", fast_is_integer},
    {"is-symbol", fast_is_symbol}, {"is-cons", fast_is_cons},
    {"is-dict", fast_is_dict},
};

}  // namespace

void install_fast_paths(Runtime& rt) {
    auto state = std::make_shared<Frozen>();
    Frozen& f = *state;
    for (const auto& entry : rt.global->names.entries) {
        f.globals.emplace_back(entry.first, entry.second);
        entry.first->watched = true;
    }
    value* store = rt.global->lookup_name(rt.names.intern("method-store"));
    if (store == nullptr || !is<hashtable>(store)) return;
    f.method_store = as<hashtable>(store);
    for (std::string_view name : generic_names) {
        value* const* slot = f.method_store->table.find(name);
        if (slot == nullptr) return;
        f.method_lists.emplace_back(name, *slot);
    }
    rt.global->watched = true;
    f.method_store->watched = true;
    f.watched_seen = permanent_writes.watched;
    f.other_at_freeze = permanent_writes.other;
    rt.library_state = state;
    for (const routine& r : routines) {
        value* v = rt.global->lookup_name(rt.names.intern(r.name));
        if (v == nullptr || !is<function>(v) || !is<lispfunc>(as<function>(v)->implementation)) continue;
        as<lispfunc>(as<function>(v)->implementation)->fast = r.fast;
        f.roots.push_back(v);
    }
}

}  // namespace velune::prelude
