// Value constructors, environments, dictionaries, classes and the host list operations.
#include "value/value.h"

namespace velune {

// Cells and integers are the values made by the million: keep them at 40 bytes and 32.
static_assert(sizeof(cell) <= 40 && sizeof(integer) <= 32, "value header grew");

unique::unique(const Runtime& rt, std::string_view n) : value(static_kind, rt.types.unique), name(n) {}
named_symbol::named_symbol(const Runtime& rt, const Name* n) : value(static_kind, rt.types.symbol), name(n) {}
num_symbol::num_symbol(const Runtime& rt, std::int64_t n) : value(static_kind, rt.types.symbol), number(n) {}
floating::floating(const Runtime& rt, double d) : value(static_kind, rt.types.floating), float_value(d) {}
string::string(const Runtime& rt, std::string t) : value(static_kind, rt.types.string), text(std::move(t)) {}
hashtable::hashtable(const Runtime& rt) : value(static_kind, rt.types.dictionary) {}
function::function(const Runtime& rt, velune::exec_mode m, value* impl)
    : value(static_kind, rt.types.function), exec_mode(m), implementation(impl) {}
lispfunc::lispfunc(const Runtime& rt, std::vector<value*> params, value* rest, value* b,
                   velune::environment* c)
    : value(static_kind, rt.types.lisp_function), parameters(std::move(params)), rest_parameter(rest),
      body(b), closure(c) {}
bool lispfunc::parameters_are_plain() const {
    if (parameters.size() > 8) return false;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        if (!is<named_symbol>(parameters[i])) return false;
        const Name* name = as<named_symbol>(parameters[i])->name;
        if (name->scope_role != 0) return false;
        for (std::size_t j = 0; j < i; ++j) {
            if (as<named_symbol>(parameters[j])->name == name) return false;
        }
    }
    return true;
}
// Plain parameters are bound in a fresh scope on every call: their names are read once,
// and marked as bound inside (as the first binding would mark them) once.
void lispfunc::learn_shape() {
    own_bits |= shape_known;
    if (!parameters_are_plain()) return;
    own_bits |= shape_plain;
    plain_names = std::make_unique<const Name*[]>(std::max<std::size_t>(parameters.size(), 1));
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        plain_names[i] = as<named_symbol>(parameters[i])->name;
        plain_names[i]->set_bound_inside();
    }
}
void lispfunc::learn_direct() {
    const bool plain = fast == nullptr && !dispatches && rest_parameter == nullptr && plain_parameters();
    direct = plain ? static_cast<std::uint8_t>(parameters.size()) : not_direct;  // at most 8
}
nativefunc::nativefunc(const Runtime& rt, std::string n, native_entry e)
    : value(static_kind, rt.types.native_function), name(std::move(n)), entry(e) {}
resumable_native::resumable_native(const Runtime& rt, std::string n, builtin_factory f)
    : value(static_kind, rt.types.resumable_native), name(std::move(n)), make(f) {}

// ---- dictionaries ----

void hashtable_setkey(hashtable* dictionary, value* key, value* v) {
    write_barrier(dictionary);
    dictionary->table.bind(as<string>(key)->text, v);
}

value* hashtable_getkey(hashtable* dictionary, value* key) {
    const std::string& text = as<string>(key)->text;
    if (value** slot = dictionary->table.find(text)) return *slot;
    throw LispError{"trying to index dictionary with undefined key " + text};
}

bool hashtable_haskey(const hashtable* dictionary, const value* key) {
    return dictionary->table.contains(as<string>(key)->text);
}

// ---- environments ----

// Every scope on the way shares the root, and learns it too: a fresh scope learns it from
// its parent, so a scope the image restored answers for all the scopes made inside it.
void environment::find_root() const {
    const environment* e = this;
    while (e->parent != nullptr) e = e->parent;
    const auto bits = static_cast<std::uint8_t>(root_known | (e->is_global() ? root_global : 0));
    for (const environment* s = this; (s->own_bits & root_known) == 0; s = s->parent) {
        const_cast<environment*>(s)->own_bits |= bits;
        if (s->parent == nullptr) break;
    }
}

void environment::make_scopes_explicit(const Name* role_name) {
    old_write_barrier(this);
    own_bits &= static_cast<std::uint8_t>(~implicit_bit);
    const Name* partner = role_name->scope_partner;
    const bool current_first = role_name->scope_role == 1;
    names.insert_new(0, current_first ? role_name : partner, this);
    names.insert_new(1, current_first ? partner : role_name, parent);
    note_memory();
}

std::vector<binding<const Name*>> environment::name_bindings(const Runtime& rt) const {
    std::vector<binding<const Name*>> out;
    out.reserve(names.size() + 2);
    if (implicit_scopes()) {
        out.push_back({rt.known.current_scope, const_cast<environment*>(this)});
        out.push_back({rt.known.parent_scope, parent});
    }
    for (const auto& entry : names.entries) out.push_back(entry);
    return out;
}

void environment::bind(value* symbol, value* v) {
    if (is<named_symbol>(symbol)) {
        bind_name(as<named_symbol>(symbol)->name, v);
    } else {
        bind_number(as<num_symbol>(symbol)->number, v);
    }
}

