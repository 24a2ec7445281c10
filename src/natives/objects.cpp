// The object-system natives: instances, attributes, the class hierarchy, class inspection.
#include <unordered_set>
#include <vector>

#include "natives/natives.h"

namespace velune {

value* get_attr(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "get-attr");
    args.expect_exactly(2);
    instance* object = args.instance(0);
    value* v = object->get_attr(args.named_symbol(1)->name);
    // A slot never written holds nothing yet: it reads as nil.
    return v != nullptr ? v : in.rt.nil;
}

value* set_attr(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "set-attr");
    instance* object = args.instance(0);
    const Name* name = args.named_symbol(1)->name;
    object->set_attr(name, args.any(2));
    return in.rt.nil;
}

namespace {
instance* fresh_instance(Runtime& rt, Class* c) {
    instance* made = rt.heap.make<instance>(c);
    for (value*& slot : made->slots) slot = rt.nil;
    return made;
}
}  // namespace

value* make_instance(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "make-instance");
    return fresh_instance(in.rt, args.Class(0));
}

// What the natives do when nothing can fail: an attribute a class's instances hold in their
// own slots (a static one goes to the native, whose error a missing one raises).
value* fast_set_attr(Runtime& rt, value* const* a, std::size_t count) {
    if (count != 3 || !is<instance>(a[0]) || !is<named_symbol>(a[1])) return nullptr;
    auto* object = as<instance>(a[0]);
    const auto& index = object->class_of()->attribute_index;
    const auto found = index.find(as<named_symbol>(a[1])->name);
    if (found == index.end()) return nullptr;
    write_barrier(object);
    object->slots[found->second] = a[2];
    return rt.nil;
}

value* fast_make_instance(Runtime& rt, value* const* a, std::size_t count) {
    return count == 1 && is<Class>(a[0]) ? fresh_instance(rt, as<Class>(a[0])) : nullptr;
}

bool subclass_of(value* a, value* b) {
    // Most classes have one parent and short chains: followed without allocating.
    value* c = a;
    for (int steps = 0; steps < 32; ++steps) {
        if (c == b) return true;
        if (!is<Class>(c)) return false;
        const auto& parents = as<Class>(c)->parents;
        if (parents.empty()) return false;
        if (parents.size() > 1) break;
        c = parents.front();
    }
    // Identity along the parent chains, depth first without host recursion; a class
    // reached twice through a shared ancestor is searched once.
    std::vector<value*> pending{a};
    std::unordered_set<value*> seen;
    while (!pending.empty()) {
        value* c = pending.back();
        pending.pop_back();
        if (c == b) return true;
        if (!is<Class>(c) || !seen.insert(c).second) continue;
        const auto& parents = as<Class>(c)->parents;
        for (auto p = parents.rbegin(); p != parents.rend(); ++p) pending.push_back(*p);
    }
    return false;
}

value* is_subclass(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "is-subclass");
    return in.rt.boolean(subclass_of(args.any(0), args.any(1)));
}

namespace {
value* symbols(Runtime& rt, const std::vector<const Name*>& names) {
    value* list = rt.nil;
    for (auto name = names.rbegin(); name != names.rend(); ++name) list = cons(rt, make_symbol(rt, *name), list);
    return list;
}
}  // namespace

value* get_owned_attributes(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "get-class-owned-attributes");
    return symbols(in.rt, args.Class(0)->attributes);
}

value* get_all_attributes(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "get-all-class-attributes");
    return symbols(in.rt, args.Class(0)->all_attributes);
}

value* get_class_env(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "get-class-env");
    velune::environment* env = args.Class(0)->environment;
    return env != nullptr ? static_cast<value*>(env) : in.rt.nil;
}

}  // namespace velune
