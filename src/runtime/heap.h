// The precise tracing collector: every heap object traces its references, collection
// happens only at safe points, roots come from registered root sources and TempRoots.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "runtime/pool.h"

namespace velune {

class Tracer;

struct gc_object {
    virtual ~gc_object() = default;
    // Visit every gc_object* this class adds; never recurse.
    virtual void trace(Tracer&) const {}
    // What the collector calls: values add their common fields here.
    virtual void trace_all(Tracer& t) const { trace(t); }
    // Bytes owned outside the object itself (string text, vectors), for pacing only.
    virtual std::size_t extra_bytes() const { return 0; }
    // True for the classes whose references can change after construction (scopes,
    // dictionaries, ...): a permanent one of those is traced at every collection.
    virtual bool has_mutable_references() const { return false; }
    std::uint16_t allocation_size = 0;  // what the pool must take back
    std::uint8_t heap_id = 0;           // which heap made it, set when it becomes old: only old
                                        // objects are logged (see `write_barrier`)
    // Set while a collection marks, and kept by the survivors: a marked object between
    // collections is an old one, which the next minor collection neither sweeps nor traces.
    bool marked = false;
    bool permanent : 1 = false;   // part of the state established at start-up: never swept
    bool remembered : 1 = false;  // permanent, and traced at every collection
    bool watched : 1 = false;     // permanent, and its writes counted apart (see below)
    bool bare : 1 = false;        // owns nothing outside itself (nor notes): the sweep skips its destructor
    bool logged : 1 = false;      // old, written to since the last collection (see below)
    bool noted : 1 = false;       // has an entry in `object_notes`
    // The bytes after these flags are free: the value family puts its kind there.
};

// An old object about to hold a reference it may not have held at the last collection
// goes on its heap's list of written objects, traced by the next minor collection: that
// is how a young object reachable only from an old one survives. Out of line: rare.
void log_old_write(gc_object* o);

// Writes to the permanent state, counted so that code relying on it (the fast paths of the
// standard library) can tell in O(1) whether it may have changed: writes to the watched
// objects (the global environment, the method store) and writes to every other one.
struct PermanentWrites {
    std::uint64_t watched = 0;
    std::uint64_t other = 0;
};
inline PermanentWrites permanent_writes;

// One pointer for the few objects that need it (a value's doc and metadata), kept beside
// the objects rather than in every one: each object marked `noted` has an entry, dropped
// when the object is destroyed. Keys are addresses, so one table serves every heap.
class NoteTable {
public:
    gc_object* find(const gc_object* o) const {  // nullptr when it has none
        for (std::size_t i = slot_of(o); slots[i].key != nullptr; i = (i + 1) & mask()) {
            if (slots[i].key == o) return slots[i].note;
        }
        return nullptr;
    }
    void set(gc_object* o, gc_object* note);
    void erase(const gc_object* o);
    std::size_t size() const { return used; }

private:
    struct slot {
        const gc_object* key = nullptr;
        gc_object* note = nullptr;
    };
    std::vector<slot> slots = std::vector<slot>(64);  // a power of two, at most half full
    std::size_t used = 0;

    std::size_t mask() const { return slots.size() - 1; }
    std::size_t slot_of(const gc_object* o) const {
        return static_cast<std::size_t>((reinterpret_cast<std::uintptr_t>(o) >> 3) * 0x9E3779B97F4A7C15ull >> 32) & mask();
    }
};
inline NoteTable object_notes;

// What the barriers below do for the generations, alone: for the writes whose permanent
// objects need no counting (or that only young and old objects take).
inline void old_write_barrier(const gc_object* o) {
    if (o->marked && !o->logged) [[unlikely]] log_old_write(const_cast<gc_object*>(o));
}

// Called before any change to the references an object holds.
inline void write_barrier(const gc_object* o) {
    if (o->permanent) {
        if (o->watched) {
            ++permanent_writes.watched;
        } else {
            ++permanent_writes.other;
        }
    } else {
        old_write_barrier(o);
    }
}

// The same for a write to one binding of a scope: in a watched scope only the bindings of
// watched names count, so a program's own globals can change freely.
inline void binding_barrier(const gc_object* scope, bool watched_name) {
    if (scope->permanent) {
        if (!scope->watched) {
            ++permanent_writes.other;
        } else if (watched_name) {
            ++permanent_writes.watched;
        }
    } else {
        old_write_barrier(scope);
    }
}

class Tracer {
public:
    explicit Tracer(bool minor = false) : minor(minor) {}
    // A minor collection stops at old objects: a root source may skip roots that can only
    // lead to old ones, counting the visits a full pass would have made (see `skipped`).
    bool only_young() const { return minor; }
    std::size_t visit_count() const { return visits; }
    // Visits a root source skipped but would have made: the pacing of minor collections
    // rests on what a full pass costs, not on what was saved.
    void skipped(std::size_t count) { visits += count; }

