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

value* make_instance(Interpreter& in, environment*, value* arguments) {
    Runtime& rt = in.rt;
    arg_list args(rt, arguments, "make-instance");
    instance* made = rt.heap.make<instance>(args.Class(0));
    for (value*& slot : made->slots) slot = rt.nil;
    return made;
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
