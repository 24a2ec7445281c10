// Structural equality on shapes no golden program can build cheaply: very long and very deep.
#include <gtest/gtest.h>

#include "natives/natives.h"
#include "prelude/prelude.h"

namespace velune {
namespace {

value* long_list(Runtime& rt, int length, std::int64_t last) {
    value* list = rt.nil;
    for (int i = 0; i < length; ++i) list = cons(rt, make_integer(rt, i == 0 ? last : i), list);
    return list;
}

value* deep_list(Runtime& rt, int depth, std::int64_t innermost) {
    value* list = make_integer(rt, innermost);
    for (int i = 0; i < depth; ++i) list = cons(rt, list, rt.nil);
    return list;
}

TEST(Equality, WalksLongAndDeepListsWithoutHostRecursion) {
    Runtime rt;
    prelude::establish(rt, prelude::mode::skip);
    EXPECT_TRUE(values_equal(rt, long_list(rt, 300'000, 7), long_list(rt, 300'000, 7)));
    EXPECT_FALSE(values_equal(rt, long_list(rt, 300'000, 7), long_list(rt, 300'000, 8)));
    EXPECT_TRUE(values_equal(rt, deep_list(rt, 300'000, 1), deep_list(rt, 300'000, 1)));
    EXPECT_FALSE(values_equal(rt, deep_list(rt, 300'000, 1), deep_list(rt, 300'000, 2)));
}

}  // namespace
}  // namespace velune
