// The value layer: types and unique values, symbols, environments, dictionaries, classes
// and the host list operations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interpreter/interpreter.h"
#include "prelude/prelude.h"
#include "value/printer.h"

namespace velune {
namespace {

class Values : public ::testing::Test {
protected:
    Values() { prelude::establish(rt, prelude::mode::skip); }

    Runtime rt;

    value* sym(std::string_view name) { return make_symbol(rt, name); }
    value* num(std::int64_t n) { return make_integer(rt, n); }
    value* str(std::string text) { return make_string(rt, std::move(text)); }
    const Name* name(std::string_view text) { return rt.names.intern(text); }

    std::vector<std::string> names_of(const environment* e) {
        std::vector<std::string> out;
        for (const auto& [n, v] : e->name_bindings(rt)) out.push_back(n->text);
        return out;
    }
    std::vector<std::string> keys_of(const hashtable* d) {
        std::vector<std::string> out;
        for (const auto& [k, v] : d->table.entries) out.push_back(k);
        return out;
    }
    std::vector<std::int64_t> ints_of(value* list) {
        std::vector<std::int64_t> out;
        for (value* v : from_list(list)) out.push_back(as<integer>(v)->int_value);
        return out;
    }
    std::vector<std::string> texts(const std::vector<const Name*>& names) {
        std::vector<std::string> out;
        for (const Name* n : names) out.push_back(n->text);
        return out;
    }
    Class* make_class(std::vector<value*> parents, std::vector<std::string_view> attributes) {
        std::vector<const Name*> attrs;
        for (auto a : attributes) attrs.push_back(name(a));
        return rt.heap.make<Class>(rt, std::move(parents), std::move(attrs), rt.global);
    }
};

using Strings = std::vector<std::string>;
using Ints = std::vector<std::int64_t>;

// ---- types and unique values ----

TEST_F(Values, FourteenDistinctTypesAllTypedByTheTypeType) {
    const Types& t = rt.types;
    const std::vector<std::pair<Type*, std::string_view>> all = {
        {t.type, "type"}, {t.integer, "int"}, {t.string, "str"}, {t.dictionary, "dictionary"},
        {t.environment, "environment"}, {t.unique, "unique"}, {t.symbol, "symbol"}, {t.cell, "cell"},
        {t.function, "function"}, {t.Class, "class"}, {t.floating, "float"},
        {t.native_function, "native-function"}, {t.lisp_function, "lisp-function"},
        {t.resumable_native, "resumable-native"},
    };
    for (std::size_t i = 0; i < all.size(); ++i) {
        ASSERT_NE(all[i].first, nullptr);
        EXPECT_EQ(all[i].first->name, all[i].second);
        EXPECT_EQ(all[i].first->type, t.type) << all[i].second;
        for (std::size_t j = 0; j < i; ++j) EXPECT_NE(all[i].first, all[j].first);
    }
}

TEST_F(Values, EachClassPointsAtItsType) {
    EXPECT_EQ(num(1)->type, rt.types.integer);
    EXPECT_EQ(str("a")->type, rt.types.string);
    EXPECT_EQ(sym("a")->type, rt.types.symbol);
    EXPECT_EQ(next_num_symbol(rt)->type, rt.types.symbol);
    EXPECT_EQ(rt.nil->type, rt.types.unique);
    EXPECT_EQ(rt.true_value->type, rt.types.unique);
    EXPECT_EQ(cons(rt, num(1), num(2))->type, rt.types.cell);
    EXPECT_EQ(rt.heap.make<hashtable>(rt)->type, rt.types.dictionary);
    EXPECT_EQ(rt.global->type, rt.types.environment);
    EXPECT_EQ(rt.heap.make<floating>(rt, 1.5)->type, rt.types.floating);
    Class* c = make_class({}, {});
    EXPECT_EQ(c->type, rt.types.Class);
    EXPECT_EQ(rt.heap.make<instance>(c)->type, c);
    // Doc and metadata start empty.
    EXPECT_EQ(c->doc(), nullptr);
    EXPECT_EQ(c->metadata(), nullptr);
}

TEST_F(Values, GlobalEnvironmentStartsWithScopesUniquesAndTypeNamesInOrder) {
    const Strings first = {"current-scope", "parent-scope", "true", "false", "nil", "type", "integer",
                           "string", "dictionary", "environment", "unique", "symbol", "cell", "function",
                           "class"};
    const Strings all = names_of(rt.global);
    ASSERT_GE(all.size(), first.size());
    EXPECT_EQ(Strings(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(first.size())), first);

    EXPECT_EQ(rt.global->lookup(sym("current-scope")), rt.global);
    EXPECT_EQ(rt.global->lookup(sym("parent-scope")), nullptr);
    EXPECT_EQ(rt.global->lookup(sym("nil")), rt.nil);
    EXPECT_EQ(rt.global->lookup(sym("true")), rt.true_value);
    EXPECT_EQ(rt.global->lookup(sym("false")), rt.false_value);
    EXPECT_EQ(rt.global->lookup(sym("integer")), rt.types.integer);
    EXPECT_EQ(rt.global->lookup(sym("string")), rt.types.string);
    EXPECT_EQ(rt.global->lookup(sym("class")), rt.types.Class);
    EXPECT_EQ(rt.global->lookup(sym("type")), rt.types.type);
    // The four implementation types have no global name.
    EXPECT_EQ(rt.global->lookup(sym("float")), nullptr);
    EXPECT_EQ(rt.global->lookup(sym("lisp-function")), nullptr);
    EXPECT_EQ(rt.global->parent, nullptr);
}

TEST_F(Values, UniqueValuesAreThreeNamedObjects) {
    EXPECT_EQ(as<unique>(rt.nil)->name, "nil");
    EXPECT_EQ(as<unique>(rt.true_value)->name, "true");
    EXPECT_EQ(as<unique>(rt.false_value)->name, "false");
    EXPECT_NE(rt.nil, rt.true_value);
    EXPECT_NE(rt.true_value, rt.false_value);
    EXPECT_EQ(rt.boolean(true), rt.true_value);
    EXPECT_EQ(rt.boolean(false), rt.false_value);
}

// ---- symbols ----

TEST_F(Values, NamedSymbolsAreEqualByBytesNotIdentity) {
    value* a1 = sym("abc");
    value* a2 = sym("abc");
    EXPECT_NE(a1, a2);  // distinct objects, one symbol
    EXPECT_TRUE(symbol_equal(a1, a2));
    EXPECT_FALSE(symbol_equal(a1, sym("abd")));
    EXPECT_FALSE(symbol_equal(a1, sym("ab")));
    EXPECT_FALSE(symbol_equal(a1, sym("abc ")));
    // Names are byte strings: an embedded zero byte is part of the name.
    using namespace std::string_view_literals;
    EXPECT_TRUE(symbol_equal(sym("a\0b"sv), sym("a\0b"sv)));
    EXPECT_FALSE(symbol_equal(sym("a\0b"sv), sym("a\0c"sv)));
    EXPECT_FALSE(symbol_equal(sym("a"sv), sym("a\0"sv)));
    EXPECT_FALSE(symbol_equal(sym("ABC"), sym("abc")));
}

TEST_F(Values, GeneratedSymbolsAreNeverEqualToOthers) {
    const std::int64_t before = rt.num_symbol_generator.counter;
    num_symbol* g1 = next_num_symbol(rt);
    num_symbol* g2 = next_num_symbol(rt);
    // The counter is advanced first, then taken.
    EXPECT_EQ(g1->number, before + 1);
    EXPECT_EQ(g2->number, before + 2);
    EXPECT_EQ(rt.num_symbol_generator.counter, before + 2);
    EXPECT_FALSE(symbol_equal(g1, g2));
    EXPECT_TRUE(symbol_equal(g1, g1));
    // Same number, another object: the same generated symbol.
    EXPECT_TRUE(symbol_equal(g1, rt.heap.make<num_symbol>(rt, g1->number)));
    // Never equal to a named symbol, whatever its name.
    const std::string printed = "<symbol #" + std::to_string(g1->number) + ">";
    EXPECT_FALSE(symbol_equal(g1, sym(printed)));
    EXPECT_FALSE(symbol_equal(sym(printed), g1));
    EXPECT_FALSE(symbol_equal(g1, sym(std::to_string(g1->number))));
}

// ---- environments ----

TEST_F(Values, NewEnvironmentBindsItsScopesFirst) {
    auto* outer = rt.heap.make<environment>(rt, rt.global);
    auto* inner = rt.heap.make<environment>(rt, outer);
    EXPECT_EQ(names_of(inner), (Strings{"current-scope", "parent-scope"}));
    EXPECT_EQ(inner->lookup(sym("current-scope")), inner);
    EXPECT_EQ(inner->lookup(sym("parent-scope")), outer);
    EXPECT_EQ(inner->parent, outer);
    EXPECT_TRUE(inner->numbered().empty());

    // Without a parent, parent-scope is bound but has no value.
    auto* orphan = rt.heap.make<environment>(rt, nullptr);
    EXPECT_TRUE(orphan->has_symbol(sym("parent-scope")));
    EXPECT_EQ(orphan->lookup(sym("parent-scope")), nullptr);
}

TEST_F(Values, BindingKeepsInsertionOrderAndRebindingKeepsPlace) {
    auto* e = rt.heap.make<environment>(rt, nullptr);
    e->bind(sym("b"), num(1));
    e->bind(sym("a"), num(2));
    e->bind(sym("c"), num(3));
    e->bind(sym("b"), num(4));
    EXPECT_EQ(names_of(e), (Strings{"current-scope", "parent-scope", "b", "a", "c"}));
    EXPECT_EQ(as<integer>(e->lookup(sym("b")))->int_value, 4);
    // The scope names are ordinary bindings: rebinding keeps their place too.
    e->bind(sym("current-scope"), num(5));
    EXPECT_EQ(names_of(e), (Strings{"current-scope", "parent-scope", "b", "a", "c"}));
    EXPECT_EQ(as<integer>(e->lookup(sym("current-scope")))->int_value, 5);
}

// A scope holds current-scope and parent-scope in no entry until one changes: unsetting
// or rebinding either must leave the other where it was, and lookups must then see through.
TEST_F(Values, UnsettingOrRebindingAScopeNameKeepsTheOther) {
    auto* outer = rt.heap.make<environment>(rt, rt.global);
    auto* inner = rt.heap.make<environment>(rt, outer);
    inner->bind(sym("x"), num(1));
    EXPECT_TRUE(inner->remove(sym("current-scope")));
    EXPECT_FALSE(inner->has_symbol(sym("current-scope")));
    EXPECT_EQ(names_of(inner), (Strings{"parent-scope", "x"}));
    EXPECT_EQ(inner->lookup(sym("current-scope")), outer);  // the parent's own
    EXPECT_EQ(inner->lookup(sym("parent-scope")), outer);
    EXPECT_FALSE(inner->remove(sym("current-scope")));

    auto* e = rt.heap.make<environment>(rt, outer);
    e->bind(sym("parent-scope"), e);  // a new value: both get entries, in their places
    EXPECT_EQ(names_of(e), (Strings{"current-scope", "parent-scope"}));
    EXPECT_EQ(e->lookup(sym("parent-scope")), e);
    EXPECT_EQ(e->lookup(sym("current-scope")), e);
    e->bind(sym("current-scope"), e);  // the value it already has
    EXPECT_EQ(names_of(e), (Strings{"current-scope", "parent-scope"}));
    EXPECT_TRUE(e->remove(sym("parent-scope")));
    EXPECT_EQ(names_of(e), (Strings{"current-scope"}));
    EXPECT_EQ(e->lookup(sym("parent-scope")), rt.global);  // outer's

    // Restoring a saved scope's bindings starts again from a fresh scope's.
    e->clear_bindings();
    EXPECT_EQ(names_of(e), (Strings{"current-scope", "parent-scope"}));
    EXPECT_EQ(e->lookup(sym("parent-scope")), outer);
}

// A node keeps a head found in the global scope while its name's version stands: every
// change that could make the same lookup find something else must change it.
TEST_F(Values, ANamesVersionChangesWithWhatItsLookupCouldFind) {
    const Name* n = name("versioned");
    auto changed = [n, last = n->version]() mutable {
        const bool moved = n->version != last;
        last = n->version;
        return moved;
    };
    rt.global->bind_name(n, num(1));
    EXPECT_TRUE(changed());
    EXPECT_TRUE(rt.global->rebind_name(n, num(2)));
    EXPECT_TRUE(changed());
    EXPECT_TRUE(rt.global->remove(sym("versioned")));
    EXPECT_TRUE(changed());
    auto* inner = rt.heap.make<environment>(rt, rt.global);
    EXPECT_FALSE(changed());
    inner->bind_name(n, num(3));  // a scope with a parent binds it first
    EXPECT_TRUE(changed());
    inner->bind_name(n, num(4));  // only inside again: what a global lookup finds is the same
    EXPECT_FALSE(changed());
    rt.global->bind_name(n, num(5));
    EXPECT_TRUE(changed());
    rt.global->clear_bindings();  // as a restore begins
    EXPECT_TRUE(changed());
    EXPECT_EQ(n->global_value, nullptr);

    // A scope whose chain ends elsewhere than the global one changes every name's.
    const Name* other = name("never-bound");
    const auto before = other->version;
    EXPECT_TRUE(rt.names.every_scope_rooted());
    rt.heap.make<environment>(rt, nullptr);
    EXPECT_FALSE(rt.names.every_scope_rooted());
    EXPECT_NE(other->version, before);
}

TEST_F(Values, LookupWalksParentsAndInnerBindingsShadow) {
    auto* outer = rt.heap.make<environment>(rt, rt.global);
    auto* inner = rt.heap.make<environment>(rt, outer);
    outer->bind(sym("x"), num(1));
    outer->bind(sym("y"), num(2));
    inner->bind(sym("x"), num(10));

    EXPECT_EQ(as<integer>(inner->lookup(sym("x")))->int_value, 10);
    EXPECT_EQ(as<integer>(inner->lookup(sym("y")))->int_value, 2);
    EXPECT_EQ(as<integer>(outer->lookup(sym("x")))->int_value, 1);  // outer untouched
    EXPECT_EQ(inner->lookup(sym("nil")), rt.nil);                   // from the global one
    EXPECT_EQ(inner->lookup(sym("nowhere")), nullptr);
    EXPECT_TRUE(inner->has_symbol(sym("x")));
    EXPECT_FALSE(inner->has_symbol(sym("y")));  // only this environment counts
    EXPECT_FALSE(inner->has_symbol(sym("nil")));

    // Removing the inner binding uncovers the outer one again.
    EXPECT_TRUE(inner->remove(sym("x")));
    EXPECT_EQ(as<integer>(inner->lookup(sym("x")))->int_value, 1);
    EXPECT_FALSE(inner->remove(sym("x")));
    EXPECT_EQ(as<integer>(outer->lookup(sym("x")))->int_value, 1);
}

TEST_F(Values, ANoneValuedBindingStopsTheSearch) {
    // parent-scope of a parentless environment answers none even when an outer
    // environment would have something under that name.
    auto* top = rt.heap.make<environment>(rt, nullptr);
    auto* middle = rt.heap.make<environment>(rt, top);
    EXPECT_EQ(middle->lookup(sym("parent-scope")), top);
    EXPECT_EQ(top->lookup(sym("parent-scope")), nullptr);
    // Removing current-scope in an inner environment exposes the outer one's.
    EXPECT_TRUE(middle->remove(sym("current-scope")));
    EXPECT_EQ(middle->lookup(sym("current-scope")), top);
    EXPECT_EQ(names_of(middle), (Strings{"parent-scope"}));
}

TEST_F(Values, GeneratedAndNamedSymbolsAreSeparateVariables) {
    auto* outer = rt.heap.make<environment>(rt, nullptr);
    auto* inner = rt.heap.make<environment>(rt, outer);
    num_symbol* g = next_num_symbol(rt);
    const std::string printed = "<symbol #" + std::to_string(g->number) + ">";
    outer->bind(g, num(1));
    outer->bind(sym(printed), num(2));
    outer->bind(sym(std::to_string(g->number)), num(3));

    // Found again by the generated symbol, or another object with its number, from inside.
    EXPECT_EQ(as<integer>(inner->lookup(g))->int_value, 1);
    EXPECT_EQ(as<integer>(inner->lookup(rt.heap.make<num_symbol>(rt, g->number)))->int_value, 1);
    EXPECT_EQ(as<integer>(inner->lookup(sym(printed)))->int_value, 2);
    EXPECT_EQ(outer->numbered().size(), 1u);
    EXPECT_EQ(inner->lookup(next_num_symbol(rt)), nullptr);

    // Shadowing and removal work the same way for generated symbols.
    inner->bind(g, num(10));
    EXPECT_TRUE(inner->has_symbol(g));
    EXPECT_FALSE(inner->has_symbol(sym(printed)));
    EXPECT_EQ(as<integer>(inner->lookup(g))->int_value, 10);
    EXPECT_TRUE(inner->remove(g));
    EXPECT_EQ(as<integer>(inner->lookup(g))->int_value, 1);
    EXPECT_TRUE(outer->remove(g));
    EXPECT_EQ(inner->lookup(g), nullptr);
    EXPECT_EQ(as<integer>(inner->lookup(sym(printed)))->int_value, 2);
}

TEST_F(Values, GeneratedSymbolsKeepTheirBindingOrderThroughRemovalAndRebinding) {
    // The first is held apart from the others: the order must not show it.
    auto* e = rt.heap.make<environment>(rt, nullptr);
    num_symbol* g[4];
    for (auto*& s : g) s = next_num_symbol(rt);
    const auto numbers = [&] {
        std::vector<std::int64_t> out;
        for (const auto& [number, v] : e->numbered()) out.push_back(number - g[0]->number);
        return out;
    };
    e->bind(g[0], num(0));
    e->bind(g[1], num(1));
    e->bind(g[2], num(2));
    e->bind(g[0], num(10));  // keeps its place
    EXPECT_EQ(numbers(), (std::vector<std::int64_t>{0, 1, 2}));
    EXPECT_TRUE(e->remove(g[0]));
    EXPECT_FALSE(e->has_symbol(g[0]));
    e->bind(g[3], num(3));
    e->bind(g[0], num(20));  // new again: last
    EXPECT_EQ(numbers(), (std::vector<std::int64_t>{1, 2, 3, 0}));
    EXPECT_EQ(as<integer>(e->lookup(g[0]))->int_value, 20);
    EXPECT_EQ(as<integer>(e->lookup(g[1]))->int_value, 1);
    EXPECT_TRUE(e->remove(g[1]));
    EXPECT_TRUE(e->remove(g[2]));
    EXPECT_EQ(numbers(), (std::vector<std::int64_t>{3, 0}));
    EXPECT_FALSE(e->remove(g[1]));
    // The first of a fresh scope is held apart, and printed with the others.
    auto* single = rt.heap.make<environment>(rt, nullptr);
    single->bind(g[2], str("only"));
    EXPECT_EQ(single->numbered().size(), 1u);
    EXPECT_NE(represent_text(rt, single).find("\"only\""), std::string::npos);
}

TEST_F(Values, LargeEnvironmentKeepsOrderAndLookupsThroughRemovals) {
    // Enough bindings for the map to index them; removals must keep the index honest.
    auto* e = rt.heap.make<environment>(rt, nullptr);
    const int n = 60;
    for (int i = 0; i < n; ++i) e->bind(sym("v" + std::to_string(i)), num(i));
    e->bind(sym("v7"), num(700));
    EXPECT_TRUE(e->remove(sym("v3")));
    EXPECT_TRUE(e->remove(sym("v40")));
    EXPECT_TRUE(e->remove(sym("current-scope")));
    e->bind(sym("v3"), num(300));  // back, at the end

    Strings expected = {"parent-scope"};
    for (int i = 0; i < n; ++i) {
        if (i != 3 && i != 40) expected.push_back("v" + std::to_string(i));
    }
    expected.push_back("v3");
    EXPECT_EQ(names_of(e), expected);
    for (int i = 0; i < n; ++i) {
        value* found = e->lookup(sym("v" + std::to_string(i)));
        if (i == 40) {
            EXPECT_EQ(found, nullptr);
            continue;
        }
        ASSERT_NE(found, nullptr) << i;
        const std::int64_t want = i == 7 ? 700 : i == 3 ? 300 : i;
        EXPECT_EQ(as<integer>(found)->int_value, want) << i;
    }
    EXPECT_EQ(e->lookup(sym("current-scope")), nullptr);
}

TEST_F(Values, AScopeIsFreedWithoutItsDestructorOnlyWhileItsBindingsFitInside) {
    // The sweep skips the destructor of a bare object: a scope that has grown must not be.
    auto* params = rt.heap.make<environment>(rt, rt.global);
    EXPECT_TRUE(params->bare);
    for (int i = 0; i < 3; ++i) params->bind_parameter(name("p" + std::to_string(i)), num(i));
    EXPECT_TRUE(params->bare);
    params->bind_parameter(name("p3"), num(3));
    EXPECT_FALSE(params->bare);

    auto* grown = rt.heap.make<environment>(rt, rt.global);
    grown->bind(sym("a"), num(1));
    EXPECT_TRUE(grown->bare);
    for (int i = 0; i < 20; ++i) grown->bind(sym("v" + std::to_string(i)), num(i));
    EXPECT_FALSE(grown->bare);

    // The first generated symbol is held inside; the second needs a map.
    auto* numbered = rt.heap.make<environment>(rt, rt.global);
    numbered->bind(next_num_symbol(rt), num(1));
    EXPECT_TRUE(numbered->bare);
    numbered->bind(next_num_symbol(rt), num(2));
    EXPECT_FALSE(numbered->bare);

    // Rebinding a scope name stores both scope names as entries: three in all, then four.
    auto* explicit_scopes = rt.heap.make<environment>(rt, rt.global);
    explicit_scopes->bind(sym("x"), num(1));
    explicit_scopes->bind(sym("parent-scope"), num(2));
    EXPECT_TRUE(explicit_scopes->bare);
    explicit_scopes->bind(sym("y"), num(3));
    EXPECT_FALSE(explicit_scopes->bare);
    EXPECT_EQ(names_of(explicit_scopes), (Strings{"current-scope", "parent-scope", "x", "y"}));
    rt.heap.collect();  // what is unreachable now goes, destructor or not
}

// ---- dictionaries ----

TEST_F(Values, DictionaryKeepsFirstInsertionOrder) {
    auto* d = rt.heap.make<hashtable>(rt);
    hashtable_setkey(d, str("a"), num(1));
    hashtable_setkey(d, str("b"), num(2));
    hashtable_setkey(d, str("a"), num(3));
    EXPECT_EQ(keys_of(d), (Strings{"a", "b"}));
    EXPECT_EQ(as<integer>(hashtable_getkey(d, str("a")))->int_value, 3);
    EXPECT_EQ(as<integer>(hashtable_getkey(d, str("b")))->int_value, 2);
}

TEST_F(Values, DictionaryKeysAreTheBytesOfStrings) {
    using namespace std::string_literals;
    auto* d = rt.heap.make<hashtable>(rt);
    value* k1 = str("k");
    value* k2 = str("k");
    hashtable_setkey(d, k1, num(1));
    EXPECT_TRUE(hashtable_haskey(d, k2));
    EXPECT_EQ(as<integer>(hashtable_getkey(d, k2))->int_value, 1);
    hashtable_setkey(d, k2, num(2));
    EXPECT_EQ(d->table.size(), 1u);

    // Zero bytes, prefixes and the empty text are keys of their own.
    hashtable_setkey(d, str("k\0x"s), num(3));
    hashtable_setkey(d, str(""), num(4));
    hashtable_setkey(d, str("kk"), num(5));
    EXPECT_EQ(keys_of(d), (Strings{"k", "k\0x"s, "", "kk"}));
    EXPECT_EQ(as<integer>(hashtable_getkey(d, str("k")))->int_value, 2);
    EXPECT_EQ(as<integer>(hashtable_getkey(d, str("k\0x"s)))->int_value, 3);
    EXPECT_EQ(as<integer>(hashtable_getkey(d, str("")))->int_value, 4);
    EXPECT_FALSE(hashtable_haskey(d, str("k\0"s)));
    EXPECT_FALSE(hashtable_haskey(d, str("K")));
}

TEST_F(Values, DictionaryMissingKeyIsALanguageErrorAndChangesNothing) {
    auto* d = rt.heap.make<hashtable>(rt);
    hashtable_setkey(d, str("name"), str("web"));
    try {
        hashtable_getkey(d, str("port"));
        FAIL() << "no error for a missing key";
    } catch (const LispError& e) {
        EXPECT_EQ(e.message, "trying to index dictionary with undefined key port");
    }
    EXPECT_EQ(keys_of(d), (Strings{"name"}));
    EXPECT_FALSE(hashtable_haskey(d, str("port")));
}

TEST_F(Values, LargeDictionaryStaysOrderedAndFindable) {
    auto* d = rt.heap.make<hashtable>(rt);
    const int n = 500;
    for (int i = n - 1; i >= 0; --i) hashtable_setkey(d, str("key" + std::to_string(i)), num(i));
    for (int i = 0; i < n; i += 7) hashtable_setkey(d, str("key" + std::to_string(i)), num(-i));
    const Strings keys = keys_of(d);
    ASSERT_EQ(keys.size(), static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(keys[static_cast<std::size_t>(i)], "key" + std::to_string(n - 1 - i));
        const std::int64_t want = i % 7 == 0 ? -i : i;
        EXPECT_EQ(as<integer>(hashtable_getkey(d, str("key" + std::to_string(i))))->int_value, want);
    }
}

// ---- classes and instances ----

TEST_F(Values, ClassWithoutAttributesHasNoSlots) {
    Class* c = make_class({}, {});
    EXPECT_TRUE(c->all_attributes.empty());
    EXPECT_TRUE(c->attribute_index.empty());
    EXPECT_TRUE(rt.heap.make<instance>(c)->slots.empty());
    EXPECT_EQ(c->environment, rt.global);
}

TEST_F(Values, RepeatedAttributeUsesItsLastPosition) {
    Class* p = make_class({}, {"a", "b"});
    Class* c = make_class({p}, {"c", "a"});
    EXPECT_EQ(texts(c->attributes), (Strings{"c", "a"}));
    EXPECT_EQ(texts(c->all_attributes), (Strings{"c", "a", "a", "b"}));
    EXPECT_EQ(c->attribute_index.at(name("c")), 0u);
    EXPECT_EQ(c->attribute_index.at(name("a")), 2u);
    EXPECT_EQ(c->attribute_index.at(name("b")), 3u);

    auto* i = rt.heap.make<instance>(c);
    ASSERT_EQ(i->slots.size(), 4u);
    i->set_attr(name("a"), num(5));
    i->set_attr(name("b"), num(6));  // inherited, writable on the child
    EXPECT_EQ(i->slots[1], nullptr);  // the earlier slot of "a" is never used
    EXPECT_EQ(as<integer>(i->slots[2])->int_value, 5);
    EXPECT_EQ(as<integer>(i->get_attr(name("a")))->int_value, 5);
    EXPECT_EQ(as<integer>(i->get_attr(name("b")))->int_value, 6);

    // Instances of one class do not share slots; the parent's own layout is its own.
    auto* j = rt.heap.make<instance>(c);
    j->set_attr(name("a"), num(7));
    EXPECT_EQ(as<integer>(i->get_attr(name("a")))->int_value, 5);
    auto* pi = rt.heap.make<instance>(p);
    ASSERT_EQ(pi->slots.size(), 2u);
    pi->set_attr(name("a"), num(8));
    EXPECT_EQ(as<integer>(pi->slots[0])->int_value, 8);
}

TEST_F(Values, DiscoveryIsDepthFirstInParentOrder) {
    Class* a = make_class({}, {"a"});
    Class* b = make_class({a}, {"b"});
    Class* c = make_class({a}, {"c1", "c2"});
    Class* g = make_class({}, {"g"});
    Class* d = make_class({b, g, c}, {"d"});
    // Own names, then each parent's whole line before the next parent's; a shared
    // ancestor appears once per path.
    EXPECT_EQ(texts(d->all_attributes), (Strings{"d", "b", "a", "g", "c1", "c2", "a"}));
    EXPECT_EQ(d->attribute_index.at(name("a")), 6u);
    EXPECT_EQ(d->attribute_index.at(name("g")), 3u);
    std::vector<const Name*> again;
    d->discover_attributes(again);
    EXPECT_EQ(texts(again), texts(d->all_attributes));
    // Appends to what is already there.
    b->discover_attributes(again);
    EXPECT_EQ(again.size(), 9u);
    EXPECT_EQ(again[7]->text, "b");
}

TEST_F(Values, ParentsThatAreNotClassesAreKeptButContributeNothing) {
    Class* p = make_class({}, {"a"});
    Class* c = make_class({num(5), p, rt.nil}, {"x"});
    ASSERT_EQ(c->parents.size(), 3u);
    EXPECT_EQ(as<integer>(c->parents[0])->int_value, 5);
    EXPECT_EQ(texts(c->all_attributes), (Strings{"x", "a"}));
    EXPECT_EQ(c->get_static_owner(name("a")), nullptr);
}

TEST_F(Values, StaticOwnerIsTheNearestInDiscoveryOrder) {
    Class* top = make_class({}, {});
    Class* left = make_class({top}, {});
    Class* right = make_class({}, {});
    Class* child = make_class({left, right}, {"slot"});
    top->static_attributes.bind(name("s"), num(1));
    right->static_attributes.bind(name("s"), num(2));
    right->static_attributes.bind(name("r"), num(3));

    // Depth first: the first parent's whole line comes before the second parent.
    EXPECT_EQ(child->get_static_owner(name("s")), top);
    EXPECT_EQ(child->get_static_owner(name("r")), right);
    EXPECT_EQ(child->get_static_owner(name("slot")), nullptr);
    EXPECT_EQ(child->get_static_owner(name("none")), nullptr);
    child->static_attributes.bind(name("s"), num(4));
    EXPECT_EQ(child->get_static_owner(name("s")), child);

    // Instances read and write a static attribute in its owner's map, adding no slot.
    auto* i = rt.heap.make<instance>(child);
    EXPECT_EQ(as<integer>(i->get_attr(name("r")))->int_value, 3);
    i->set_attr(name("r"), num(30));
    EXPECT_EQ(as<integer>(*right->static_attributes.find(name("r")))->int_value, 30);
    EXPECT_EQ(i->slots.size(), 1u);
    // A slot wins over a static attribute of the same name.
    right->static_attributes.bind(name("slot"), num(9));
    i->set_attr(name("slot"), num(10));
    EXPECT_EQ(as<integer>(i->slots[0])->int_value, 10);
    EXPECT_EQ(as<integer>(*right->static_attributes.find(name("slot")))->int_value, 9);
}

TEST_F(Values, UndefinedAttributeFailsWithoutTouchingTheInstance) {
    Class* c = make_class({}, {"x"});
    auto* i = rt.heap.make<instance>(c);
    i->set_attr(name("x"), num(1));
    for (int write = 0; write < 2; ++write) {
        try {
            if (write) {
                i->set_attr(name("nosuch"), num(2));
            } else {
                i->get_attr(name("nosuch"));
            }
            FAIL() << "no error for an undefined attribute";
        } catch (const LispError& e) {
            EXPECT_EQ(e.message.rfind("cannot access an undefined attribute", 0), 0u) << e.message;
        }
    }
    EXPECT_EQ(i->slots.size(), 1u);
    EXPECT_EQ(as<integer>(i->get_attr(name("x")))->int_value, 1);
    EXPECT_TRUE(c->static_attributes.entries.empty());
}

// ---- host list operations ----

TEST_F(Values, MakeListAndFromListAreInverse) {
    EXPECT_EQ(make_list(rt, {}), rt.nil);
    EXPECT_TRUE(from_list(rt.nil).empty());

    value* list = make_list(rt, {num(1), num(2), num(3)});
    EXPECT_EQ(ints_of(list), (Ints{1, 2, 3}));
    EXPECT_TRUE(is_list(list));
    EXPECT_EQ(list_length(list), 3u);
    // Fresh cells every time.
    value* again = make_list(rt, {num(1)});
    value* other = make_list(rt, {num(1)});
    EXPECT_NE(again, other);
    EXPECT_EQ(as<cell>(again)->cdr, rt.nil);
}

TEST_F(Values, ReverseMakesAFreshListAndLeavesItsArgument) {
    EXPECT_EQ(reverse(rt, rt.nil), rt.nil);
    value* list = make_list(rt, {num(1), num(2), num(3)});
    value* reversed = reverse(rt, list);
    EXPECT_EQ(ints_of(reversed), (Ints{3, 2, 1}));
    EXPECT_EQ(ints_of(list), (Ints{1, 2, 3}));
    value* single = make_list(rt, {num(1)});
    EXPECT_NE(reverse(rt, single), single);
}

TEST_F(Values, MapListCallsInOrderAndKeepsOrder) {
    std::vector<std::int64_t> seen;
    value* list = make_list(rt, {num(1), num(2), num(3)});
    value* mapped = map_list(rt, [&](value* v) {
        seen.push_back(as<integer>(v)->int_value);
        return num(as<integer>(v)->int_value * 10);
    }, list);
    EXPECT_EQ(seen, (Ints{1, 2, 3}));
    EXPECT_EQ(ints_of(mapped), (Ints{10, 20, 30}));
    EXPECT_EQ(map_list(rt, [](value* v) { return v; }, rt.nil), rt.nil);
}

TEST_F(Values, IsListOnlyForProperLists) {
    EXPECT_TRUE(is_list(rt.nil));
    EXPECT_TRUE(is_list(make_list(rt, {num(1), num(2), num(3)})));
    EXPECT_FALSE(is_list(cons(rt, num(1), num(2))));
    EXPECT_FALSE(is_list(cons(rt, num(1), cons(rt, num(2), num(3)))));
    EXPECT_FALSE(is_list(cons(rt, num(1), rt.false_value)));  // ends in a unique, not nil
    EXPECT_FALSE(is_list(num(1)));
    EXPECT_FALSE(is_list(str("")));
    EXPECT_FALSE(is_list(rt.true_value));
    EXPECT_FALSE(is_list(sym("nil")));  // the symbol is not the value
}

TEST_F(Values, LongListsNeedNoHostRecursion) {
    std::vector<value*> items;
    for (int i = 0; i < 1000000; ++i) items.push_back(num(i));
    value* list = make_list(rt, items);
    EXPECT_TRUE(is_list(list));
    EXPECT_EQ(list_length(list), 1000000u);
    value* reversed = reverse(rt, list);
    EXPECT_EQ(as<integer>(as<cell>(reversed)->car)->int_value, 999999);
    EXPECT_EQ(from_list(reversed).size(), 1000000u);
}

TEST_F(Values, UnquoteTestsLookAtANamedHead) {
    EXPECT_TRUE(is_unquote(rt, make_list(rt, {sym("unquote"), sym("x")})));
    EXPECT_FALSE(is_unquote_splicing(rt, make_list(rt, {sym("unquote"), sym("x")})));
    EXPECT_TRUE(is_unquote_splicing(rt, make_list(rt, {sym("unquote-splicing"), sym("x")})));
    EXPECT_FALSE(is_unquote(rt, make_list(rt, {sym("unquote-splicing"), sym("x")})));
    EXPECT_TRUE(is_unquote(rt, cons(rt, sym("unquote"), num(1))));  // only the car matters

    EXPECT_FALSE(is_unquote(rt, make_list(rt, {str("unquote"), sym("x")})));
    EXPECT_FALSE(is_unquote(rt, make_list(rt, {next_num_symbol(rt), sym("x")})));
    EXPECT_FALSE(is_unquote(rt, make_list(rt, {sym("unquot"), sym("x")})));
    EXPECT_FALSE(is_unquote(rt, sym("unquote")));
    EXPECT_FALSE(is_unquote(rt, rt.nil));
    EXPECT_FALSE(is_unquote_splicing(rt, rt.nil));
    EXPECT_FALSE(is_unquote(rt, make_list(rt, {make_list(rt, {sym("unquote")})})));
}

}  // namespace
}  // namespace velune

