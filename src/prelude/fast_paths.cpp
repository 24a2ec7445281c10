// Native routines for the standard library's leaf generics. Each computes exactly what the
// Velune definition would return, or declines (nullptr) before anything observable happens:
// for an argument it does not handle, for any error to come (the Velune path then raises it
// with its own trace), and whenever the definitions it mirrors may have changed.
#include "prelude/fast_paths.h"

#include <array>
#include <cstdint>
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
constexpr std::size_t most_arguments = chosen_method::most_arguments;

// What choose found for a generic's call. It holds for a call whose arguments have the
// same types while the generic's definitions are the same list (cells, functions and
// classes never change), and within one collection: only a collection frees an object, and
// so lets a new one take a remembered address.
struct dispatch_memo {
    const lispfunc* generic = nullptr;
    std::size_t epoch = 0;
    value* key = nullptr;          // the generic's method-store key, a string
    value* definitions = nullptr;  // the list the choice was made from
    // Where the method store holds the key's list, good while no write to the watched
    // state (every write to the permanent method store is one) has come since.
    value* const* listed = nullptr;
    std::uint64_t listed_at = 0;
    std::size_t count = 0;
    value* types[most_arguments];
    chosen_method chosen;
};
constexpr std::size_t memo_slots = 128;  // see choose's hash

struct Frozen {
    // At first every library global; once a write makes the routines look, only those their
    // definitions can reach (see narrow_to_dependencies).
    std::vector<std::pair<const Name*, value*>> globals;
    bool narrowed = false;
    hashtable* method_store = nullptr;
    std::vector<std::pair<std::string_view, value*>> method_lists;
    std::vector<value*> roots;  // the functions the routines stand for
    // The code defgeneric writes, as the library's to-string has it, and its three places
    // that differ from one generic to another: the method-store key, (list x) and (f x).
    value* dispatch_body = nullptr;
    value* dispatch_key = nullptr;
    value* dispatch_list = nullptr;
    value* dispatch_call = nullptr;
    value* if_function = nullptr;
    const Name* get_attr = nullptr;  // the name getters read through
    // range's iterator: the body every one of them shares, and what its scopes must hold.
    value* range_body = nullptr;
    environment* range_closure = nullptr;
    const Name* counter = nullptr;
    const Name* limit = nullptr;
    std::uint64_t watched_seen = 0;
    std::uint64_t other_at_freeze = 0;
    bool valid = true;
    // What choose found for recent calls of generics (see dispatch_memo).
    std::array<dispatch_memo, memo_slots> memos{};
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
            for (const auto& entry : scope->numbered()) pending.push_back(entry.second);
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
[[gnu::always_inline]] inline bool unchanged(Runtime& rt) {
    Frozen& f = frozen(rt);
    if (permanent_writes.other != f.other_at_freeze) return false;
    if (permanent_writes.watched != f.watched_seen) [[unlikely]] revalidate(rt, f);
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

// Calls with more arguments than this run their Velune code.

// ---- nested blocks of lines (the configuration libraries' text) ----

// Blocks nest no deeper than this here; deeper ones run the Velune definitions.
constexpr int deepest_block = 200;

bool is_block(const Runtime& rt, value* v) { return v == rt.nil || is<cell>(v); }

// flatten: the lines of a nested block, in order; false where the definition would fail.
bool flatten_into(Runtime& rt, value* blocks, std::vector<value*>& lines, int depth) {
    if (depth > deepest_block) return false;
    for (; blocks != rt.nil; blocks = as<cell>(blocks)->cdr) {  // (= nil x): nil is equal to itself alone
        if (!is<cell>(blocks)) return false;  // car fails
        value* head = as<cell>(blocks)->car;
        if (!is_builtin(head)) return false;
        if (is_block(rt, head)) {
            if (!flatten_into(rt, head, lines, depth + 1)) return false;
        } else {
            lines.push_back(head);
        }
    }
    return true;
}

value* list_of(Runtime& rt, const std::vector<value*>& items) {
    value* list = rt.nil;
    for (auto item = items.rbegin(); item != items.rend(); ++item) list = cons(rt, *item, list);
    return list;
}

value* flatten_block(Runtime& rt, value* blocks) {
    std::vector<value*> lines;
    return flatten_into(rt, blocks, lines, 0) ? list_of(rt, lines) : nullptr;
}

// indent-block: the same nesting, each line after the prefix (by the generic +).
value* indent_block(Runtime& rt, value* prefix, value* blocks, int depth) {
    if (depth > deepest_block) return nullptr;
    // Built front to back: the cells are new, and no collection runs within a routine.
    value* items = rt.nil;
    cell* last = nullptr;
    for (; blocks != rt.nil; blocks = as<cell>(blocks)->cdr) {  // (= nil x): nil is equal to itself alone
        if (!is<cell>(blocks)) return nullptr;
        value* head = as<cell>(blocks)->car;
        if (!is_builtin(head)) return nullptr;
        value* item = is_block(rt, head) ? indent_block(rt, prefix, head, depth + 1) : add_two(rt, prefix, head);
        if (item == nullptr) return nullptr;
        cell* c = cons(rt, item, rt.nil);
        if (last == nullptr) {
            items = c;
        } else {
            last->cdr = c;
        }
        last = c;
    }
    return items;
}

value* lines_to_string(Runtime& rt, value* blocks) {
    if (is<string>(blocks)) return blocks;
    std::vector<value*> lines;
    if (!is_block(rt, blocks) || !flatten_into(rt, blocks, lines, 0)) return nullptr;
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!is<string>(lines[i])) return nullptr;  // join fails
        if (i > 0) text += '\n';
        text += as<string>(lines[i])->text;
    }
    return make_string(rt, std::move(text));
}

