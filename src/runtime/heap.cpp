// Mark from the roots with an explicit gray stack, then sweep the object list.
#include "runtime/heap.h"

#include <algorithm>

namespace velune {

Heap::~Heap() {
    for (gc_object* o : objects) destroy(o);
    for (const auto& frozen : permanent_objects) {
        for (gc_object* o : frozen) destroy(o);
    }
    for (const auto& made : adopted_objects) {
        for (gc_object* o : made) destroy(o);
    }
}

void Heap::adopt_permanent(std::vector<gc_object*> made) {
    for (gc_object* o : made) {
        o->permanent = true;
        if (o->has_mutable_references()) remember(o);
    }
    permanent_count += made.size();
    adopted_objects.push_back(std::move(made));
}

void Heap::freeze(sweep s) {
    if (s == sweep::first) collect();
    for (gc_object* o : objects) {
        o->permanent = true;
        if (o->has_mutable_references()) remember(o);
    }
    permanent_count += objects.size();
    permanent_objects.push_back(std::move(objects));
    objects = {};
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
    auto kept = objects.begin();
    for (gc_object* o : objects) {
        if (o->marked) {
            o->marked = false;
            live_bytes += o->allocation_size + o->extra_bytes();
            *kept++ = o;
        } else {
            destroy(o);
        }
    }
    objects.erase(kept, objects.end());
    ++collection_count;
    allocated_since_collection = 0;
    // Collect again once as much is allocated as survived, with a floor for small heaps: a
    // long-lived heap (the prelude's) is then marked once per doubling, not every few MiB.
    next_collection = std::max<std::size_t>(16u << 20, live_bytes);
}

}  // namespace velune
