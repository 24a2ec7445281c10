// The value family, environments, dictionaries, classes, the host list operations and
// LispError: the vocabulary every other module speaks.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "runtime/runtime.h"

namespace velune {

class Interpreter;
class resumable_builtin;

// The language-level error: reported by every nested run it passes, status 1 at the top.
struct LispError {
    std::string message;
};

enum class value_kind : std::uint8_t {
    unique, named_symbol, num_symbol, integer, floating, string, cell, hashtable, environment,
    function, lispfunc, nativefunc, resumable_native, Class, instance, Type
};

struct value;
struct compiled_body;

// The doc and metadata slots, kept apart: few values ever have them, and every cell and
// integer would otherwise carry two empty pointers.
struct annotations final : gc_object {
    static constexpr bool bare_class = true;
    value* doc = nullptr;
    value* metadata = nullptr;
    void trace(Tracer& t) const override;
    bool has_mutable_references() const override { return true; }
};

struct value : gc_object {
    const value_kind kind;  // which C++ class: host dispatch
    std::uint8_t own_bits = 0;  // the class's own flags, in what would be padding
    value* type;            // what programs see: a Type, or an instance's Class

    value* doc() const { return noted ? notes()->doc : nullptr; }
    value* metadata() const { return noted ? notes()->metadata : nullptr; }
    void set_doc(Heap& heap, value* v) {
        if (noted) old_write_barrier(notes());
        annotate(heap).doc = v;
    }
    // Metadata is read by the generic repr (a function's source); docs by nothing built in.
    void set_metadata(Heap& heap, value* v) {
        write_barrier(this);
        if (noted) write_barrier(notes());
        annotate(heap).metadata = v;
    }