    void visit(const gc_object* o) {
        ++visits;
        // A permanent object is live by definition; the ones that can point at newer
        // objects are traced as roots instead.
        if (o != nullptr && !o->marked && !o->permanent) {
            const_cast<gc_object*>(o)->marked = true;
            gray.push_back(o);
        }
    }
    template <class Range> void visit_all(const Range& r) {
        for (const auto* o : r) visit(o);
    }
    // Marks everything reachable from what has been visited so far. Root sources with many
    // roots (a deep frame stack) call it as they go, so the mark stack stays short.
    void drain() {
        while (!gray.empty()) {
            const gc_object* o = gray.back();
            gray.pop_back();
            o->trace_all(*this);
        }
    }

private:
    friend class Heap;
    std::vector<const gc_object*> gray;  // explicit mark stack: long lists need no host stack
    std::size_t visits = 0;               // what the collection cost, for pacing the next
    bool minor;
};

// Anything that holds roots outside the heap: the runtime and every live interpreter.
struct root_source {
    virtual ~root_source() = default;
    virtual void trace_roots(Tracer&) const = 0;
};

// The blocks of object pointers the heap's lists are made of. They are mapped from the
// system, not taken from the allocator: a request of their size makes it sort every small
// chunk freed since its last one (the strings a sweep frees), some hundred thousand
// instructions each time. A block a list empties waits here for the next list that grows.
class block_store {
public:
    static constexpr std::size_t block_size = 4096;  // object pointers
    struct unmap {
        void operator()(gc_object** block) const { ::munmap(block, block_size * sizeof(gc_object*)); }
    };
    using block = std::unique_ptr<gc_object*[], unmap>;

    block take() {
        if (spare.empty()) {
            void* memory = ::mmap(nullptr, block_size * sizeof(gc_object*), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (memory == MAP_FAILED) throw std::bad_alloc();
            return block(static_cast<gc_object**>(memory));
        }
        block b = std::move(spare.back());
        spare.pop_back();
        return b;
    }
    void give(block b) { spare.push_back(std::move(b)); }

private:
    std::vector<block> spare;
};

// The heap's list of objects: pointers in fixed blocks, so that adding one is a store and a
// compare, and a deep recursion's millions of live objects never wait in two copies while a
// growing vector moves them.
class object_list {
public:
    static constexpr std::size_t block_size = block_store::block_size;

    explicit object_list(block_store& s) : store(&s) {}
    object_list(object_list&& other) noexcept
        : store(other.store), blocks(std::move(other.blocks)), next(other.next), block_end(other.block_end) {
        other.next = other.block_end = nullptr;
    }
    object_list& operator=(object_list&& other) noexcept {
        store = other.store;
        blocks = std::move(other.blocks);
        next = other.next;
        block_end = other.block_end;
        other.next = other.block_end = nullptr;
        return *this;
    }

    void push_back(gc_object* o) {
        if (next == block_end) [[unlikely]] add_block();
        *next++ = o;
    }
    bool has_room() const { return next != block_end; }
    std::size_t size() const {
        return blocks.empty() ? 0 : (blocks.size() - 1) * block_size + static_cast<std::size_t>(next - blocks.back().get());
    }
    bool empty() const { return size() == 0; }
    template <class F> void for_each(F f) const {
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            gc_object* const* end = b + 1 == blocks.size() ? next : blocks[b].get() + block_size;
            for (gc_object* const* p = blocks[b].get(); p != end; ++p) f(*p);
        }
    }
    // Keeps, in order, the objects for which `keep` is true; the blocks left empty go back
    // to the store.
    template <class Keep> void retain(Keep keep) {
        std::size_t kept = 0;
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            gc_object** end = b + 1 == blocks.size() ? next : blocks[b].get() + block_size;
            for (gc_object** p = blocks[b].get(); p != end; ++p) {
                if (keep(*p)) {
                    blocks[kept / block_size][kept % block_size] = *p;
                    ++kept;
                }
            }
        }
        for (std::size_t keep_blocks = (kept + block_size - 1) / block_size; blocks.size() > keep_blocks;) {
            store->give(std::move(blocks.back()));
            blocks.pop_back();
        }
        if (blocks.empty()) {
            next = block_end = nullptr;
        } else {
            next = blocks.back().get() + (kept - (blocks.size() - 1) * block_size);
            block_end = blocks.back().get() + block_size;
        }
    }

private:
    block_store* store;
    std::vector<block_store::block> blocks;
    gc_object** next = nullptr;
    gc_object** block_end = nullptr;

