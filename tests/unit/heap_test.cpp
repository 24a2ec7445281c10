// The collector: unreachable cycles are reclaimed, reachable ones and suspended frames kept.
#include <gtest/gtest.h>

#include "interpreter/interpreter.h"
#include "prelude/prelude.h"

namespace velune {
namespace {

TEST(Heap, CollectsAnUnreachableSelfBindingEnvironment) {
    Runtime rt;
    prelude::establish(rt, prelude::mode::skip);
    rt.heap.collect();
    const auto before = rt.heap.live_objects();
    rt.heap.make<environment>(rt, rt.global);  // binds itself: a cycle reachable from nothing
    rt.heap.collect();
    EXPECT_EQ(rt.heap.live_objects(), before);
}

TEST(Heap, CollectsAnUnreachableDictionaryHoldingItself) {
    Runtime rt;
    prelude::establish(rt, prelude::mode::skip);
    rt.heap.collect();
    const auto before = rt.heap.live_objects();
    auto* d = rt.heap.make<hashtable>(rt);
    d->table.bind("self", d);
    rt.heap.collect();
    EXPECT_EQ(rt.heap.live_objects(), before);
}

TEST(Heap, KeepsWhatTheGlobalEnvironmentReaches) {
    Runtime rt;
    prelude::establish(rt, prelude::mode::skip);
    auto* d = rt.heap.make<hashtable>(rt);
    d->table.bind("self", d);
    rt.global->bind(make_symbol(rt, "d"), d);
    rt.heap.collect();
    value* found = rt.global->lookup_name(rt.names.intern("d"));
    ASSERT_EQ(found, d);
    EXPECT_EQ(*as<hashtable>(found)->table.find("self"), d);
}

TEST(Heap, MarksAMillionCellListWithoutHostRecursion) {
    Runtime rt;
    prelude::establish(rt, prelude::mode::skip);
    value* list = rt.nil;
    TempRoot keep(rt.heap, list);
    for (int i = 0; i < 1000000; ++i) list = cons(rt, make_integer(rt, i), list);
    rt.heap.collect();
    EXPECT_EQ(list_length(list), 1000000u);
    EXPECT_EQ(as<integer>(as<cell>(list)->car)->int_value, 999999);
}

TEST(Heap, KeepsValuesHeldOnlyBySuspendedFrames) {
    Runtime rt;
    prelude::establish(rt, prelude::mode::skip);
    Interpreter in(rt);
    value* expression = make_string(rt, "only the frame holds me");
    in.push<EvalFrame>(rt.global, expression);
    rt.heap.collect();
    EXPECT_EQ(as<string>(in.run())->text, "only the frame holds me");
}

}  // namespace
}  // namespace velune