value* yaml_quote(Runtime& rt, value* s) {
    if (!is<string>(s)) return nullptr;  // iter over a list, or an error
    std::string quoted = "\"";
    for (char c : as<string>(s)->text) {
        switch (c) {
        case '"': quoted += "\\\""; break;
        case '\\': quoted += "\\\\"; break;
        case '\n': quoted += "\\n"; break;
        case '\r': quoted += "\\r"; break;
        case '\t': quoted += "\\t"; break;
        default: quoted += c;
        }
    }
    quoted += '"';
    return make_string(rt, std::move(quoted));
}

bool any_instance(value* const* a, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (!is_builtin(a[i])) return true;
    }
    return false;
}


// ---- generic functions: choosing the method natively ----
//
// defgeneric writes, for (defgeneric (name x ...)), the body
//   (let* (method-definitions (get-key method-store "name")
//          call-args (list x ...)
//          matching-methods (filter (fn (method-definition) ... (match-types ...)) method-definitions))
//     (if (= nil matching-methods) (error ...) (let f (nth 1 (car matching-methods)) (f x ...))))
// expanded into nested calls of one-parameter functions. A function whose body is exactly
// that, up to the key and the parameters, gets its method chosen here by the same rules,
// and the method then runs under frames that show what the code's own run would show.

value* part(value* v, std::initializer_list<int> path) {
    // Each step: 0 takes the car, n > 0 takes the n-th element (0-based n - 1 cdrs, then car)
    // of a list; nullptr when the shape does not allow it.
    for (int step : path) {
        for (int i = 0; i < step; ++i) {
            if (v == nullptr || !is<cell>(v)) return nullptr;
            v = as<cell>(v)->cdr;
        }
        if (v == nullptr || !is<cell>(v)) return nullptr;
        v = as<cell>(v)->car;
    }
    return v;
}

value* tail_after(value* v, int n) {
    for (int i = 0; i < n; ++i) {
        if (v == nullptr || !is<cell>(v)) return nullptr;
        v = as<cell>(v)->cdr;
    }
    return v;
}

// The nested calls of a dispatch body, outermost first: each call form and the body of the
// function it calls, then the if, then the call of the method.
struct dispatch_places {
    value* forms[5];
    value* bodies[5];
    value* if_form;
    value* call_form;
    value* key;
};