    void trace_all(Tracer& t) const final {
        t.visit(type);
        if (noted) [[unlikely]] t.visit(notes());
        trace(t);
    }

protected:
    value(value_kind k, value* t) : kind(k), type(t) {}

private:
    // Held in object_notes from the first set-doc or set-metadata on.
    annotations* notes() const { return static_cast<annotations*>(object_notes.find(this)); }
    annotations& annotate(Heap& heap) {
        if (!noted) {
            heap.remember(this);  // a permanent value now points at a new object
            old_write_barrier(this);
            object_notes.set(this, heap.make<annotations>());
        }
        return *notes();
    }
};

inline void annotations::trace(Tracer& t) const {
    t.visit(doc);
    t.visit(metadata);
}

template <class T> bool is(const value* v) { return v->kind == T::static_kind; }
template <class T> T* as(value* v) {
    assert(is<T>(v));
    return static_cast<T*>(v);
}
template <class T> const T* as(const value* v) {
    assert(is<T>(v));
    return static_cast<const T*>(v);
}

struct Type final : value {
    static constexpr value_kind static_kind = value_kind::Type;
    std::string_view name;
    // The "type" type points at itself; install_values fixes that one up.
    Type(value* type_of_types, std::string_view n) : value(static_kind, type_of_types), name(n) {}
};

struct unique final : value {
    static constexpr value_kind static_kind = value_kind::unique;
    std::string_view name;
    unique(const Runtime& rt, std::string_view n);
};

struct named_symbol final : value {
    static constexpr value_kind static_kind = value_kind::named_symbol;
    static constexpr bool bare_class = true;
    const Name* name;
    named_symbol(const Runtime& rt, const Name* n);
};

struct num_symbol final : value {
    static constexpr value_kind static_kind = value_kind::num_symbol;
    static constexpr bool bare_class = true;
    std::int64_t number;
    num_symbol(const Runtime& rt, std::int64_t n);
};

struct integer final : value {
    static constexpr value_kind static_kind = value_kind::integer;
    static constexpr bool bare_class = true;
    std::int64_t int_value;
    integer(const Runtime& rt, std::int64_t n);
};

struct floating final : value {
    static constexpr value_kind static_kind = value_kind::floating;
    static constexpr bool bare_class = true;
    double float_value;
    floating(const Runtime& rt, double d);
};

struct string final : value {
    static constexpr value_kind static_kind = value_kind::string;
    std::string text;
    string(const Runtime& rt, std::string t);
    std::size_t extra_bytes() const override { return text.capacity(); }
};

struct cell final : value {
    static constexpr value_kind static_kind = value_kind::cell;
    static constexpr bool bare_class = true;
    value* car;
    value* cdr;
    cell(const Runtime& rt, value* a, value* d);
    void trace(Tracer& t) const override {
        t.visit(car);
        t.visit(cdr);
    }
};

// A vector whose first N elements live inside it: a call's environment holds a handful of
// bindings, and a separate allocation for each would cost more than the bindings. With N = 0
// it is a plain vector in 16 bytes.
template <class T, std::size_t N> class inline_vector {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    inline_vector() = default;
    inline_vector(const inline_vector&) = delete;
    inline_vector& operator=(const inline_vector&) = delete;
    ~inline_vector() {
        if (items != inline_data()) ::operator delete(items);
    }

    T* begin() { return items; }
    T* end() { return items + count; }
    const T* begin() const { return items; }
    const T* end() const { return items + count; }
    std::size_t size() const { return count; }
    bool empty() const { return count == 0; }
    // Whether the items have outgrown the object and live in memory of their own.
    bool on_heap() const { return items != const_cast<inline_vector*>(this)->inline_data(); }
    T& operator[](std::size_t i) { return items[i]; }
    const T& operator[](std::size_t i) const { return items[i]; }

    template <class... Args> void emplace_back(Args&&... args) {
        if (count == capacity) grow();
        items[count++] = T{std::forward<Args>(args)...};
    }
    void insert(std::size_t position, T item) {
        if (count == capacity) grow();
        std::memmove(items + position + 1, items + position, (count - position) * sizeof(T));
        items[position] = item;
        ++count;
    }
    void erase(T* position) {
        std::memmove(position, position + 1, static_cast<std::size_t>(end() - position - 1) * sizeof(T));
        --count;
    }
    void clear() { count = 0; }
    // An empty vector's first `n` items, made by make(i), when they fit inside.
    template <class Make> void fill_inside(std::size_t n, Make make) {
        for (std::size_t i = 0; i < n; ++i) items[i] = make(i);
        count = static_cast<std::uint32_t>(n);
    }
    static constexpr std::size_t inside = N;
    void reserve(std::size_t n) {
        if (n > capacity) grow(static_cast<std::uint32_t>(n));
    }

private:
    struct no_items {};
    [[no_unique_address]] std::conditional_t<(N > 0), T[(N > 0 ? N : 1)], no_items> inline_items;
    T* items = inline_data();
    std::uint32_t count = 0;
    std::uint32_t capacity = N;

    T* inline_data() {
        if constexpr (N > 0) {
            return inline_items;
        } else {
            return nullptr;
        }
    }
    void grow() { grow(capacity == 0 ? 4 : 2 * capacity); }
    void grow(std::uint32_t grown_capacity) {
        auto* grown = static_cast<T*>(::operator new(grown_capacity * sizeof(T)));
        if (count > 0) std::memcpy(grown, items, count * sizeof(T));
        if (items != inline_data()) ::operator delete(items);
        items = grown;
        capacity = grown_capacity;
    }
};

// One entry of a scope kept inline: a plain pair that may be copied byte for byte.
template <class Key> struct binding {
    Key first;
    value* second;
};

// The index of a large map: a power of two of positions, its size kept in front of them,
// so that a map without one (nearly every scope) spends only a pointer on it.
class slot_index {
public:
    slot_index() = default;
    slot_index(const slot_index&) = delete;
    slot_index& operator=(const slot_index&) = delete;
    ~slot_index() { clear(); }
    bool empty() const { return slots == nullptr; }
    std::size_t size() const { return slots == nullptr ? 0 : slots[-1]; }
    std::uint32_t& operator[](std::size_t i) { return slots[i]; }
    std::uint32_t operator[](std::size_t i) const { return slots[i]; }
    void assign(std::size_t n, std::uint32_t fill) {
        clear();
        auto* block = new std::uint32_t[n + 1];
        block[0] = static_cast<std::uint32_t>(n);
        std::fill(block + 1, block + 1 + n, fill);
        slots = block + 1;
    }
    void clear() {
        if (slots != nullptr) delete[] (slots - 1);
        slots = nullptr;
    }

private:
    std::uint32_t* slots = nullptr;
};

// Insertion-ordered map: order is observable (printing, list-keys, the global bindings).
// Small scopes scan a vector; an index is built once the map grows past a few entries: the
// entries' positions in an open-addressed table, so that adding a key allocates nothing of
// its own.
template <class Key, class Entries = std::vector<std::pair<Key, value*>>> struct scope_map {
    using lookup_key = std::conditional_t<std::is_same_v<Key, std::string>, std::string_view, Key>;
    static constexpr std::size_t index_threshold = 16;

    Entries entries;

    value** find(lookup_key k) {
        if (!index.empty()) {
            if constexpr (std::is_same_v<Key, const Name*>) {
                if (k->scope_hint < entries.size() && entries[k->scope_hint].first == k) {
                    return &entries[k->scope_hint].second;
                }
            }
            const std::size_t mask = index.size() - 1;
            for (std::size_t i = hash_of(k) & mask;; i = (i + 1) & mask) {
                const std::uint32_t position = index[i];
                if (position == empty_slot) return nullptr;
                if (lookup_key(entries[position].first) == k) {
                    if constexpr (std::is_same_v<Key, const Name*>) k->scope_hint = position;
                    return &entries[position].second;
                }
            }
        }
        // Newest first: a call's parameters come after current-scope and parent-scope.
        for (std::size_t i = entries.size(); i-- > 0;) {
            if (lookup_key(entries[i].first) == k) return &entries[i].second;
        }
        return nullptr;
    }
    // For a key known to be absent, while the map is small (it has no index yet).
    void append_new(lookup_key k, value* v) { entries.emplace_back(Key(k), v); }
    // For a key known to be absent, placed before the entry now at `position`.
    void insert_new(std::size_t position, lookup_key k, value* v) {
        entries.insert(position, {Key(k), v});
        if (!index.empty() || entries.size() > index_threshold) rebuild_index();
    }
    value* const* find(lookup_key k) const { return const_cast<scope_map*>(this)->find(k); }
    bool contains(lookup_key k) const { return find(k) != nullptr; }

    void bind(lookup_key k, value* v) {
        if (value** slot = find(k)) {
            // Rebinding keeps the key's place: printing and the global order depend on it.
            *slot = v;
            return;
        }
        entries.emplace_back(Key(k), v);
        if (!index.empty() && entries.size() * 2 <= index.size()) {
            place(entries.size() - 1);
        } else if (entries.size() > index_threshold) {
            rebuild_index();
        }
    }
    // Room for `n` entries in all, before a run of binds of new keys (a restored scope).
    void reserve(std::size_t n) { entries.reserve(n); }

    bool erase(lookup_key k) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (lookup_key(entries[i].first) == k) {
                entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
                if (!index.empty()) rebuild_index();
                return true;
            }
        }
        return false;
    }

    std::size_t size() const { return entries.size(); }
    bool indexed() const { return !index.empty(); }
    void clear() {
        entries.clear();
        index.clear();
    }

    void trace(Tracer& t) const {
        for (const auto& entry : entries) t.visit(entry.second);
    }

