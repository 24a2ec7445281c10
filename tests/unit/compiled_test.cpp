// Bodies read into nodes: what each form becomes, and the sharing of one reading between
// the functions of one fn form, which must never outlive them.
#include <gtest/gtest.h>

#include "interpreter/compiled.h"
#include "interpreter/interpreter.h"
#include "parse/parse.h"
#include "prelude/prelude.h"

namespace velune {
namespace {

value* read_body(Runtime& rt, const std::string& text) {
    auto next = next_expr(rt, text, 0);
    return next->expression;
}

TEST(Compiled, FormsBecomeTheirKindsAndNestingStopsAtALimit) {
    Runtime rt;
    prelude::establish(rt, prelude::mode::skip);
    value* body = read_body(rt, "(5 x (f x 1) (g (h x)) ((fn (a) a) 2) (if c (f x) (g y)))");
    auto code = compile_body(rt, body);
    ASSERT_EQ(code->forms, 6u);
    EXPECT_EQ(code->nodes[0].what, node::kind::constant);
    EXPECT_EQ(code->nodes[1].what, node::kind::symbol);
    EXPECT_EQ(code->nodes[2].what, node::kind::leaf);
    EXPECT_EQ(code->nodes[3].what, node::kind::call);
    EXPECT_EQ(code->nodes[3].arguments[0].what, node::kind::leaf);
    EXPECT_EQ(code->nodes[4].what, node::kind::in_place);
    EXPECT_EQ(code->nodes[4].forms, 1);
    EXPECT_EQ(code->nodes[5].what, node::kind::call);
    EXPECT_TRUE(code->nodes[5].holds_none);  // the if holds no argument values
    EXPECT_FALSE(code->flat);
    EXPECT_TRUE(compile_body(rt, read_body(rt, "((f x) y 3)"))->flat);

    // Thirty calls deep: the reading stops at its limit, the rest is left to an EvalFrame.
    std::string deep = "x";
    for (int i = 0; i < 30; ++i) deep = "(f 1 " + deep + ")";
    auto nested = compile_body(rt, read_body(rt, "(" + deep + ")"));
    EXPECT_LE(nested->levels, 25u);
    const node* n = &nested->nodes[0];
    while (n->what == node::kind::call) n = &n->arguments[1];
    EXPECT_EQ(n->what, node::kind::other);

    // A function applied in place needs plain parameters, as many as its arguments.
    for (const char* text : {"(((fn (a a) a) 1 2))", "(((fn (a) a) 1 2))", "(((fn (a . b) a) 1))", "(((fn (a)) 1))"}) {
        EXPECT_EQ(compile_body(rt, read_body(rt, text))->nodes[0].what, node::kind::other) << text;
    }
    // Generated symbols are plain parameters too, distinct by number.
    const auto applied = [&](value* a, value* b) {
        value* fn = read_body(rt, "fn");
        value* parameters = cons(rt, a, cons(rt, b, rt.nil));
        value* head = cons(rt, fn, cons(rt, parameters, cons(rt, a, rt.nil)));
        return cons(rt, head, cons(rt, make_integer(rt, 1), cons(rt, make_integer(rt, 2), rt.nil)));
    };
    num_symbol* g = next_num_symbol(rt);
    EXPECT_EQ(in_place_parameters(rt, applied(g, read_body(rt, "b"))), 2);
    EXPECT_EQ(in_place_parameters(rt, applied(g, next_num_symbol(rt))), 2);
    EXPECT_EQ(in_place_parameters(rt, applied(g, rt.heap.make<num_symbol>(rt, g->number))), -1);
}

TEST(Compiled, FunctionsOfOneFormShareOneReadingThatEndsWithThem) {
    Runtime rt;
    prelude::establish(rt, prelude::mode::skip);
    do_string(rt,
              "(define make (fn () (fn (x) (- (- x 1) 1))))"
              "(define a (make)) (define b (make)) (a 5) (b 6)",
              rt.global);
    auto* a = as<lispfunc>(as<function>(rt.global->lookup_name(rt.names.intern("a")))->implementation);
    auto* b = as<lispfunc>(as<function>(rt.global->lookup_name(rt.names.intern("b")))->implementation);
    ASSERT_NE(a, b);
    ASSERT_TRUE(a->compiled);
    EXPECT_EQ(a->compiled, b->compiled);
    auto entry = rt.compiled_bodies.find(a->body);
    ASSERT_NE(entry, rt.compiled_bodies.end());
    EXPECT_FALSE(entry->second.expired());

    do_string(rt, "(define a nil) (define b nil)", rt.global);
    rt.heap.collect();
    EXPECT_TRUE(entry->second.expired());
}

TEST(Compiled, ExpiredReadingsArePrunedAsTheTableGrows) {
    Runtime rt;
    prelude::establish(rt, prelude::mode::skip);
    std::vector<value*> bodies;
    for (int i = 0; i < 3000; ++i) {
        value* body = cons(rt, cons(rt, make_symbol(rt, "f"), cons(rt, make_integer(rt, i), rt.nil)), rt.nil);
        bodies.push_back(body);
        compiled_for(rt, body);  // kept by nothing
    }
    EXPECT_LT(rt.compiled_bodies.size(), 2100u);
    auto kept = compiled_for(rt, bodies[0]);
    EXPECT_EQ(compiled_for(rt, bodies[0]), kept);
}

}  // namespace
}  // namespace velune