bool locate(value* body, dispatch_places& p) {
    value* form = part(body, {0});
    for (int i = 0; i < 5; ++i) {
        // form: ((fn PARAMS . BODY) ...); the body's last expression is the next step.
        p.forms[i] = form;
        p.bodies[i] = tail_after(part(form, {0}), 2);
        if (p.bodies[i] == nullptr || !is<cell>(p.bodies[i])) return false;
        if (i == 3) {
            p.if_form = part(p.bodies[i], {0});
            form = part(p.if_form, {3});
            if (p.if_form == nullptr) return false;
        } else if (i < 3) {
            form = part(p.bodies[i], {1});
        }
    }
    p.call_form = part(p.bodies[4], {1});
    p.key = part(p.bodies[0], {0, 2, 2});
    return p.call_form != nullptr && p.key != nullptr;
}

bool same_symbol(value* a, value* b) {
    if (is<named_symbol>(a)) return is<named_symbol>(b) && as<named_symbol>(a)->name == as<named_symbol>(b)->name;
    if (is<num_symbol>(a)) return is<num_symbol>(b) && as<num_symbol>(a)->number == as<num_symbol>(b)->number;
    return false;
}

// `form` is (head . parameters), head the same symbol as in `model`.
bool call_of(const Runtime& rt, value* form, value* model, const std::vector<value*>& parameters) {
    if (!is<cell>(form) || !same_symbol(as<cell>(form)->car, as<cell>(model)->car)) return false;
    value* rest = as<cell>(form)->cdr;
    for (value* p : parameters) {
        if (!is<cell>(rest) || !same_symbol(as<cell>(rest)->car, p)) return false;
        rest = as<cell>(rest)->cdr;
    }
    return rest == rt.nil;
}

// True when `body` is the model dispatch body up to its three places.
bool matches_model(const Runtime& rt, const Frozen& f, value* body, const std::vector<value*>& parameters) {
    std::vector<std::pair<value*, value*>> pending{{f.dispatch_body, body}};
    while (!pending.empty()) {
        auto [model, v] = pending.back();
        pending.pop_back();
        if (model == f.dispatch_key) {
            if (!is<string>(v)) return false;
        } else if (model == f.dispatch_list || model == f.dispatch_call) {
            if (!call_of(rt, v, model, parameters)) return false;
        } else if (is<cell>(model)) {
            if (!is<cell>(v)) return false;
            pending.emplace_back(as<cell>(model)->cdr, as<cell>(v)->cdr);
            pending.emplace_back(as<cell>(model)->car, as<cell>(v)->car);
        } else if (is<named_symbol>(model) || is<num_symbol>(model)) {
            if (!same_symbol(model, v)) return false;
        } else if (is<string>(model)) {
            if (!is<string>(v) || as<string>(v)->text != as<string>(model)->text) return false;
        } else if (is<integer>(model)) {
            if (!is<integer>(v) || as<integer>(v)->int_value != as<integer>(model)->int_value) return false;
        } else if (model != v) {
            return false;
        }
    }
    return true;
}

value* range_step(Runtime& rt, const lispfunc& self, value* const*, std::size_t n);

void classify(Runtime& rt, lispfunc* l) {
    Frozen& f = frozen(rt);
    if (l->body == f.range_body && f.range_body != nullptr) {
        l->fast = range_step;
        l->forget_direct();
        return;
    }
    // Most functions fail at the first look: the body of a dispatch is one call of a function.
    value* head = part(l->body, {0, 0, 0});
    if (head == nullptr || !same_symbol(head, part(f.dispatch_body, {0, 0, 0})) || l->rest_parameter != nullptr) return;
    for (std::size_t i = 0; i < l->parameters.size(); ++i) {
        value* p = l->parameters[i];
        // A parameter named like the code's own variables, or twice, changes what it does.
        if (is<named_symbol>(p) ? as<named_symbol>(p)->name->in_dispatch : !is<num_symbol>(p)) return;
        for (std::size_t j = 0; j < i; ++j) {
            if (same_symbol(p, l->parameters[j])) return;
        }
    }
    if (l->parameters.size() > most_arguments || !matches_model(rt, f, l->body, l->parameters)) return;
    l->dispatches = true;
    l->forget_direct();
}

