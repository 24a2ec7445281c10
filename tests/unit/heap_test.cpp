// The collector: unreachable cycles are reclaimed, reachable ones and suspended frames kept.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <map>

#include "interpreter/interpreter.h"
#include "prelude/prelude.h"

namespace velune {
namespace {

// The object list keeps what survives in order across its blocks, and takes new objects
// after a collection left a block partly or wholly empty; another list takes the blocks one
// gave back.
TEST(Heap, ObjectListKeepsSurvivorsInOrderAcrossBlocks) {
    block_store store;
    object_list list{store};
    std::vector<gc_object*> made;
    const std::size_t count = 3 * object_list::block_size + 17;
    std::vector<std::unique_ptr<annotations>> owned;
    for (std::size_t i = 0; i < count; ++i) {
        owned.push_back(std::make_unique<annotations>());
        list.push_back(owned.back().get());
        made.push_back(owned.back().get());
    }
    ASSERT_EQ(list.size(), count);
    std::size_t index = 0;
    list.retain([&](gc_object*) { return index++ % 3 == 0; });
    std::vector<gc_object*> kept;
    list.for_each([&](gc_object* o) { kept.push_back(o); });
    std::vector<gc_object*> expected;
    for (std::size_t i = 0; i < count; i += 3) expected.push_back(made[i]);
    EXPECT_EQ(kept, expected);
    list.push_back(made[1]);
    EXPECT_EQ(list.size(), expected.size() + 1);
    object_list moved = std::move(list);
    EXPECT_EQ(moved.size(), expected.size() + 1);
    EXPECT_TRUE(list.empty());
    moved.retain([](gc_object*) { return false; });
    EXPECT_TRUE(moved.empty());
    moved.push_back(made[2]);
    EXPECT_EQ(moved.size(), 1u);
    object_list other{store};
    for (std::size_t i = 0; i < count; ++i) other.push_back(made[i]);  // on the blocks given back
    std::size_t seen = 0;
    other.for_each([&](gc_object* o) { EXPECT_EQ(o, made[seen++]); });
    EXPECT_EQ(seen, count);
}

// The side table of notes against a plain map, through growth and erasures that leave holes
// in runs of colliding entries (a few hundred keys in a table that doubles).
TEST(Heap, NoteTableAgreesWithAMapThroughErasures) {
    NoteTable table;
    std::vector<std::unique_ptr<annotations>> owners;
    for (int i = 0; i < 600; ++i) owners.push_back(std::make_unique<annotations>());
    std::map<const gc_object*, gc_object*> expected;
    std::uint32_t state = 12345;
    const auto next = [&state] { return state = state * 1103515245u + 12345u; };
    for (int step = 0; step < 20000; ++step) {
        annotations* o = owners[(next() >> 8) % owners.size()].get();
        if (o->noted && next() % 3 == 0) {
            table.erase(o);
            expected.erase(o);
            EXPECT_FALSE(o->noted);
        } else {
            gc_object* note = owners[(next() >> 8) % owners.size()].get();
            table.set(o, note);
            expected[o] = note;
            EXPECT_TRUE(o->noted);
        }
    }
    EXPECT_EQ(table.size(), expected.size());
    for (const auto& [o, note] : expected) EXPECT_EQ(table.find(o), note);
    for (auto& o : owners) {
        if (o->noted) table.erase(o.get());
    }
    EXPECT_EQ(table.size(), 0u);
}

// A dead value's notes go with it: the memory it leaves may hold a value without any.
TEST(Heap, NotesDieWithTheirValue) {
    Runtime rt;
    prelude::establish(rt, prelude::mode::skip);
    rt.heap.collect();
    const std::size_t before = object_notes.size();
    for (int i = 0; i < 1000; ++i) make_integer(rt, i)->set_doc(rt.heap, rt.true_value);
    value* kept = make_integer(rt, -1);
    kept->set_metadata(rt.heap, rt.false_value);
    rt.global->bind_name(rt.names.intern("kept"), kept);
    EXPECT_EQ(object_notes.size(), before + 1001);
    rt.heap.collect();
    EXPECT_EQ(object_notes.size(), before + 1);
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(make_integer(rt, i)->doc(), nullptr);
    EXPECT_EQ(kept->metadata(), rt.false_value);
    EXPECT_EQ(kept->doc(), nullptr);
}

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

// Old objects (those a collection found alive) given young values: each kind of write must
// log the old object, or a minor collection frees the young value under it.
class Generations : public ::testing::Test {
protected:
    Generations() { prelude::establish(rt, prelude::mode::skip); }
    Runtime rt;