    [[gnu::noinline]] void add_block() {
        blocks.push_back(store->take());
        next = blocks.back().get();
        block_end = next + block_size;
    }
};

// Classes that say `static constexpr bool bare_class = true` hold only plain fields and references
// to other collected objects; the most numerous ones (integers, cells) die without a call.
template <class T> constexpr bool owns_nothing = requires { requires T::bare_class; };

// A generational collector that moves nothing. Objects start young; those a collection
// finds alive become old and keep their mark. A minor collection traces from the roots and
// the old objects written to since (see `write_barrier`), stopping at old objects, and
// sweeps only the young; a major one clears the marks and traces and sweeps everything.
class Heap {
public:
    Heap();
    Heap(const Heap&) = delete;
    Heap& operator=(const Heap&) = delete;
    ~Heap();

    template <class T, class... Args> T* make(Args&&... args) {
        // The commonest objects (integers, cells) are made without a call when the pool and
        // the object list have room, so that what makes them saves no registers for one.
        if constexpr (owns_nothing<T> && sizeof(T) <= SlabPool::max_small) {
            if (objects.has_room()) [[likely]] {
                if (void* memory = pool.allocate_quick(sizeof(T))) [[likely]] {
                    T* object;
                    try {
                        object = new (memory) T(std::forward<Args>(args)...);
                    } catch (...) {
                        pool.release(memory, sizeof(T));
                        throw;
                    }
                    object->allocation_size = static_cast<std::uint16_t>(sizeof(T));
                    object->bare = true;
                    objects.push_back(object);
                    count_allocation(object);
                    return object;
                }
            }
            return make_slowly<T>(std::forward<Args>(args)...);
        } else {
            return make_listed<T>(std::forward<Args>(args)...);
        }
    }

    template <class T, class... Args> [[gnu::noinline]] T* make_slowly(Args&&... args) {
        return make_listed<T>(std::forward<Args>(args)...);
    }

    template <class T, class... Args> T* make_listed(Args&&... args) {
        static_assert(sizeof(T) <= UINT16_MAX);
        T* object = pool.make<T>(std::forward<Args>(args)...);
        object->allocation_size = static_cast<std::uint16_t>(sizeof(T));
        if constexpr (owns_nothing<T>) object->bare = true;
        objects.push_back(object);
        count_allocation(object);
        return object;
    }
    template <class T> void count_allocation(const T* object) {
        // Only the classes that own memory outside themselves are asked how much.
        if constexpr (std::is_same_v<decltype(&T::extra_bytes), decltype(&gc_object::extra_bytes)>) {
            allocated_since_collection += sizeof(T);
        } else {
            allocated_since_collection += sizeof(T) + object->extra_bytes();
        }
    }

    // For the start-up image: made outside the object list, and handed over with
    // `adopt_permanent` once the image is whole.
    template <class T, class... Args> T* make_unlisted(Args&&... args) {
        static_assert(sizeof(T) <= UINT16_MAX);
        T* object = pool.make<T>(std::forward<Args>(args)...);
        object->allocation_size = static_cast<std::uint16_t>(sizeof(T));
        if constexpr (owns_nothing<T>) object->bare = true;
        return object;
    }
    // Takes objects made by make_unlisted, and already marked permanent by the maker, as
    // `freeze` takes the listed ones; `changing` are those of them whose references can
    // change (has_mutable_references), which the maker knows without asking each object.
    void adopt_permanent(std::vector<gc_object*> made, const std::vector<gc_object*>& changing);