// The definitions' first method whose typed parameters the arguments' types match: false
// when none does, or when the dispatch code itself would fail (see choose).
bool pick(Runtime& rt, value* definitions, value* const* values, std::size_t n, value*& chosen) {
    chosen = nullptr;
    // filter runs match-types on every definition, so any of them can fail the call.
    for (; is<cell>(definitions); definitions = as<cell>(definitions)->cdr) {
        value* definition = as<cell>(definitions)->car;
        value* method = part(definition, {1});
        if (method == nullptr) return false;  // nth fails
        value* parameters = as<cell>(definition)->car;
        bool matched = true;
        for (std::size_t i = 0;; ++i) {
            if (i == n) {
                matched = parameters == rt.nil;
                break;
            }
            if (parameters == rt.nil) {
                matched = false;
                break;
            }
            if (!is<cell>(parameters)) return false;  // car fails
            value* parameter = as<cell>(parameters)->car;
            if (parameter == rt.nil || subclass_of(parameter->type, rt.types.cell)) {
                value* type = part(parameter, {1});
                if (type == nullptr) return false;
                if (!subclass_of(values[i]->type, type)) {
                    matched = false;
                    break;
                }
            }
            parameters = as<cell>(parameters)->cdr;
        }
        if (matched && chosen == nullptr) chosen = method;
    }
    if (definitions != rt.nil || chosen == nullptr) return false;  // an error to raise
    if (!is<function>(chosen) || as<function>(chosen)->exec_mode != exec_mode::function) return false;
    value* implementation = as<function>(chosen)->implementation;
    if (!is<lispfunc>(implementation)) return false;
    const auto* m = as<lispfunc>(implementation);
    return m->rest_parameter == nullptr && m->parameters.size() == n;  // else the call's own error
}

// The attribute a method only reads, its body (get-attr x (quote name)) as make-getter writes
// it, x its one parameter; nullptr for any other method. Whether get-attr and quote mean the
// built-ins then is for each call (see reads_attribute).
const Name* getter_attribute(const Runtime& rt, value* method) {
    const auto* m = as<lispfunc>(as<function>(method)->implementation);
    if (m->parameters.size() != 1 || m->rest_parameter != nullptr || tail_after(m->body, 1) != rt.nil) return nullptr;
    value* form = part(m->body, {0});
    value* head = part(form, {0});
    value* quoted = part(form, {2});
    if (head == nullptr || quoted == nullptr || tail_after(form, 3) != rt.nil || !is<named_symbol>(head) ||
        as<named_symbol>(head)->name->text != "get-attr" || !same_symbol(part(form, {1}), m->parameters[0])) {
        return nullptr;
    }
    value* q = part(quoted, {0});
    value* name = part(quoted, {1});
    if (q == nullptr || name == nullptr || tail_after(quoted, 2) != rt.nil || !is<named_symbol>(q) ||
        as<named_symbol>(q)->name != rt.known.quote || !is<named_symbol>(name)) {
        return nullptr;
    }
    // A parameter named get-attr or quote would change what the body's names mean.
    if (same_symbol(m->parameters[0], head) || same_symbol(m->parameters[0], q)) return nullptr;
    return as<named_symbol>(name)->name;
}

// The value the chosen getter method would return for `object`: nullptr when its names do
// not mean the built-in get-attr and quote where it was made, or when get-attr would fail.
value* reads_attribute(Runtime& rt, value* method, const Name* attribute, value* object) {
    if (!is<instance>(object)) return nullptr;
    const environment* scope = as<lispfunc>(as<function>(method)->implementation)->closure;
    value* reader = scope->lookup_name(frozen(rt).get_attr);
    if (reader == nullptr || !is<function>(reader) || as<function>(reader)->exec_mode != exec_mode::function ||
        !is<nativefunc>(as<function>(reader)->implementation) ||
        as<nativefunc>(as<function>(reader)->implementation)->entry != get_attr) {
        return nullptr;
    }
    value* quote = scope->lookup_name(rt.known.quote);
    if (quote == nullptr || !is<function>(quote) || as<function>(quote)->implementation != rt.quote_form ||
        (as<function>(quote)->exec_mode != exec_mode::no_eval && as<function>(quote)->exec_mode != exec_mode::no_expand)) {
        return nullptr;
    }
    try {
        value* v = as<instance>(object)->get_attr(attribute);
        return v != nullptr ? v : rt.nil;  // a slot never written reads as nil
    } catch (const LispError&) {
        return nullptr;  // the method runs, and fails as it should
    }
}