value* environment::lookup_name_further(const Name* name) const {
    const environment* e = this;
    if (name->bound_inside) {
        for (; e->parent != nullptr; e = e->parent) {
            if (value* const* slot = e->names.find(name)) return *slot;
            if (name->scope_role != 0 && e->implicit_scopes()) return e->implicit_value(name);
        }
    } else if (reaches_global()) {
        return name->global_value;
    } else {
        while (e->parent != nullptr) e = e->parent;
    }
    // The outermost scope of the chain: the global one answers from the name itself.
    if (e->is_global() && name->scope_role == 0) return name->global_value;
    if (value* const* slot = e->names.find(name)) return *slot;
    if (name->scope_role != 0 && e->implicit_scopes()) return e->implicit_value(name);
    return nullptr;
}

value* environment::lookup_number(const value* symbol) const {
    const std::int64_t number = as<num_symbol>(symbol)->number;
    for (const environment* e = this; e != nullptr; e = e->parent) {
        if (e->holds_first(number)) return e->first_numbered;
        if (e->numbers == nullptr) continue;
        if (value* const* slot = e->numbers->find(number)) return *slot;
    }
    return nullptr;
}

std::vector<std::pair<std::int64_t, value*>> environment::numbered() const {
    std::vector<std::pair<std::int64_t, value*>> out;
    if (first_numbered != nullptr) out.emplace_back(first_number, first_numbered);
    if (numbers) out.insert(out.end(), numbers->entries.begin(), numbers->entries.end());
    return out;
}

bool environment::has_symbol(const value* symbol) const {
    if (is<named_symbol>(symbol)) {
        const Name* name = as<named_symbol>(symbol)->name;
        return (name->scope_role != 0 && implicit_scopes()) || names.contains(name);
    }
    const std::int64_t number = as<num_symbol>(symbol)->number;
    return holds_first(number) || (numbers != nullptr && numbers->contains(number));
}

bool environment::remove(const value* symbol) {
    if (is<named_symbol>(symbol)) {
        const Name* name = as<named_symbol>(symbol)->name;
        binding_barrier(this, name->watched);
        if (name->scope_role != 0 && implicit_scopes()) make_scopes_explicit(name);
        if (is_global()) name->set_global_value(nullptr);
        return names.erase(name);
    }
    binding_barrier(this, false);
    const std::int64_t number = as<num_symbol>(symbol)->number;
    if (holds_first(number)) {
        first_numbered = nullptr;
        return true;
    }
    return numbers != nullptr && numbers->erase(number);
}

// ---- classes and instances ----

Class::Class(const Runtime& rt, std::vector<value*> p, std::vector<const Name*> attrs,
             velune::environment* env)
    : value(static_kind, rt.types.Class), parents(std::move(p)), attributes(std::move(attrs)),
      environment(env) {
    discover_attributes(all_attributes);
    attribute_index.reserve(all_attributes.size());
    // The last occurrence of a repeated name wins; earlier slots are never used.
    for (std::size_t i = 0; i < all_attributes.size(); ++i) attribute_index[all_attributes[i]] = i;
}

void Class::discover_attributes(std::vector<const Name*>& out) const {
    // Depth first, own names before each parent's, without host recursion. Parents that
    // are not classes contribute nothing.
    std::vector<const Class*> pending{this};
    while (!pending.empty()) {
        const Class* c = pending.back();
        pending.pop_back();
        out.insert(out.end(), c->attributes.begin(), c->attributes.end());
        for (auto p = c->parents.rbegin(); p != c->parents.rend(); ++p) {
            if (is<Class>(*p)) pending.push_back(as<Class>(*p));
        }
    }
}

Class* Class::get_static_owner(const Name* name) {
    std::vector<Class*> pending{this};
    while (!pending.empty()) {
        Class* c = pending.back();
        pending.pop_back();
        if (c->static_attributes.contains(name)) return c;
        for (auto p = c->parents.rbegin(); p != c->parents.rend(); ++p) {
            if (is<Class>(*p)) pending.push_back(as<Class>(*p));
        }
    }
    return nullptr;
}

instance::instance(Class* c) : value(static_kind, c), slots(c->all_attributes.size(), nullptr) {}

value* instance::get_attr(const Name* name) {
    Class* c = class_of();
    auto found = c->attribute_index.find(name);
    if (found != c->attribute_index.end()) return slots[found->second];
    if (Class* owner = c->get_static_owner(name)) return *owner->static_attributes.find(name);
    throw LispError{"cannot access an undefined attribute " + name->text};
}

void instance::set_attr(const Name* name, value* v) {
    Class* c = class_of();
    auto found = c->attribute_index.find(name);
    if (found != c->attribute_index.end()) {
        write_barrier(this);
        slots[found->second] = v;
    } else if (Class* owner = c->get_static_owner(name)) {
        ++permanent_writes.other;  // the owner may be any ancestor: counted as a change
        old_write_barrier(owner);
        owner->static_attributes.bind(name, v);
    } else {
        throw LispError{"cannot access an undefined attribute " + name->text};
    }
}

