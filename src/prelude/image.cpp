// The state the standard library leaves, written as bytes at build time and restored at
// start-up: every value reachable from the global environment, with its identity, doc and
// metadata, the order of every scope and dictionary, and the generated-symbol counter.
#include "prelude/image.h"

#include <cstring>
#include <stdexcept>
#include <unordered_map>

#include "natives/natives.h"

namespace velune::prelude {

namespace {

constexpr std::string_view magic = "velune-image-1";

// The record kinds: the value kinds, and references to what start-up makes before the library.
// Set in a record's kind byte when a doc and metadata reference follow its contents.
constexpr std::uint8_t has_notes = 0x80;

enum class record : std::uint8_t {
    unique, named_symbol, num_symbol, integer, floating, string, cell, hashtable, environment,
    function, lispfunc, Class, instance, type_ref, builtin_ref, global
};
// The kind byte of a cell without notes: the one record given without its length.
constexpr std::uint8_t plain_cell = static_cast<std::uint8_t>(record::cell);

class Writer {
public:
    void byte(std::uint8_t b) { out.push_back(static_cast<char>(b)); }
    void number(std::uint64_t n) {
        while (n >= 0x80) {
            byte(static_cast<std::uint8_t>(n | 0x80));
            n >>= 7;
        }
        byte(static_cast<std::uint8_t>(n));
    }
    void signed_number(std::int64_t n) { number((static_cast<std::uint64_t>(n) << 1) ^ static_cast<std::uint64_t>(n >> 63)); }
    void text(std::string_view t) {
        number(t.size());
        out.append(t);
    }
    std::string out;
};

class Reader {
public:
    explicit Reader(std::string_view in)
        : begin(reinterpret_cast<const std::uint8_t*>(in.data())), at(begin), end(begin + in.size()) {}
    std::uint8_t byte() {
        if (at == end) throw std::runtime_error("the start-up image is truncated");
        return *at++;
    }
    std::uint64_t number() {
        // Nearly every number is an id or a count under 16384: one or two bytes.
        if (end - at >= 2) {
            const std::uint8_t b0 = at[0];
            if (b0 < 0x80) {
                ++at;
                return b0;
            }
            const std::uint8_t b1 = at[1];
            if (b1 < 0x80) {
                at += 2;
                return (b0 & 0x7fu) | static_cast<std::uint64_t>(b1) << 7;
            }
        }
        return long_number();
    }
    std::uint64_t long_number() {
        std::uint64_t n = 0;
        for (int shift = 0;; shift += 7) {
            const std::uint8_t b = byte();
            n |= static_cast<std::uint64_t>(b & 0x7f) << shift;
            if ((b & 0x80) == 0) return n;
        }
    }
    std::int64_t signed_number() {
        const std::uint64_t n = number();
        return static_cast<std::int64_t>(n >> 1) ^ -static_cast<std::int64_t>(n & 1);
    }
    std::string_view text() {
        const std::size_t size = number();
        if (size > static_cast<std::size_t>(end - at)) throw std::runtime_error("the start-up image is truncated");
        std::string_view t(reinterpret_cast<const char*>(at), size);
        at += size;
        return t;
    }
    bool done() const { return at == end; }
    std::size_t size() const { return static_cast<std::size_t>(end - begin); }
    std::size_t position() const { return static_cast<std::size_t>(at - begin); }
    void skip_to(std::size_t p) { at = begin + p; }

private:
    const std::uint8_t* begin;
    const std::uint8_t* at;
    const std::uint8_t* end;
};

// The fourteen types, in a fixed order for references.
std::vector<Type*> all_types(const Runtime& rt) {
    const Types& t = rt.types;
    return {t.type,  t.integer, t.string, t.dictionary, t.environment,     t.unique,          t.symbol,
            t.cell,  t.function, t.Class, t.floating,   t.native_function, t.lisp_function, t.resumable_native};
}

// ---- writing ----

class ImageWriter {
public:
    explicit ImageWriter(Runtime& rt) : rt(rt) {}