bool choose(Runtime& rt, const lispfunc* generic, value* const* values, std::size_t n, chosen_method& out) {
    if (!unchanged(rt)) return false;
    // The code finds its names through the generic's scopes before the global one.
    for (const environment* e = generic->closure; e != nullptr && e != rt.global; e = e->parent) {
        for (const auto& entry : e->names.entries) {
            if (entry.first->in_dispatch) return false;
        }
    }
    if (n > most_arguments) return false;
    // A slot for each generic and first argument's type: a generic is often called on a few
    // types in turn (to-string on every kind of node).
    const auto address = [](const void* p) { return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(p)); };
    const std::uint64_t mixed = address(generic) * 0x9E3779B97F4A7C15u ^ (n > 0 ? address(values[0]->type) : 0) * 0xC2B2AE3D27D4EB4Fu;
    const std::size_t hash = static_cast<std::size_t>(mixed >> 57);  // the top 7 bits: 128 slots
    dispatch_memo& memo = frozen(rt).memos[hash];
    if (const std::size_t epoch = rt.heap.collections(); memo.generic != generic || memo.epoch != epoch) {
        dispatch_places places;
        if (!locate(generic->body, places)) return false;
        memo.generic = generic;
        memo.epoch = epoch;
        memo.key = places.key;
        memo.definitions = nullptr;
        memo.listed = nullptr;
        chosen_method& c = memo.chosen;
        c.call_form = places.call_form;
        c.count = 0;
        for (int i = 0; i < 5; ++i) {
            if (i == 4) {
                c.frames[c.count][0] = places.if_form;
                c.frames[c.count++][1] = frozen(rt).if_function;
            }
            c.frames[c.count][0] = places.forms[i];
            c.frames[c.count++][1] = places.bodies[i];
        }
    }
    value* const* listed = memo.listed;
    if (listed == nullptr || memo.listed_at != permanent_writes.watched) {
        hashtable* store = frozen(rt).method_store;
        listed = store->table.find(as<string>(memo.key)->text);
        if (listed == nullptr) return false;  // get-key fails
        // Only the permanent store's writes are all counted.
        memo.listed = store->permanent ? listed : nullptr;
        memo.listed_at = permanent_writes.watched;
    }
    bool same = memo.definitions == *listed && memo.count == n;
    for (std::size_t i = 0; same && i < n; ++i) same = memo.types[i] == values[i]->type;
    if (!same) {
        value* chosen = nullptr;
        if (!pick(rt, *listed, values, n, chosen)) return false;
        memo.definitions = *listed;
        memo.count = n;
        for (std::size_t i = 0; i < n; ++i) memo.types[i] = values[i]->type;
        memo.chosen.method = chosen;
        memo.chosen.attribute = getter_attribute(rt, chosen);
    }
    out = memo.chosen;
    out.value_read = out.attribute != nullptr ? reads_attribute(rt, out.method, out.attribute, values[0]) : nullptr;
    return true;
}

// Finds the model in the library's to-string; without it, no generic is ever dispatched here.
bool learn_dispatch(Runtime& rt, Frozen& f) {
    value* to_string = rt.global->lookup_name(rt.names.intern("to-string"));
    if (to_string == nullptr || !is<function>(to_string) || !is<lispfunc>(as<function>(to_string)->implementation)) return false;
    const auto* l = as<lispfunc>(as<function>(to_string)->implementation);
    dispatch_places places;
    if (l->parameters.size() != 1 || !locate(l->body, places)) return false;
    value* list_form = part(places.bodies[1], {0, 2});
    if (!is<string>(places.key) || as<string>(places.key)->text != "to-string" || list_form == nullptr ||
        !call_of(rt, list_form, list_form, l->parameters) || !call_of(rt, places.call_form, places.call_form, l->parameters))
        return false;
    f.dispatch_body = l->body;
    f.dispatch_key = places.key;
    f.dispatch_list = list_form;
    f.dispatch_call = places.call_form;
    f.if_function = rt.global->lookup(part(places.if_form, {0}));
    if (f.if_function == nullptr || !is<function>(f.if_function)) return false;
    // The names the code uses, apart from the generic's own parameter.
    std::vector<value*> pending{l->body};
    while (!pending.empty()) {
        value* v = pending.back();
        pending.pop_back();
        if (is<cell>(v)) {
            pending.push_back(as<cell>(v)->car);
            pending.push_back(as<cell>(v)->cdr);
        } else if (is<named_symbol>(v) && !same_symbol(v, l->parameters[0])) {
            as<named_symbol>(v)->name->in_dispatch = true;
        }
    }
    return true;
}

