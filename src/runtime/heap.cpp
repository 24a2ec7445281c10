// Mark from the roots with an explicit gray stack, then sweep the object list.
#include "runtime/heap.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "runtime/runtime.h"

namespace velune {

namespace {
// Every live heap by its id, so that a write barrier, which sees only the object, can
// reach the heap that made it. Runtimes nest (a test may hold two), never by the hundred.
std::array<Heap*, 256> heaps{};
}  // namespace

void log_old_write(gc_object* o) { heaps[o->heap_id]->log(o); }

void NoteTable::set(gc_object* o, gc_object* note) {
    if (o->noted) {
        for (std::size_t i = slot_of(o);; i = (i + 1) & mask()) {
            if (slots[i].key == o) {
                slots[i].note = note;
                return;
            }
        }
    }
    if (2 * (used + 1) > slots.size()) {
        std::vector<slot> old(slots.size() * 2);
        old.swap(slots);
        for (const slot& s : old) {
            if (s.key == nullptr) continue;
            std::size_t i = slot_of(s.key);
            while (slots[i].key != nullptr) i = (i + 1) & mask();
            slots[i] = s;
        }
    }
    std::size_t i = slot_of(o);
    while (slots[i].key != nullptr) i = (i + 1) & mask();
    slots[i] = slot{o, note};
    ++used;
    o->noted = true;
    o->bare = false;  // the sweep must drop the entry
}

void NoteTable::erase(const gc_object* o) {
    std::size_t i = slot_of(o);
    while (slots[i].key != o) i = (i + 1) & mask();
    // Linear probing without tombstones: each later entry of the run that may not stay
    // where it is moves into the hole.
    for (std::size_t j = (i + 1) & mask(); slots[j].key != nullptr; j = (j + 1) & mask()) {
        const std::size_t home = slot_of(slots[j].key);
        // The entry at j may fill the hole at i unless its home lies in (i, j].
        const bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
        if (stays) continue;
        slots[i] = slots[j];
        i = j;
    }
    slots[i] = slot{};
    --used;
    const_cast<gc_object*>(o)->noted = false;
}

Heap::Heap() {
    const auto free = std::find(heaps.begin(), heaps.end(), nullptr);
    if (free == heaps.end()) throw std::runtime_error("too many runtimes alive at once");
    *free = this;
    id = static_cast<std::uint8_t>(free - heaps.begin());
}

Heap::~Heap() {
    heaps[id] = nullptr;
    objects.for_each([this](gc_object* o) { destroy(o); });
    old_objects.for_each([this](gc_object* o) { destroy(o); });
    for (const auto& frozen : permanent_objects) {
        frozen.for_each([this](gc_object* o) { destroy(o); });
    }
    for (const auto& made : adopted_objects) {
        for (gc_object* o : made) destroy(o);
    }
}

void Heap::adopt_permanent(std::vector<gc_object*> made, const std::vector<gc_object*>& changing) {
    for (gc_object* o : changing) remember(o);
#ifndef NDEBUG
    // The debug builds check the maker's list against the objects themselves.
    for (gc_object* o : made) {
        if (!o->permanent) internal_failure("adopt_permanent: an object not marked permanent");
        if (o->has_mutable_references() && !o->remembered) internal_failure("adopt_permanent: a changeable object left out");
    }
#endif
    permanent_count += made.size();
    adopted_objects.push_back(std::move(made));
}

void Heap::freeze(sweep s) {
    if (s == sweep::first) collect(kind::major);
    for (gc_object* o : written) o->logged = false;
    written.clear();
    for (object_list* list : {&old_objects, &objects}) {
        list->for_each([this](gc_object* o) {
            o->permanent = true;
            o->marked = false;
            if (o->has_mutable_references()) remember(o);
        });
        permanent_count += list->size();
        permanent_objects.push_back(std::move(*list));
        *list = object_list{blocks};  // what is made from now on
    }
    old_bytes = old_after_major = 0;
}

void Heap::remove_root_source(const root_source* s) {
    // Interpreters nest strictly, so the source is nearly always the last one.
    for (auto i = sources.size(); i-- > 0;) {
        if (sources[i] == s) {
            sources.erase(sources.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

void Heap::mark_roots(Tracer& t) const {
    for (const root_source* s : sources) s->trace_roots(t);
    for (const temp_slot& r : temp_roots) t.visit(r.read(r.slot));
    for (const gc_object* o : changeable) o->trace_all(t);
}

void Heap::collect(kind k) {
    Tracer t(k == kind::minor);
    if (k == kind::major) {
        for (gc_object* o : written) o->logged = false;
        old_objects.for_each([](gc_object* o) { o->marked = false; });
    } else {
        // What an old object written to now refers to may be young.
        for (gc_object* o : written) {
            o->logged = false;
            o->trace_all(t);
        }
    }
    written.clear();
    mark_roots(t);
    t.drain();
    if (k == kind::major) {
        old_bytes = 0;
        old_objects.retain([&](gc_object* o) {
            if (!o->marked) {
                destroy(o);
                return false;
            }
            old_bytes += o->allocation_size + o->extra_bytes();
            return true;
        });
    }
    // The young that survived become old, keeping their marks.
    objects.retain([&](gc_object* o) {
        if (!o->marked) {
            destroy(o);
        } else {
            old_bytes += o->allocation_size + o->extra_bytes();
            o->heap_id = id;
            old_objects.push_back(o);
        }
        return false;
    });
    if (k == kind::major) old_after_major = old_bytes;
    ++collection_count;
    allocated_since_collection = 0;
    // After a minor collection the old objects include those that died old, unknown until
    // the next major one: the wait is measured against what that one found alive.
    const std::size_t basis = k == kind::major ? old_bytes : old_after_major;
    next_collection = pool.next_collection_after(old_bytes, basis);
    // A major collection comes next once the old objects have grown by what the last major
    // one kept (garbage that died old hides among them), or when the budget's room, not the
    // live data, sets the wait.
    const bool grown = old_bytes - old_after_major >= std::max(old_after_major, SlabPool::collection_floor);
    const bool short_of_room = next_collection < std::max(SlabPool::collection_floor, 2 * basis);
    next_kind = grown || short_of_room ? kind::major : kind::minor;
    // A minor collection costs what it visits (the roots, a deep stack's most of all, and
    // what survives), not what the old objects hold: the young need wait only long enough
    // for that cost to be small beside making them, and the memory they take stays in the
    // caches.
    if (k == kind::minor) minor_visits = t.visits;  // a major one's visits tell nothing of a minor one's
    if (next_kind == kind::minor) {
        next_collection = std::min(next_collection, std::max(SlabPool::collection_floor, minor_bytes_per_visit * minor_visits));
    }
}

}  // namespace velune