    std::string write() {
        w.text(magic);
        w.signed_number(rt.num_symbol_generator.counter);
        number_from(rt.global);
        // A plain cell is its kind byte and two references, which the first reading takes
        // whole; every other record gives its length after its kind byte, so that the first
        // reading can step over it.
        Writer head = std::move(w);
        Writer all;
        for (std::size_t i = 0; i < order.size(); ++i) {
            w.out.clear();
            describe(order[i]);
            if (static_cast<std::uint8_t>(w.out[0]) == plain_cell) {
                all.out += w.out;
            } else {
                all.out += w.out[0];
                all.number(w.out.size() - 1);
                all.out.append(w.out, 1);
            }
        }
        // Every name once, before the records that refer to them by number, and how many
        // records follow.
        head.number(names.size());
        for (const Name* n : names) head.text(n->text);
        head.number(order.size());
        return std::move(head.out) + all.out;
    }

private:
    Runtime& rt;
    Writer w;
    std::unordered_map<const value*, std::uint64_t> ids;
    std::vector<value*> order;
    std::unordered_map<const Name*, std::uint64_t> name_ids;
    std::vector<const Name*> names;

    // What a record refers to, in any fixed order.
    void children(value* v, std::vector<value*>& out) const {
        switch (v->kind) {
        case value_kind::cell:
            out.push_back(as<cell>(v)->car);
            out.push_back(as<cell>(v)->cdr);
            break;
        case value_kind::hashtable:
            for (const auto& entry : as<hashtable>(v)->table.entries) out.push_back(entry.second);
            break;
        case value_kind::environment: {
            auto* env = as<environment>(v);
            out.push_back(env->parent);
            for (const auto& entry : env->name_bindings(rt)) out.push_back(entry.second);
            for (const auto& entry : env->numbered()) out.push_back(entry.second);
            break;
        }
        case value_kind::function: out.push_back(as<function>(v)->implementation); break;
        case value_kind::lispfunc: {
            auto* f = as<lispfunc>(v);
            out.insert(out.end(), f->parameters.begin(), f->parameters.end());
            out.push_back(f->rest_parameter);
            out.push_back(f->body);
            out.push_back(f->closure);
            break;
        }
        case value_kind::Class: {
            auto* c = as<Class>(v);
            out.insert(out.end(), c->parents.begin(), c->parents.end());
            for (const auto& entry : c->static_attributes.entries) out.push_back(entry.second);
            out.push_back(c->environment);
            break;
        }
        case value_kind::instance:
            out.push_back(v->type);
            out.insert(out.end(), as<instance>(v)->slots.begin(), as<instance>(v)->slots.end());
            break;
        default:
            break;
        }
        out.push_back(v->doc());
        out.push_back(v->metadata());
    }

    // Numbers every object reachable from `root` after what it refers to, wherever no cycle
    // is in the way: the first reading then makes most cells whole at once. Depth first,
    // without host recursion (a long list is a deep path).
    void number_from(value* root) {
        struct visit {
            value* v;
            std::vector<value*> children;
            std::size_t next = 0;
        };
        std::unordered_map<const value*, bool> entered;
        std::vector<visit> path;
        auto enter = [&](value* v) {
            if (v == nullptr || !entered.emplace(v, true).second) return;
            path.push_back(visit{v, {}});
            children(v, path.back().children);
        };
        enter(root);
        while (!path.empty()) {
            visit& top = path.back();
            if (top.next < top.children.size()) {
                enter(top.children[top.next++]);
                continue;
            }
            id_of(top.v);
            path.pop_back();
        }
    }

    void name(const Name* n) {
        auto [found, inserted] = name_ids.emplace(n, names.size());
        if (inserted) names.push_back(n);
        w.number(found->second);
    }

    std::uint64_t id_of(value* v) {
        if (v == nullptr) return 0;
        auto [found, inserted] = ids.emplace(v, order.size() + 1);
        if (inserted) order.push_back(v);
        return found->second;
    }
    void ref(value* v) { w.number(id_of(v)); }
    void refs(const std::vector<value*>& vs) {
        w.number(vs.size());
        for (value* v : vs) ref(v);
    }
    template <class Map> void name_entries(const Map& entries) {
        w.number(entries.size());
        for (const auto& entry : entries) {
            name(entry.first);
            ref(entry.second);
        }
    }