// ---- range's iterator ----
//
// (range limit) returns (fn () (if (= counter limit) nil (begin (set-symbol (quote counter)
// (+ 1 counter)) (list (- counter 1))))) over a scope binding counter inside range's own
// scope binding limit. Every such iterator shares that body, which is how they are known.

// A scope made by a call of a one-parameter function, holding nothing else.
value* only_binding(const environment* scope, const Name* name) {
    const auto& entries = scope->names.entries;
    if (!scope->implicit_scopes() || entries.size() != 1 || scope->has_numbered() || entries[0].first != name)
        return nullptr;
    return entries[0].second;
}

value* range_step(Runtime& rt, const lispfunc& self, value* const*, std::size_t n) {
    if (n != 0 || !unchanged(rt)) return nullptr;
    const Frozen& f = frozen(rt);
    environment* counting = self.closure;
    environment* limiting = counting->parent;
    if (limiting == nullptr || limiting->parent != f.range_closure) return nullptr;
    value* counter = only_binding(counting, f.counter);
    value* limit = only_binding(limiting, f.limit);
    if (counter == nullptr || limit == nullptr) return nullptr;
    if (values_equal(rt, counter, limit)) return rt.nil;
    if (!is<integer>(counter)) return nullptr;  // + decides what else means
    const std::int64_t now = as<integer>(counter)->int_value;
    if (now == INT64_MAX) return nullptr;
    counting->bind_name(f.counter, make_integer(rt, now + 1));
    return cons(rt, counter, rt.nil);
}

bool learn_range(Runtime& rt, Frozen& f) {
    value* range = rt.global->lookup_name(rt.names.intern("range"));
    if (range == nullptr || !is<function>(range) || !is<lispfunc>(as<function>(range)->implementation)) return false;
    const auto* l = as<lispfunc>(as<function>(range)->implementation);
    value* let_function = part(l->body, {0, 0});
    value* counter = part(let_function, {1, 0});
    value* iterator = part(tail_after(let_function, 2), {1});  // the let's last expression
    if (iterator == nullptr || !is<cell>(iterator) || tail_after(iterator, 1) == nullptr) return false;
    if (!is<named_symbol>(as<cell>(iterator)->car) || as<named_symbol>(as<cell>(iterator)->car)->name->text != "fn" ||
        part(iterator, {1}) != rt.nil || l->parameters.size() != 1 || !is<named_symbol>(l->parameters[0]) ||
        counter == nullptr || !is<named_symbol>(counter))
        return false;
    f.range_body = tail_after(iterator, 2);
    f.range_closure = l->closure;
    f.counter = as<named_symbol>(counter)->name;
    f.limit = as<named_symbol>(l->parameters[0])->name;
    f.roots.push_back(range);
    return true;
}

// ---- the routines, one per function of the library ----