private:
    static constexpr std::uint32_t empty_slot = UINT32_MAX;
    slot_index index;  // at most half full

    static std::size_t hash_of(lookup_key k) {
        if constexpr (std::is_pointer_v<lookup_key>) {
            // Names are allocated apart: mix the address so that neighbours spread.
            return static_cast<std::size_t>((reinterpret_cast<std::uintptr_t>(k) >> 4) * 0x9E3779B97F4A7C15ull >> 20);
        } else {
            return std::hash<lookup_key>{}(k);
        }
    }
    void place(std::size_t position) {
        const std::size_t mask = index.size() - 1;
        std::size_t i = hash_of(lookup_key(entries[position].first)) & mask;
        while (index[i] != empty_slot) i = (i + 1) & mask;
        index[i] = static_cast<std::uint32_t>(position);
    }
    void rebuild_index() {
        std::size_t size = 32;
        while (size < entries.size() * 4) size *= 2;
        index.assign(size, empty_slot);
        for (std::size_t i = 0; i < entries.size(); ++i) place(i);
    }
};

struct hashtable final : value {
    static constexpr value_kind static_kind = value_kind::hashtable;
    scope_map<std::string> table;
    explicit hashtable(const Runtime& rt);
    void trace(Tracer& t) const override { table.trace(t); }
    bool has_mutable_references() const override { return true; }
};