    void describe(value* v) {
        switch (v->kind) {
        case value_kind::unique:
            w.byte(static_cast<std::uint8_t>(record::unique));
            w.number(v == rt.nil ? 0 : v == rt.true_value ? 1 : 2);
            break;
        case value_kind::named_symbol:
            w.byte(static_cast<std::uint8_t>(record::named_symbol));
            name(as<named_symbol>(v)->name);
            break;
        case value_kind::num_symbol:
            w.byte(static_cast<std::uint8_t>(record::num_symbol));
            w.signed_number(as<num_symbol>(v)->number);
            break;
        case value_kind::integer:
            w.byte(static_cast<std::uint8_t>(record::integer));
            w.signed_number(as<integer>(v)->int_value);
            break;
        case value_kind::floating: {
            w.byte(static_cast<std::uint8_t>(record::floating));
            std::uint64_t bits;
            std::memcpy(&bits, &as<floating>(v)->float_value, sizeof bits);
            w.number(bits);
            break;
        }
        case value_kind::string:
            w.byte(static_cast<std::uint8_t>(record::string));
            w.text(as<string>(v)->text);
            break;
        case value_kind::cell:
            w.byte(static_cast<std::uint8_t>(record::cell));
            ref(as<cell>(v)->car);
            ref(as<cell>(v)->cdr);
            break;
        case value_kind::hashtable: {
            w.byte(static_cast<std::uint8_t>(record::hashtable));
            const auto& entries = as<hashtable>(v)->table.entries;
            w.number(entries.size());
            for (const auto& entry : entries) {
                w.text(entry.first);
                ref(entry.second);
            }
            break;
        }
        case value_kind::environment: {
            auto* env = as<environment>(v);
            w.byte(static_cast<std::uint8_t>(env == rt.global ? record::global : record::environment));
            ref(env->parent);
            name_entries(env->name_bindings(rt));
            const auto numbered = env->numbered();
            w.number(numbered.size());
            for (const auto& entry : numbered) {
                w.signed_number(entry.first);
                ref(entry.second);
            }
            break;
        }
        case value_kind::function:
            w.byte(static_cast<std::uint8_t>(record::function));
            w.number(static_cast<std::uint8_t>(as<function>(v)->exec_mode));
            ref(as<function>(v)->implementation);
            break;
        case value_kind::lispfunc: {
            auto* f = as<lispfunc>(v);
            w.byte(static_cast<std::uint8_t>(record::lispfunc));
            refs(f->parameters);
            ref(f->rest_parameter);
            ref(f->body);
            ref(f->closure);
            w.number(f->dispatches ? 1 : 0);
            break;
        }
        case value_kind::nativefunc:
        case value_kind::resumable_native:
            w.byte(static_cast<std::uint8_t>(record::builtin_ref));
            w.text(v->kind == value_kind::nativefunc ? as<nativefunc>(v)->name : as<resumable_native>(v)->name);
            break;
        case value_kind::Class: {
            auto* c = as<Class>(v);
            w.byte(static_cast<std::uint8_t>(record::Class));
            refs(c->parents);
            for (const auto* attributes : {&c->attributes, &c->all_attributes}) {
                w.number(attributes->size());
                for (const Name* n : *attributes) name(n);
            }
            name_entries(c->static_attributes.entries);
            ref(c->environment);
            break;
        }
        case value_kind::instance: {
            auto* i = as<instance>(v);
            w.byte(static_cast<std::uint8_t>(record::instance));
            ref(i->type);
            refs(i->slots);
            break;
        }
        case value_kind::Type: {
            w.byte(static_cast<std::uint8_t>(record::type_ref));
            const auto types = all_types(rt);
            std::size_t index = 0;
            while (types[index] != v) ++index;
            w.number(index);
            break;
        }
        }
        // Few values carry a doc or metadata: the record's first byte says whether it does.
        if (v->doc() != nullptr || v->metadata() != nullptr) {
            w.out[0] = static_cast<char>(static_cast<std::uint8_t>(w.out[0]) | has_notes);
            ref(v->doc());
            ref(v->metadata());
        }
    }
};

// ---- restoring ----

class ImageReader {
public:
    ImageReader(Runtime& rt, std::string_view bytes) : rt(rt), r(bytes) {}