    // The only place a collection may start: between frame steps.
    void safe_point() {
        if (stress_every > 0) {
            if (--stress_countdown > 0) return;
            stress_countdown = stress_every;
            // Mostly minor, so that the written objects' path is the one tried most.
            collect(collection_count % 4 == 3 ? kind::major : kind::minor);
        } else if (allocated_since_collection >= next_collection) {
            collect(next_kind);
        }
    }
    enum class kind { minor, major };
    void collect(kind k = kind::major);
    // What log_old_write does: the object is traced by the next minor collection.
    void log(gc_object* o) {
        o->logged = true;
        written.push_back(o);
    }

    // Makes every object alive now permanent: later collections neither sweep nor mark them,
    // and trace only those whose references can still change. Called once the standard
    // library is in place, so a collection costs what the program itself allocated. Without
    // a collection first when the caller knows nearly everything allocated is alive.
    enum class sweep { first, skip };
    void freeze(sweep s = sweep::first);
    // A permanent object whose references are about to change outside the classes that
    // say so (a doc or metadata slot given to any value); a no-op for the others.
    void remember(gc_object* o) {
        if (o->permanent && !o->remembered) {
            o->remembered = true;
            changeable.push_back(o);
        }
    }

    // Strings and vectors that grow after construction report their growth here.
    void note_growth(std::size_t bytes) { allocated_since_collection += bytes; }

    void add_root_source(const root_source* s) { sources.push_back(s); }
    void remove_root_source(const root_source* s);

    void set_budget(MemoryBudget* budget) { pool.set_budget(budget); }
    void set_stress(int every) {
        stress_every = every;
        stress_countdown = every;
    }
    std::size_t live_objects() const { return objects.size() + old_objects.size() + permanent_count; }
    std::size_t collections() const { return collection_count; }

private:
    friend class TempRoot;
    SlabPool pool;
    std::uint8_t id;      // this heap's place in the table of heaps
    block_store blocks;   // before the lists, which give their blocks back to it
    object_list objects{blocks};      // the young: swept by every collection
    object_list old_objects{blocks};  // swept by major collections only
    std::vector<gc_object*> written;  // the old objects logged since the last collection
    std::size_t old_bytes = 0;         // what the old objects took when they became old
    std::size_t old_after_major = 0;   // what survived the last major collection
    kind next_kind = kind::minor;
    // Bytes made between minor collections for each object one of them visits: making an
    // object costs some tens of instructions, a visit some few.
    static constexpr std::size_t minor_bytes_per_visit = 64;
    std::size_t minor_visits = 0;  // what the last minor collection visited
    // Destroyed only with the heap: each freeze's list kept whole, never copied, and what
    // the start-up image made.
    std::vector<object_list> permanent_objects;
    std::vector<std::vector<gc_object*>> adopted_objects;
    std::size_t permanent_count = 0;
    std::vector<gc_object*> changeable;         // the permanent ones traced as roots
    std::vector<const root_source*> sources;
    struct temp_slot {
        const void* slot;
        const gc_object* (*read)(const void*);
    };
    std::vector<temp_slot> temp_roots;
    std::size_t allocated_since_collection = 0;
    std::size_t next_collection = SlabPool::collection_floor;
    std::size_t collection_count = 0;
    int stress_every = 0;
    int stress_countdown = 0;

    void mark_roots(Tracer& t) const;
    // What a dying object that is not bare needs beyond its memory: its notes' entry
    // dropped, its destructor run.
    static void finish(gc_object* o) {
        if (o->noted) [[unlikely]] object_notes.erase(o);
        o->~gc_object();
    }
    void destroy(gc_object* o) {
        const std::size_t size = o->allocation_size;
        if (!o->bare) finish(o);
        pool.release(o, size);
    }
};

// Keeps one host local alive across a nested run: the one hazard of collecting at safe points.
class TempRoot {
public:
    template <class T> TempRoot(Heap& h, T*& slot) : heap(h) {
        heap.temp_roots.push_back({&slot, [](const void* s) -> const gc_object* {
                                       return *static_cast<T* const*>(s);
                                   }});
    }
    TempRoot(const TempRoot&) = delete;
    TempRoot& operator=(const TempRoot&) = delete;
    ~TempRoot() { heap.temp_roots.pop_back(); }

private:
    Heap& heap;
};

}  // namespace velune
