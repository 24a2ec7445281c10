// Mark from the roots with an explicit gray stack, then sweep the object list.
#include "runtime/heap.h"

#include <algorithm>

#include "runtime/runtime.h"

namespace velune {

Heap::~Heap() {
    objects.for_each([this](gc_object* o) { destroy(o); });
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
    if (s == sweep::first) collect();
    objects.for_each([this](gc_object* o) {
        o->permanent = true;
        if (o->has_mutable_references()) remember(o);
    });
    permanent_count += objects.size();
    permanent_objects.push_back(std::move(objects));
    objects = object_list{};  // what is made from now on
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

void Heap::collect() {
    Tracer t;
    mark_roots(t);
    t.drain();
    std::size_t live_bytes = 0;
    objects.retain([&](gc_object* o) {
        if (!o->marked) {
            destroy(o);
            return false;
        }
        o->marked = false;
        live_bytes += o->allocation_size + o->extra_bytes();
        return true;
    });
    ++collection_count;
    allocated_since_collection = 0;
    next_collection = pool.next_collection_after(live_bytes);
}

}  // namespace velune