    void restore() {
        try {
            read_all();
        } catch (...) {
            hand_over();
            throw;
        }
        hand_over();
    }

private:
    // Every object made here becomes the heap's, whole or not: a failed reading leaves no
    // strays. The list of ids is compacted into the heap's list of them, each marked
    // permanent on the way.
    void hand_over() {
        for (const std::size_t id : shared) objects[id] = nullptr;  // made before the image
        std::size_t kept = 0;
        for (gc_object* o : objects) {
            if (o == nullptr) continue;
            o->permanent = true;
            objects[kept++] = o;
        }
        objects.resize(kept);
        rt.heap.adopt_permanent(std::move(objects), changing);
        objects.clear();
    }

    void read_all() {
        if (r.text() != magic) throw std::runtime_error("the start-up image is not one this program wrote");
        const std::int64_t counter = r.signed_number();
        names.resize(r.number());
        for (const Name*& n : names) n = rt.names.intern(r.text());
        const std::size_t count = r.number();
        if (count > r.size() || r.size() > UINT32_MAX) throw std::runtime_error("the start-up image is truncated");
        objects.assign(count + 1, nullptr);  // id 0 is no object
        // A record is made whole at once when everything it refers to exists (most cells);
        // the others are read again to fill their references, since scopes, closures and
        // classes refer to each other in cycles.
        for (std::size_t id = 1; id <= count; ++id) {
            const std::size_t start = r.position();
            const std::uint8_t first = r.byte();
            bool whole;
            if (first == plain_cell) {
                whole = make_cell(id);
            } else {
                const std::size_t length = r.number();
                if (length > r.size() - r.position()) throw std::runtime_error("the start-up image is truncated");
                const std::size_t end = r.position() + length;
                whole = make_object(id, first);
                r.skip_to(end);
            }
            if (!whole) deferred.emplace_back(static_cast<std::uint32_t>(id), static_cast<std::uint32_t>(start));
        }
        if (!r.done()) throw std::runtime_error("the start-up image has bytes after its end");
        for (const auto& [id, class_id] : pending_instances) {
            value* c = at(class_id);
            if (c == nullptr || !is<Class>(c)) throw std::runtime_error("the start-up image has an instance without a class");
            objects[id] = rt.heap.make_unlisted<instance>(as<Class>(c));
            changing.push_back(objects[id]);
        }
        Reader fill = r;
        for (const auto& [id, start] : deferred) {
            fill.skip_to(start);
            fill_object(fill, static_cast<value*>(objects[id]));
        }
        rt.num_symbol_generator.counter = counter;
    }

    Runtime& rt;
    Reader r;
    std::vector<gc_object*> objects;  // by id; each a value
    std::vector<std::size_t> shared;  // in order, the ids of values that existed before (nil, types, ...)
    std::vector<gc_object*> changing;  // the objects made whose references can change later
    std::vector<const Name*> names;
    std::vector<std::pair<std::size_t, std::uint64_t>> pending_instances;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> deferred;  // id and where its record starts
    std::unordered_map<std::string_view, value*> builtins;

    value* builtin(std::string_view name) {
        if (builtins.empty()) {
            for (const auto& entry : rt.global->names.entries) {
                auto* f = entry.second != nullptr && is<function>(entry.second) ? as<function>(entry.second) : nullptr;
                if (f == nullptr) continue;
                value* impl = f->implementation;
                if (is<nativefunc>(impl)) builtins.emplace(as<nativefunc>(impl)->name, impl);
                if (is<resumable_native>(impl)) builtins.emplace(as<resumable_native>(impl)->name, impl);
            }
        }
        auto found = builtins.find(name);
        if (found == builtins.end()) throw std::runtime_error("the start-up image names an unknown built-in " + std::string(name));
        return found->second;
    }