// Dictionary operations; the key must be a string value.
void hashtable_setkey(hashtable* dictionary, value* key, value* v);
value* hashtable_getkey(hashtable* dictionary, value* key);  // LispError when missing
bool hashtable_haskey(const hashtable* dictionary, const value* key);

struct environment final : value {
    static constexpr value_kind static_kind = value_kind::environment;
    // A call's first parameters fit inside. current-scope and parent-scope are bound
    // first in every scope, but held in no entry (see `implicit_scopes`) until one of them
    // is rebound or unset.
    scope_map<const Name*, inline_vector<binding<const Name*>, 3>> names;
    // Generated symbols are bound in few scopes, and nearly always one in each (a method's
    // parameter, a macro's local): the first is held here, and a map made for the others.
    using number_map = scope_map<std::int64_t, std::vector<std::pair<std::int64_t, value*>>>;
    std::int64_t first_number = 0;
    value* first_numbered = nullptr;  // nullptr when none is held here
    std::unique_ptr<number_map> numbers;  // bound after it
    velune::environment* parent;

    // Binds current-scope to itself and parent-scope to the parent, in that order.
    environment(const Runtime& rt, velune::environment* parent);

    // All take a symbol (named or generated); callers guarantee it.
    void bind(value* symbol, value* v);
    value* lookup(const value* symbol) const {  // nullptr when unbound
        if (symbol->kind == value_kind::named_symbol) return lookup_name(as<named_symbol>(symbol)->name);
        return lookup_number(symbol);
    }
    bool has_symbol(const value* symbol) const;
    bool remove(const value* symbol);

    void bind_name(const Name* name, value* v) {
        binding_barrier(this, name->watched);
        if (name->scope_role != 0 && implicit_scopes()) {
            if (v == implicit_value(name)) return;
            make_scopes_explicit(name);
        }
        if (parent != nullptr) name->set_bound_inside();
        names.bind(name, v);
        note_memory();
        if (is_global()) name->set_global_value(v);
    }
    // Changes the name's binding here if this scope has one; false if it has none.
    bool rebind_name(const Name* name, value* v) {
        if (name->scope_role != 0 && implicit_scopes()) {
            bind_name(name, v);
            return true;
        }
        value** slot = names.find(name);
        if (slot == nullptr) return false;
        binding_barrier(this, name->watched);
        *slot = v;
        if (is_global()) name->set_global_value(v);
        return true;
    }
    // Changes the nearest binding of the name, from this scope outwards; false if no scope
    // of the chain binds it (set-symbol never creates one).
    bool rebind_nearest(const Name* name, value* v) {
        environment* e = this;
        // A name no inner scope has ever bound can only be bound in the outermost one.
        if (!name->bound_inside) {
            while (e->parent != nullptr) e = e->parent;
        }
        for (; e != nullptr; e = e->parent) {
            if (e->rebind_name(name, v)) return true;
        }
        return false;
    }
    value* lookup_name(const Name* name) const {
        // The two common cases inline: an unshadowed global, and a name this scope binds.
        constexpr std::uint8_t reaches = root_known | root_global;
        if (!name->bound_inside) {
            if ((own_bits & reaches) == reaches) return name->global_value;
        } else if (parent != nullptr) {
            if (value* const* slot = names.find(name)) return *slot;
            if (name->scope_role == 0) return parent->lookup_name_further(name);  // this one is searched
        }
        return lookup_name_further(name);
    }
    // A parameter of a function with plain parameters, in a fresh scope.
    void bind_parameter(const Name* name, value* v) {
        old_write_barrier(this);  // a scope gathering arguments as they come may have aged
        bind_fresh_parameter(name, v);
    }
    // A fresh scope's first bindings, of names that are distinct, neither current-scope nor
    // parent-scope, and already marked bound_inside (a function's plain parameters).
    void bind_fresh_parameters(const Name* const* keys, value* const* values, std::size_t n) {
        if (n <= decltype(names.entries)::inside) {
            names.entries.fill_inside(n, [&](std::size_t i) { return binding<const Name*>{keys[i], values[i]}; });
            return;
        }
        for (std::size_t i = 0; i < n; ++i) names.append_new(keys[i], values[i]);
        bare = false;
    }
    // The same in a scope made since the last safe point, which no collection has seen.
    void bind_fresh_parameter(const Name* name, value* v) {
        name->set_bound_inside();
        names.append_new(name, v);
        if (names.entries.on_heap()) bare = false;
    }
    // The generated symbols' bindings in their order, none for most scopes.
    std::vector<std::pair<std::int64_t, value*>> numbered() const;
    bool has_numbered() const { return first_numbered != nullptr || (numbers && numbers->size() > 0); }
    // Whether the generated symbol numbered `n` is the one held inside the scope.
    bool holds_first(std::int64_t n) const { return first_numbered != nullptr && first_number == n; }
    void bind_number(std::int64_t number, value* v) {
        binding_barrier(this, false);
        if (holds_first(number)) {
            first_numbered = v;
            return;
        }
        // Held here only while it comes first: once the map has begun, new ones go after.
        if (first_numbered == nullptr && !numbers) {
            first_number = number;
            first_numbered = v;
            return;
        }
        if (!numbers) numbers = std::make_unique<number_map>();
        bare = false;
        numbers->bind(number, v);
    }
    // The named bindings in their order, current-scope and parent-scope included.
    std::vector<binding<const Name*>> name_bindings(const Runtime& rt) const;
    // Back to a fresh scope's bindings (for restoring a saved one).
    void clear_bindings() {
        if (is_global()) {
            for (const auto& entry : names.entries) entry.first->set_global_value(nullptr);
        }
        names.clear();
        first_numbered = nullptr;
        numbers.reset();
        own_bits |= implicit_bit;
    }