namespace velune {
namespace {

// Interning gives one pointer per text for good: through the table's growth, for texts that
// differ only at the end or in length, and for the empty text.
TEST(NameTable, OnePointerPerTextThroughGrowth) {
    NameTable names;
    const Name* empty = names.intern("");
    const Name* first = names.intern("a-name-long-enough-to-live-outside-the-string");
    std::vector<const Name*> interned;
    for (int i = 0; i < 5000; ++i) interned.push_back(names.intern("n" + std::to_string(i)));
    EXPECT_EQ(names.size(), 5002u);
    EXPECT_EQ(names.intern(""), empty);
    EXPECT_EQ(names.intern("a-name-long-enough-to-live-outside-the-string"), first);
    EXPECT_NE(names.intern("a-name-long-enough-to-live-outside-the-strin"), first);
    for (int i = 0; i < 5000; ++i) {
        ASSERT_EQ(names.intern("n" + std::to_string(i)), interned[i]);
        ASSERT_EQ(interned[i]->text, "n" + std::to_string(i));
    }
    EXPECT_EQ(names.size(), 5003u);
}

// Large maps find every key through their index, keep insertion order through rebinding,
// erasing and growth, and forget nothing when the index is rebuilt.
TEST(ScopeMap, LargeMapsKeepOrderAndFindEveryKey) {
    NameTable names;
    scope_map<const Name*> by_name;
    scope_map<std::string> by_text;
    std::vector<const Name*> interned;
    for (int i = 0; i < 1000; ++i) {
        interned.push_back(names.intern("name-" + std::to_string(i)));
        by_name.bind(interned.back(), nullptr);
        by_text.bind("a key long enough not to fit inline " + std::to_string(i), nullptr);
    }
    by_name.bind(interned[3], reinterpret_cast<value*>(8));  // rebinding keeps the place
    ASSERT_EQ(by_name.size(), 1000u);
    EXPECT_EQ(by_name.entries[3].first, interned[3]);
    EXPECT_EQ(*by_name.find(interned[3]), reinterpret_cast<value*>(8));
    EXPECT_TRUE(by_name.erase(interned[500]));
    EXPECT_TRUE(by_text.erase("a key long enough not to fit inline 500"));
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(by_name.find(interned[i]) != nullptr, i != 500) << i;
        EXPECT_EQ(by_text.contains("a key long enough not to fit inline " + std::to_string(i)), i != 500) << i;
    }
    EXPECT_EQ(by_name.entries[500].first, interned[501]);
    EXPECT_FALSE(by_text.contains("a key long enough not to fit inline 1000"));
    by_name.clear();
    EXPECT_EQ(by_name.find(interned[0]), nullptr);
    by_name.bind(interned[0], nullptr);
    EXPECT_NE(by_name.find(interned[0]), nullptr);
}

}  // namespace
}  // namespace velune