    // First reading: one object per record, with its plain contents; the caller steps over
    // the references, which the second reading fills in.
    // Whether the record `id` can take its reference to `ref` now.
    bool known(std::uint64_t ref, std::size_t id) const { return ref == 0 || (ref < id && objects[ref] != nullptr); }

    // True when the object is whole; false when the second reading must fill it.
    bool make_cell(std::size_t id) {
        const std::uint64_t car = r.number();
        const std::uint64_t cdr = r.number();
        if (known(car, id) && known(cdr, id)) {
            objects[id] = rt.heap.make_unlisted<cell>(rt, static_cast<value*>(objects[car]), static_cast<value*>(objects[cdr]));
            return true;
        }
        objects[id] = rt.heap.make_unlisted<cell>(rt, rt.nil, rt.nil);
        return false;
    }

    bool make_object(std::size_t id, std::uint8_t first) {
        const auto kind = static_cast<record>(first & ~has_notes);
        value* v = nullptr;
        bool whole = (first & has_notes) == 0;
        switch (kind) {
        case record::unique: {
            const auto which = r.number();
            v = which == 0 ? rt.nil : which == 1 ? rt.true_value : rt.false_value;
            break;
        }
        case record::named_symbol: v = rt.heap.make_unlisted<named_symbol>(rt, name(r)); break;
        case record::num_symbol: v = rt.heap.make_unlisted<num_symbol>(rt, r.signed_number()); break;
        case record::integer: v = rt.heap.make_unlisted<integer>(rt, r.signed_number()); break;
        case record::floating: {
            const std::uint64_t bits = r.number();
            double d;
            std::memcpy(&d, &bits, sizeof d);
            v = rt.heap.make_unlisted<floating>(rt, d);
            break;
        }
        case record::string: v = rt.heap.make_unlisted<string>(rt, std::string(r.text())); break;
        case record::cell: {
            const std::uint64_t car = r.number();
            const std::uint64_t cdr = r.number();
            if (known(car, id) && known(cdr, id)) {
                v = rt.heap.make_unlisted<cell>(rt, static_cast<value*>(objects[car]), static_cast<value*>(objects[cdr]));
            } else {
                v = rt.heap.make_unlisted<cell>(rt, rt.nil, rt.nil);
                whole = false;
            }
            break;
        }
        case record::hashtable: v = rt.heap.make_unlisted<hashtable>(rt); break;
        // Its parent comes with its bindings: the global scope holds the place till then.
        case record::environment: v = rt.heap.make_unlisted<environment>(rt, rt.global); break;
        case record::global: v = rt.global; break;
        case record::function: v = rt.heap.make_unlisted<function>(rt, static_cast<exec_mode>(r.number()), nullptr); break;
        case record::lispfunc:
            v = rt.heap.make_unlisted<lispfunc>(rt, std::vector<value*>{}, nullptr, rt.nil, nullptr);
            break;
        case record::Class:
            v = rt.heap.make_unlisted<Class>(rt, std::vector<value*>{}, std::vector<const Name*>{}, nullptr);
            changing.push_back(v);
            break;
        case record::instance:
            // Its class may come later: the instance is made once every record has its object.
            pending_instances.emplace_back(id, r.number());
            break;
        case record::type_ref: v = all_types(rt).at(r.number()); break;
        case record::builtin_ref: v = builtin(r.text()); break;
        default: throw std::runtime_error("the start-up image holds an unknown record");
        }
        switch (kind) {
        case record::unique: case record::global: case record::type_ref: case record::builtin_ref:
            shared.push_back(id);
            break;
        case record::hashtable: case record::environment:
            changing.push_back(v);
            break;
        default:
            break;
        }
        objects[id] = v;
        switch (kind) {
        case record::hashtable: case record::environment: case record::global: case record::function:
        case record::lispfunc: case record::Class: case record::instance:
            return false;
        default:
            return whole;
        }
    }