    void trace(Tracer& t) const override {
        names.trace(t);
        t.visit(first_numbered);
        if (numbers) numbers->trace(t);
        t.visit(parent);
    }
    bool has_mutable_references() const override { return true; }
    // current-scope and parent-scope still have their first values, held in no entry.
    bool implicit_scopes() const { return (own_bits & implicit_bit) != 0; }
    // The runtime's global scope, whose bindings its names mirror (see Name::global_value).
    bool is_global() const { return (own_bits & global_bit) != 0; }
    value* lookup_name_further(const Name* name) const;
    // A scope owns nothing outside itself until its bindings outgrow it (see `bare`); each
    // change that can make them do so calls this.
    void note_memory() {
        if (names.entries.on_heap() || names.indexed()) bare = false;
    }
    void make_global() { own_bits = static_cast<std::uint8_t>((own_bits | global_bit) & ~root_known); }
    // Whether the outermost scope of the chain is the global one: known from the parent when
    // the scope is made, worked out once for a scope whose parent was set afterwards.
    bool reaches_global() const {
        if ((own_bits & root_known) == 0) find_root();
        return (own_bits & root_global) != 0;
    }
    // For the start-up image, which links the scopes it restores after making them and
    // before any lookup (a lookup tells the scopes inside this one where the chain ends).
    void set_parent(velune::environment* p) {
        old_write_barrier(this);
        parent = p;
        own_bits = static_cast<std::uint8_t>(own_bits & ~(root_known | root_global));
    }

private:
    static constexpr std::uint8_t implicit_bit = 1;
    static constexpr std::uint8_t global_bit = 2;
    static constexpr std::uint8_t root_known = 4, root_global = 8;
    void find_root() const;
    value* implicit_value(const Name* name) const {
        return name->scope_role == 1 ? const_cast<environment*>(this) : parent;
    }
    // Gives current-scope and parent-scope entries of their own, first, where a fresh scope
    // had them: before one of them is rebound or unset.
    void make_scopes_explicit(const Name* role_name);
    value* lookup_number(const value* symbol) const;
};

enum class exec_mode : std::uint8_t { function = 0, macro = 1, no_eval = 2, no_expand = 3 };

struct function final : value {
    static constexpr value_kind static_kind = value_kind::function;
    static constexpr bool bare_class = true;
    velune::exec_mode exec_mode;
    value* implementation;  // a lispfunc, nativefunc or resumable_native
    function(const Runtime& rt, velune::exec_mode m, value* impl);
    void trace(Tracer& t) const override { t.visit(implementation); }
};

// A native routine that computes a call's exact result, or declines with nullptr.
using fast_path = value* (*)(Runtime&, value* const* arguments, std::size_t count);