#define VELUNE_FAST(name, arity, expression)                                          \
    value* name(Runtime& rt, const lispfunc&, value* const* a, std::size_t n) {      \
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
VELUNE_FAST(fast_indent, 2, add_two(rt, a[0], a[1]))
VELUNE_FAST(fast_indent_block, 2, indent_block(rt, a[0], a[1], 0))
VELUNE_FAST(fast_flatten, 1, flatten_block(rt, a[0]))
VELUNE_FAST(fast_lines_to_string, 1, lines_to_string(rt, a[0]))
VELUNE_FAST(fast_yaml_quote, 1, yaml_quote(rt, a[0]))

#undef VELUNE_FAST

// is-instance and the type predicates built on it dispatch on nothing: any value will do.
#define VELUNE_TYPE_TEST(name, type_of_test)                                                   \
    value* name(Runtime& rt, const lispfunc&, value* const* a, std::size_t n) {              \
        if (n != 1) return nullptr;                                                            \
        return attempt(rt, [&]() -> value* { return rt.boolean(subclass_of(a[0]->type, rt.types.type_of_test)); }); \
    }

VELUNE_TYPE_TEST(fast_is_string, string)
VELUNE_TYPE_TEST(fast_is_integer, integer)
VELUNE_TYPE_TEST(fast_is_symbol, symbol)
VELUNE_TYPE_TEST(fast_is_cons, cell)
VELUNE_TYPE_TEST(fast_is_dict, dictionary)

#undef VELUNE_TYPE_TEST

value* fast_is_instance(Runtime& rt, const lispfunc&, value* const* a, std::size_t n) {
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

value* fast_plus(Runtime& rt, const lispfunc&, value* const* a, std::size_t n) {
    // Two integers, the common case, without the general fold's set-up.
    if (n == 2 && is<integer>(a[0]) && is<integer>(a[1]) && unchanged(rt)) {
        return make_integer(rt, static_cast<std::int64_t>(static_cast<std::uint64_t>(as<integer>(a[0])->int_value) +
                                                          static_cast<std::uint64_t>(as<integer>(a[1])->int_value)));
    }
    return fold_add(rt, a, n);
}

// str: to-string of each argument, summed.
value* fast_str(Runtime& rt, const lispfunc&, value* const* a, std::size_t n) {
    if (n == 0 || any_instance(a, n)) return nullptr;
    return attempt(rt, [&]() -> value* {
        value* parts[most_arguments];
        for (std::size_t i = 0; i < n; ++i) {
            if ((parts[i] = to_string_of(rt, a[i])) == nullptr) return nullptr;
        }
        value* total = parts[0];
        for (std::size_t i = 1; i < n && total != nullptr; ++i) total = add_two(rt, total, parts[i]);
        return total;
    });
}

value* fast_sum(Runtime& rt, const lispfunc&, value* const* a, std::size_t n) {
    if (n != 1 || !is<cell>(a[0]) || !is_list(a[0])) return nullptr;
    const std::vector<value*> items = from_list(a[0]);
    return fold_add(rt, items.data(), items.size());
}

using routine_entry = value* (*)(Runtime&, const lispfunc&, value* const*, std::size_t);

struct routine {
    std::string_view name;
    routine_entry fast;
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
    {"indent", fast_indent},     {"indent-block", fast_indent_block},
    {"flatten", fast_flatten},   {"lines-to-string", fast_lines_to_string},
    {"yaml-quote", fast_yaml_quote}, {"str", fast_str},
};

}  // namespace

void install_fast_paths(Runtime& rt, bool restored) {
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
    // defclass records every attribute's setter there; nothing the routines mirror reads it,
    // but unwatched, each record would turn them off for good.
    if (value* setters = rt.global->lookup_name(rt.names.intern("setter-store")); setters != nullptr && is<hashtable>(setters))
        setters->watched = true;
    f.watched_seen = permanent_writes.watched;
    f.other_at_freeze = permanent_writes.other;
    rt.library_state = state;
    for (const routine& r : routines) {
        value* v = rt.global->lookup_name(rt.names.intern(r.name));
        if (v == nullptr || !is<function>(v) || !is<lispfunc>(as<function>(v)->implementation)) continue;
        auto* routine = as<lispfunc>(as<function>(v)->implementation);
        routine->fast = r.fast;
        routine->forget_direct();
        f.roots.push_back(v);
    }
    learn_range(rt, f);
    f.get_attr = rt.names.intern("get-attr");
    if (learn_dispatch(rt, f)) {
        // A restored image says which of its functions dispatch; evaluated ones are looked at.
        for (const auto& entry : rt.global->names.entries) {
            value* v = entry.second;
            if (restored || v == nullptr || !is<function>(v) || !is<lispfunc>(as<function>(v)->implementation)) continue;
            classify(rt, as<lispfunc>(as<function>(v)->implementation));
        }
        rt.choose_method = choose;
        rt.classify_function = classify;
    }
}

}  // namespace velune::prelude