    const Name* name(Reader& f) {
        const std::uint64_t n = f.number();
        if (n >= names.size()) throw std::runtime_error("the start-up image refers past its names");
        return names[n];
    }

    value* at(std::uint64_t id) {
        if (id >= objects.size()) throw std::runtime_error("the start-up image refers past its end");
        return static_cast<value*>(objects[id]);
    }
    std::vector<value*> list(Reader& f) {
        std::vector<value*> vs(f.number());
        for (auto& v : vs) v = at(f.number());
        return vs;
    }

    // Second reading: every reference set, in the order the original held it.
    void fill_object(Reader& f, value* v) {
        const std::uint8_t first = f.byte();
        if (first != plain_cell) f.number();  // the record's length
        const auto kind = static_cast<record>(first & ~has_notes);
        switch (kind) {
        case record::unique: f.number(); break;
        case record::named_symbol: f.number(); break;
        case record::num_symbol:
        case record::integer:
        case record::floating: f.number(); break;
        case record::string: f.text(); break;
        case record::cell: {
            auto* c = as<cell>(v);
            c->car = at(f.number());
            c->cdr = at(f.number());
            break;
        }
        case record::hashtable: {
            auto& table = as<hashtable>(v)->table;
            const auto count = f.number();
            table.reserve(count);
            for (auto n = count; n > 0; --n) {
                const std::string_view key = f.text();
                table.bind(key, at(f.number()));
            }
            break;
        }
        case record::environment:
        case record::global: {
            auto* env = as<environment>(v);
            env->set_parent(as_environment(at(f.number())));
            if (env->parent == nullptr && env != rt.global) rt.names.scope_without_root();
            env->clear_bindings();
            const auto count = f.number();
            env->names.reserve(count);
            for (auto n = count; n > 0; --n) {
                const Name* key = name(f);
                env->bind_name(key, at(f.number()));
            }
            for (auto n = f.number(); n > 0; --n) {
                const std::int64_t number = f.signed_number();
                env->bind_number(number, at(f.number()));
            }
            break;
        }
        case record::function:
            f.number();
            as<function>(v)->implementation = at(f.number());
            break;
        case record::lispfunc: {
            auto* fn = as<lispfunc>(v);
            fn->parameters = list(f);
            fn->rest_parameter = at(f.number());
            fn->body = at(f.number());
            fn->closure = as_environment(at(f.number()));
            fn->dispatches = f.number() != 0;
            fn->forget_direct();
            break;
        }
        case record::Class: {
            auto* c = as<Class>(v);
            c->parents = list(f);
            for (auto* attributes : {&c->attributes, &c->all_attributes}) {
                attributes->resize(f.number());
                for (const Name*& n : *attributes) n = name(f);
            }
            c->attribute_index.clear();
            for (std::size_t i = 0; i < c->all_attributes.size(); ++i) c->attribute_index[c->all_attributes[i]] = i;
            for (auto n = f.number(); n > 0; --n) {
                const Name* key = name(f);
                c->static_attributes.bind(key, at(f.number()));
            }
            c->environment = as_environment(at(f.number()));
            break;
        }
        case record::instance:
            f.number();
            as<instance>(v)->slots = list(f);
            break;
        case record::type_ref: f.number(); break;
        case record::builtin_ref: f.text(); break;
        default: throw std::runtime_error("the start-up image holds an unknown record");
        }
        if ((first & has_notes) == 0) return;
        value* doc = at(f.number());
        value* metadata = at(f.number());
        if (doc != nullptr) v->set_doc(rt.heap, doc);
        if (metadata != nullptr) v->set_metadata(rt.heap, metadata);
    }

    static environment* as_environment(value* v) { return v == nullptr ? nullptr : as<environment>(v); }
};

}  // namespace

std::string write_image(Runtime& rt) { return ImageWriter(rt).write(); }

void restore_image(Runtime& rt, std::string_view bytes) {
    ImageReader reader(rt, bytes);
    reader.restore();
}

}  // namespace velune::prelude