// A Velune method that a generic function's dispatch would call, chosen natively, with the
// frames its dispatch code would have on the stack when the method runs: each a call form
// and what that call shows below it (a function, or the body list of a function made there),
// outermost first. The method runs as if called by `call_form`.
struct chosen_method {
    static constexpr std::size_t most_frames = 8;
    static constexpr std::size_t most_arguments = 8;
    value* method = nullptr;
    // The call's value, when the method only reads an attribute of its argument and the
    // chooser read it: the method need not run.
    value* value_read = nullptr;
    const Name* attribute = nullptr;  // the attribute such a method reads
    value* call_form = nullptr;
    std::size_t count = 0;
    value* frames[most_frames][2];
};

struct lispfunc final : value {
    static constexpr value_kind static_kind = value_kind::lispfunc;
    // For some functions of the standard library: tried before the body runs (fast_paths.h).
    value* (*fast)(Runtime&, const lispfunc& self, value* const* arguments, std::size_t count) = nullptr;
    // Made by defgeneric: the runtime's method chooser may run the chosen method directly.
    bool dispatches = false;
    std::vector<value*> parameters;
    value* rest_parameter = nullptr;  // a symbol, or none
    value* body;                      // proper list of expanded expressions
    velune::environment* closure;
    // The body read into nodes, on the first call that runs it that way (interpreter).
    std::shared_ptr<const compiled_body> compiled;
    lispfunc(const Runtime& rt, std::vector<value*> params, value* rest, value* body,
             velune::environment* closure);
    // Named, distinct, neither current-scope nor parent-scope, and few: a fresh scope can
    // take them as new entries without looking for earlier ones. Worked out on first use
    // (a restored function gets its parameters after it is made).
    // Whether a call with `count` arguments is of a count the function takes.
    bool takes(std::size_t count) const {
        return rest_parameter == nullptr ? count == parameters.size() : count >= parameters.size();
    }
    bool plain_parameters() {
        if ((own_bits & shape_known) == 0) [[unlikely]] learn_shape();
        return (own_bits & shape_plain) != 0;
    }
    // How many arguments a call binds to the parameters with nothing to run first: no
    // routine of its own, no dispatch, no rest parameter, plain parameters; `not_direct`
    // when no call does. One comparison where a call is made, worked out on first use:
    // whatever sets `fast` or `dispatches` afterwards calls forget_direct.
    static constexpr std::uint8_t not_direct = UINT8_MAX, unknown_direct = UINT8_MAX - 1;
    std::uint8_t direct_count() {
        if (direct == unknown_direct) [[unlikely]] learn_direct();
        return direct;
    }
    void forget_direct() { direct = unknown_direct; }
    // Plain parameters' names, in order (set by plain_parameters).
    const Name* const* parameter_names() const { return plain_names.get(); }
    void trace(Tracer& t) const override {
        t.visit_all(parameters);
        t.visit(rest_parameter);
        t.visit(body);
        t.visit(closure);
    }

private:
    static constexpr std::uint8_t shape_known = 1, shape_plain = 2;
    std::uint8_t direct = unknown_direct;
    std::unique_ptr<const Name*[]> plain_names;
    bool parameters_are_plain() const;
    void learn_shape();
    void learn_direct();
};

// entry(interpreter, calling environment, argument list) -> one value.
using native_entry = value* (*)(Interpreter&, environment*, value*);
struct arena_deleter;
// Makes one special-form object on the given arena (the runtime's frame stack).
using builtin_factory = std::unique_ptr<resumable_builtin, arena_deleter> (*)(StackArena&);

struct nativefunc final : value {
    static constexpr value_kind static_kind = value_kind::nativefunc;
    std::string name;
    native_entry entry;
    fast_path fast = nullptr;
    nativefunc(const Runtime& rt, std::string n, native_entry e);
};

struct resumable_native final : value {
    static constexpr value_kind static_kind = value_kind::resumable_native;
    std::string name;
    builtin_factory make;
    resumable_native(const Runtime& rt, std::string n, builtin_factory f);
};

struct Class final : value {
    static constexpr value_kind static_kind = value_kind::Class;
    std::vector<value*> parents;  // as evaluated: nothing requires them to be classes
    std::vector<const Name*> attributes;
    std::vector<const Name*> all_attributes;
    std::unordered_map<const Name*, std::size_t> attribute_index;
    scope_map<const Name*> static_attributes;
    velune::environment* environment;