    const Name* name(std::string_view text) { return rt.names.intern(text); }
    // Reachable from the global scope, and old after a minor collection.
    template <class T> T* old(std::string_view as, T* object) {
        rt.global->bind_name(name(as), object);
        rt.heap.collect(Heap::kind::minor);
        EXPECT_TRUE(object->marked);
        return object;
    }
    value* young(std::int64_t n) { return make_integer(rt, n); }
    // A young value a minor collection does not find stays unmarked, and its slot is freed.
    std::int64_t after_minor_collections(value* const& v) {
        rt.heap.collect(Heap::kind::minor);
        EXPECT_TRUE(v->marked);
        for (int i = 0; i < 1000; ++i) make_integer(rt, -1);
        rt.heap.collect(Heap::kind::minor);
        return as<integer>(v)->int_value;
    }
};

TEST_F(Generations, YoungValuesWrittenIntoOldObjectsSurvive) {
    auto* scope = old("scope", rt.heap.make<environment>(rt, rt.global));
    scope->bind_name(name("fresh"), young(1));
    EXPECT_EQ(after_minor_collections(*scope->names.find(name("fresh"))), 1);
    scope->rebind_name(name("fresh"), young(2));
    EXPECT_EQ(after_minor_collections(*scope->names.find(name("fresh"))), 2);
    scope->bind_parameter(name("argument"), young(3));
    EXPECT_EQ(after_minor_collections(*scope->names.find(name("argument"))), 3);
    scope->bind(next_num_symbol(rt), young(4));  // held inside the scope
    EXPECT_EQ(after_minor_collections(scope->numbered().back().second), 4);
    scope->bind(next_num_symbol(rt), young(14));  // in the scope's map
    EXPECT_EQ(after_minor_collections(scope->numbered().back().second), 14);

    auto* dictionary = old("dictionary", rt.heap.make<hashtable>(rt));
    hashtable_setkey(dictionary, make_string(rt, "k"), young(5));
    EXPECT_EQ(after_minor_collections(*dictionary->table.find("k")), 5);

    std::vector<const Name*> attributes{name("slot")};
    auto* c = old("class", rt.heap.make<Class>(rt, std::vector<value*>{}, std::move(attributes), rt.global));
    c->static_attributes.bind(name("shared"), rt.nil);
    auto* object = old("object", rt.heap.make<instance>(c));
    object->set_attr(name("slot"), young(6));
    EXPECT_EQ(after_minor_collections(object->slots[0]), 6);
    object->set_attr(name("shared"), young(7));  // the class's own, through the instance
    EXPECT_EQ(after_minor_collections(*c->static_attributes.find(name("shared"))), 7);

    value* annotated = old("annotated", make_string(rt, "x"));
    annotated->set_doc(rt.heap, young(8));  // new notes: the old value now points at them
    EXPECT_EQ(after_minor_collections(annotated->doc()), 8);
    rt.heap.collect(Heap::kind::minor);  // the notes are old now
    annotated->set_doc(rt.heap, young(9));
    annotated->set_metadata(rt.heap, young(10));
    EXPECT_EQ(after_minor_collections(annotated->doc()), 9);
    EXPECT_EQ(after_minor_collections(annotated->metadata()), 10);
}

// Garbage that died old goes at the next major collection; minor ones leave it.
TEST_F(Generations, OnlyAMajorCollectionFreesWhatDiedOld) {
    rt.heap.collect();
    const auto before = rt.heap.live_objects();
    value* list = rt.nil;
    for (int i = 0; i < 100; ++i) list = cons(rt, young(i), list);
    old("list", list);
    rt.global->bind_name(name("list"), rt.nil);
    rt.heap.collect(Heap::kind::minor);
    EXPECT_GE(rt.heap.live_objects(), before + 200);  // the hundred cells and integers
    rt.heap.collect(Heap::kind::major);
    EXPECT_LE(rt.heap.live_objects(), before);
}

// A program run with a collection at every safe point, mostly minor ones: lists gathered as
// their values come, scopes that age while their bindings change, closures over old scopes.
TEST(Heap, ProgramsAgreeWhenCollectedAtEverySafePoint) {
    const char* program =
        "(define counter (fn () ((fn (n) (fn () (set-symbol (quote n) (- n (- 0 1))) (list n n))) 0)))"
        "(define c (counter)) (define d (dict))"
        "(define fill (fn (k) (if (= k 0) nil (cons (c) (fill (- k 1))))))"
        "(define keep (fn (k) (if (= k 0) nil (begin (set-key d (to-string k) (fill 3)) (keep (- k 1))))))"
        "(keep 50) (to-string (list (get-key d \"7\") (c) (fill 2)))";
    std::string outputs[2];
    for (int stressed = 0; stressed < 2; ++stressed) {
        Runtime rt(open("/dev/null", O_WRONLY));
        prelude::establish(rt);
        if (stressed == 1) rt.heap.set_stress(1);
        outputs[stressed] = as<string>(do_string(rt, program, rt.global))->text;
    }
    EXPECT_EQ(outputs[0], outputs[1]);
    EXPECT_EQ(outputs[0], "(((130 130) (131 131) (132 132)) (151 151) ((152 152) (153 153)))");
}

// The natives and forms alone, with a memory budget of `mib` MiB beyond what they take.
[[maybe_unused]] void establish_within(Runtime& rt, std::size_t mib) {  // unused under the sanitizers
    prelude::establish(rt, prelude::mode::skip);
    rt.memory.limit = rt.memory.used + (mib << 20);
}

TEST(Heap, ARunawayRecursionStopsAtTheMemoryBudget) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer build allocates every object on its own, outside the budget";
#else
    Runtime rt(open("/dev/null", O_WRONLY));
    establish_within(rt, 64);
    value* f = make_symbol(rt, "f");
    value* n = make_symbol(rt, "n");
    // (fn (n) (cons n (f n))), bound to f: a recursion without end. (A tail call without end
    // is a loop, which runs in constant room.)
    value* inner = cons(rt, f, cons(rt, n, rt.nil));
    value* body = cons(rt, cons(rt, make_symbol(rt, "cons"), cons(rt, n, cons(rt, inner, rt.nil))), rt.nil);
    auto* implementation = rt.heap.make<lispfunc>(rt, std::vector<value*>{n}, nullptr, body, rt.global);
    rt.global->bind(f, rt.heap.make<function>(rt, exec_mode::function, implementation));
    value* call = cons(rt, f, cons(rt, make_integer(rt, 1), rt.nil));
    EXPECT_THROW(evaluate_new(rt, rt.global, call), std::bad_alloc);
#endif
}

// A recursion without end that keeps what it makes meets the budget after a few collections,
// however short the room grows: each one traces all it holds.
TEST(Heap, ALiveRunawayRecursionMeetsTheBudgetInFewCollections) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer build allocates every object on its own, outside the budget";
#else
    Runtime rt(open("/dev/null", O_WRONLY));
    establish_within(rt, 256);
    EXPECT_THROW(do_string(rt, "(define f (fn (n) (- 1 (f (- n 1))))) (f 0)", rt.global), std::bad_alloc);
    EXPECT_LE(rt.heap.collections(), 6u);
#endif
}

// Garbage made while a large live set is held is collected before the budget runs out: the
// wait between collections, twice the live data for speed, shrinks to what the budget has room
// for. The list kept here, about 35 MiB, fits the budget twice over but not three times.
TEST(Heap, CollectsSoonerWhenTheBudgetIsShort) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer build allocates every object on its own, outside the budget";
#else
    Runtime rt(open("/dev/null", O_WRONLY));
    establish_within(rt, 80);
    value* kept = do_string(rt,
                            "(define build (fn (n l) (if (= n 0) l (build (- n 1) (cons n l)))))"
                            "(define churn (fn (n) (if (= n 0) 0 (- (churn (- n 1)) (churn (- n 1))))))"
                            "(define kept (build 400000 nil))"
                            "(churn 20) kept",
                            rt.global);
    ASSERT_TRUE(is<cell>(kept));
    EXPECT_GE(rt.heap.collections(), 3u);
#endif
}

}  // namespace
}  // namespace velune