// ---- start-up ----

void install_values(Runtime& rt) {
    KnownNames& k = rt.known;
    k.current_scope = rt.names.intern("current-scope");
    k.parent_scope = rt.names.intern("parent-scope");
    k.current_scope->scope_role = 1;
    k.parent_scope->scope_role = 2;
    k.current_scope->set_bound_inside();  // by every scope
    k.parent_scope->set_bound_inside();
    k.current_scope->scope_partner = k.parent_scope;
    k.parent_scope->scope_partner = k.current_scope;
    k.quote = rt.names.intern("quote");
    k.quasiquote = rt.names.intern("quasiquote");
    k.unquote = rt.names.intern("unquote");
    k.unquote_splicing = rt.names.intern("unquote-splicing");
    k.dot = rt.names.intern(".");
    k.to_string = rt.names.intern("to-string");

    auto make_type = [&rt](std::string_view name) {
        Type* t = rt.heap.make<Type>(rt.types.type, name);
        rt.keep_forever(t);
        return t;
    };
    Types& t = rt.types;
    t.type = make_type("type");
    t.type->type = t.type;
    t.integer = make_type("int");
    t.string = make_type("str");
    t.dictionary = make_type("dictionary");
    t.environment = make_type("environment");
    t.unique = make_type("unique");
    t.symbol = make_type("symbol");
    t.cell = make_type("cell");
    t.function = make_type("function");
    t.Class = make_type("class");
    t.floating = make_type("float");
    t.native_function = make_type("native-function");
    t.lisp_function = make_type("lisp-function");
    t.resumable_native = make_type("resumable-native");

    auto make_unique_value = [&rt](std::string_view name) {
        unique* u = rt.heap.make<unique>(rt, name);
        rt.keep_forever(u);
        return u;
    };
    rt.nil = make_unique_value("nil");
    rt.true_value = make_unique_value("true");
    rt.false_value = make_unique_value("false");

    rt.global = rt.heap.make<environment>(rt, nullptr);
    rt.global->make_global();
    rt.keep_forever(rt.global);
    environment* g = rt.global;
    g->bind_name(rt.names.intern("true"), rt.true_value);
    g->bind_name(rt.names.intern("false"), rt.false_value);
    g->bind_name(rt.names.intern("nil"), rt.nil);
    const std::pair<const char*, Type*> named_types[] = {
        {"type", t.type},         {"integer", t.integer}, {"string", t.string}, {"dictionary", t.dictionary},
        {"environment", t.environment}, {"unique", t.unique}, {"symbol", t.symbol}, {"cell", t.cell},
        {"function", t.function}, {"class", t.Class},
    };
    for (const auto& [name, type] : named_types) g->bind_name(rt.names.intern(name), type);
}

num_symbol* next_num_symbol(Runtime& rt) {
    ++rt.num_symbol_generator.counter;
    return rt.heap.make<num_symbol>(rt, rt.num_symbol_generator.counter);
}

// ---- host list operations ----

bool is_symbol(const value* v) { return is<named_symbol>(v) || is<num_symbol>(v); }

bool symbol_equal(const value* a, const value* b) {
    if (is<named_symbol>(a) && is<named_symbol>(b)) {
        return as<named_symbol>(a)->name == as<named_symbol>(b)->name;
    }
    if (is<num_symbol>(a) && is<num_symbol>(b)) {
        return as<num_symbol>(a)->number == as<num_symbol>(b)->number;
    }
    return false;
}

value* make_list(Runtime& rt, const std::vector<value*>& items) { return make_list(rt, items.data(), items.size()); }

value* make_list(Runtime& rt, value* const* items, std::size_t count) {
    // Built from the back: the same fresh chain the cons-then-reverse recipe gives.
    value* list = rt.nil;
    while (count > 0) list = cons(rt, items[--count], list);
    return list;
}

std::vector<value*> from_list(value* list) {
    std::vector<value*> items;
    for (value* rest = list; is<cell>(rest); rest = as<cell>(rest)->cdr) items.push_back(as<cell>(rest)->car);
    return items;
}

value* reverse(Runtime& rt, value* list) {
    value* reversed = rt.nil;
    for (value* rest = list; is<cell>(rest); rest = as<cell>(rest)->cdr) {
        reversed = cons(rt, as<cell>(rest)->car, reversed);
    }
    return reversed;
}

bool is_list(const value* v) {
    while (is<cell>(v)) v = as<cell>(v)->cdr;
    return is<unique>(v) && as<unique>(v)->name == "nil";
}

std::size_t list_length(const value* list) {
    std::size_t n = 0;
    for (; is<cell>(list); list = as<cell>(list)->cdr) ++n;
    return n;
}

static bool headed_by(const value* x, const Name* name) {
    if (!is<cell>(x)) return false;
    const value* head = as<cell>(x)->car;
    return is<named_symbol>(head) && as<named_symbol>(head)->name == name;
}

bool is_unquote(const Runtime& rt, const value* x) { return headed_by(x, rt.known.unquote); }
bool is_unquote_splicing(const Runtime& rt, const value* x) { return headed_by(x, rt.known.unquote_splicing); }

}  // namespace velune