    Class(const Runtime& rt, std::vector<value*> parents, std::vector<const Name*> attributes,
          velune::environment* env);
    void discover_attributes(std::vector<const Name*>& out) const;
    Class* get_static_owner(const Name* name);

    std::size_t extra_bytes() const override {
        return (parents.size() + attributes.size() + 3 * all_attributes.size()) * sizeof(void*);
    }
    void trace(Tracer& t) const override {
        t.visit_all(parents);
        static_attributes.trace(t);
        t.visit(environment);
    }
    bool has_mutable_references() const override { return true; }
};

struct instance final : value {
    static constexpr value_kind static_kind = value_kind::instance;
    std::vector<value*> slots;
    explicit instance(Class* c);
    Class* class_of() const { return as<Class>(type); }

    // LispError "cannot access an undefined attribute NAME" when the class has no such slot.
    value* get_attr(const Name* name);
    void set_attr(const Name* name, value* v);

    std::size_t extra_bytes() const override { return slots.size() * sizeof(value*); }
    void trace(Tracer& t) const override { t.visit_all(slots); }
    bool has_mutable_references() const override { return true; }
};

// Made by the million: constructed where they are made.
inline integer::integer(const Runtime& rt, std::int64_t n) : value(static_kind, rt.types.integer), int_value(n) {}
inline cell::cell(const Runtime& rt, value* a, value* d) : value(static_kind, rt.types.cell), car(a), cdr(d) {}
inline environment::environment(const Runtime& rt, velune::environment* p)
    : value(static_kind, rt.types.environment), parent(p) {
    bare = true;  // most are a call's few parameters, inline
    own_bits |= implicit_bit;
    if (p != nullptr && (p->own_bits & root_known) != 0) own_bits |= p->own_bits & (root_known | root_global);
    if (p == nullptr && rt.global != nullptr) rt.names.scope_without_root();
}

// ---- making values ----
// Makes the fourteen types, the unique values and the global environment with its first
// bindings (current-scope, parent-scope, true, false, nil and the ten type names).
void install_values(Runtime& rt);

inline cell* cons(Runtime& rt, value* a, value* d) { return rt.heap.make<cell>(rt, a, d); }
inline integer* make_integer(Runtime& rt, std::int64_t n) { return rt.heap.make<integer>(rt, n); }
inline string* make_string(Runtime& rt, std::string text) {
    return rt.heap.make<string>(rt, std::move(text));
}
inline named_symbol* make_symbol(Runtime& rt, std::string_view name) {
    return rt.heap.make<named_symbol>(rt, rt.names.intern(name));
}
inline named_symbol* make_symbol(Runtime& rt, const Name* name) {
    return rt.heap.make<named_symbol>(rt, name);
}
// The num_symbol_generator: advance the counter, then take its value.
num_symbol* next_num_symbol(Runtime& rt);

// ---- host list operations ----
bool is_symbol(const value* v);
// Both must be symbols: equal names, or equal numbers; never a named and a generated one.
bool symbol_equal(const value* a, const value* b);
value* make_list(Runtime& rt, const std::vector<value*>& items);
value* make_list(Runtime& rt, value* const* items, std::size_t count);
// Proper lists only: callers check the shape first (see is_list).
std::vector<value*> from_list(value* list);
value* reverse(Runtime& rt, value* list);
template <class F> value* map_list(Runtime& rt, F f, value* list) {
    value* reversed = rt.nil;
    for (value* rest = list; is<cell>(rest); rest = as<cell>(rest)->cdr) {
        reversed = cons(rt, f(as<cell>(rest)->car), reversed);
    }
    return reverse(rt, reversed);
}
bool is_list(const value* v);
bool is_unquote(const Runtime& rt, const value* x);
bool is_unquote_splicing(const Runtime& rt, const value* x);
std::size_t list_length(const value* list);  // proper lists only

// Walks a proper list from the front; next() is false once the list is used up.
struct list_elements {
    value* rest;
    explicit list_elements(value* list) : rest(list) {}
    bool next(value*& out) {
        if (!is<cell>(rest)) return false;
        out = as<cell>(rest)->car;
        rest = as<cell>(rest)->cdr;
        return true;
    }
};

}  // namespace velune
