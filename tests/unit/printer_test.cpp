// The two printed forms: exact texts of every kind of value, the dictionary and environment
// layouts, and orderly failures for what has no printed form.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "interpreter/interpreter.h"
#include "prelude/prelude.h"
#include "value/printer.h"

namespace velune {
namespace {

using namespace std::string_literals;

class Printer : public ::testing::Test {
protected:
    Printer() { prelude::establish(rt, prelude::mode::skip); }

    Runtime rt;

    value* sym(std::string_view name) { return make_symbol(rt, name); }
    value* num(std::int64_t n) { return make_integer(rt, n); }
    value* str(std::string text) { return make_string(rt, std::move(text)); }
    value* flt(double d) { return rt.heap.make<floating>(rt, d); }
    value* list(std::vector<value*> items) { return make_list(rt, items); }
    value* global(std::string_view name) { return rt.global->lookup(sym(name)); }
    hashtable* dict(std::vector<std::pair<std::string, value*>> entries) {
        auto* d = rt.heap.make<hashtable>(rt);
        for (auto& [k, v] : entries) hashtable_setkey(d, str(k), v);
        return d;
    }
    value* lisp_function(std::vector<value*> params, value* rest, value* body, exec_mode m = exec_mode::function) {
        auto* f = rt.heap.make<lispfunc>(rt, std::move(params), rest, body, rt.global);
        return rt.heap.make<function>(rt, m, f);
    }

    std::string repr(value* v) { return represent_text(rt, v); }
    std::string text(value* v) { return to_string_text(rt, v); }

    // The message of the HostFailure that printing must end in.
    template <class F> std::string failure(F print) {
        try {
            print();
        } catch (const HostFailure& e) {
            return e.what();
        } catch (...) {
            return "<some other exception>";
        }
        return "<no failure>";
    }
};

// ---- atoms ----

TEST_F(Printer, Integers) {
    EXPECT_EQ(text(num(0)), "0");
    EXPECT_EQ(text(num(-1)), "-1");
    EXPECT_EQ(text(num(1234567)), "1234567");
    EXPECT_EQ(text(num(std::numeric_limits<std::int64_t>::min())), "-9223372036854775808");
    EXPECT_EQ(repr(num(std::numeric_limits<std::int64_t>::max())), "9223372036854775807");
}

TEST_F(Printer, FloatsHaveSixDecimalsCorrectlyRounded) {
    EXPECT_EQ(text(flt(2.0)), "2.000000");
    EXPECT_EQ(text(flt(0.1)), "0.100000");
    EXPECT_EQ(text(flt(1.5)), "1.500000");
    EXPECT_EQ(repr(flt(-0.25)), "-0.250000");
    EXPECT_EQ(text(flt(1e16)), "10000000000000000.000000");
    // Rounded from the double's exact value: 0.1234565 is just below the half as a
    // double, 1.0000005 just above it.
    EXPECT_EQ(text(flt(0.0000005)), "0.000000");
    EXPECT_EQ(text(flt(0.1234565)), "0.123456");
    EXPECT_EQ(text(flt(1.0000005)), "1.000001");
    EXPECT_EQ(text(flt(std::numeric_limits<double>::infinity())), "inf");
    EXPECT_EQ(text(flt(-std::numeric_limits<double>::infinity())), "-inf");
    EXPECT_EQ(repr(flt(std::nan(""))), "nan");
    EXPECT_EQ(text(flt(-std::nan(""))), "nan");
    // The widest double prints in full.
    const std::string widest = text(flt(std::numeric_limits<double>::max()));
    EXPECT_EQ(widest.size(), 309u + 7u);
    EXPECT_EQ(widest.substr(0, 17), "17976931348623157");
    EXPECT_EQ(widest.substr(widest.size() - 7), ".000000");
    EXPECT_EQ(text(flt(-std::numeric_limits<double>::max())).size(), 309u + 8u);
}

TEST_F(Printer, StringsAreQuotedRawInRepr) {
    EXPECT_EQ(repr(str("say \"hi\"")), "\"say \"hi\"\"");
    EXPECT_EQ(repr(str("a\nb\\c")), "\"a\nb\\c\"");
    EXPECT_EQ(repr(str("")), "\"\"");
    EXPECT_EQ(repr(str("a\0b"s)), "\"a\0b\""s);
    EXPECT_EQ(text(str("a\0b\xff"s)), "a\0b\xff"s);
    // to-string of a string is the very same object; every other result is new.
    value* s = str("abc");
    EXPECT_EQ(to_string(rt, s), s);
    value* r = represent(rt, s);
    EXPECT_NE(r, s);
    EXPECT_EQ(as<string>(r)->text, "\"abc\"");
    value* n = num(5);
    EXPECT_EQ(as<string>(to_string(rt, n))->text, "5");
    EXPECT_NE(to_string(rt, n), to_string(rt, n));
}

TEST_F(Printer, SymbolsAndUniques) {
    EXPECT_EQ(text(sym("abc")), "abc");
    EXPECT_EQ(repr(sym("abc")), "abc");
    EXPECT_EQ(repr(sym("a\"b")), "a\"b");  // no quoting of names either
    value* g = rt.heap.make<num_symbol>(rt, 220);
    EXPECT_EQ(text(g), "<symbol #220>");
    EXPECT_EQ(repr(g), "<symbol #220>");
    EXPECT_EQ(repr(rt.heap.make<num_symbol>(rt, -3)), "<symbol #-3>");
    EXPECT_EQ(text(rt.nil), "nil");
    EXPECT_EQ(repr(rt.nil), "nil");
    EXPECT_EQ(repr(rt.true_value), "true");
    EXPECT_EQ(text(rt.false_value), "false");
}

TEST_F(Printer, TypesShowTheirNames) {
    EXPECT_EQ(repr(rt.types.integer), "<type int>");
    EXPECT_EQ(repr(rt.types.dictionary), "<type dictionary>");
    EXPECT_EQ(repr(rt.types.type), "<type type>");
    EXPECT_EQ(repr(rt.types.string), "<type str>");
    EXPECT_EQ(repr(rt.types.resumable_native), "<type resumable-native>");
    EXPECT_EQ(repr(rt.types.floating), "<type float>");
}

// ---- lists ----

TEST_F(Printer, ListsShowElementsInReprForm) {
    EXPECT_EQ(text(list({str("a"), sym("b"), num(1)})), "(\"a\" b 1)");
    EXPECT_EQ(repr(list({num(1), list({num(2), num(3)}), str("x")})), "(1 (2 3) \"x\")");
    EXPECT_EQ(text(list({})), "nil");
    EXPECT_EQ(repr(list({rt.nil})), "(nil)");
    EXPECT_EQ(repr(list({rt.nil, list({list({})}), rt.true_value})), "(nil (nil) true)");
    EXPECT_EQ(repr(list({rt.types.integer, dict({}), rt.heap.make<num_symbol>(rt, 7)})),
              "(<type int> (dict) <symbol #7>)");
    EXPECT_EQ(text(list({global("car")})), "((native-function car))");
}

TEST_F(Printer, DottedListsFailInAnOrderlyWay) {
    value* pair = cons(rt, num(1), num(2));
    value* longer = cons(rt, num(1), cons(rt, num(2), str("tail")));
    value* nested = list({num(0), pair});
    value* ends_in_true = cons(rt, num(1), rt.true_value);
    for (value* v : {pair, longer, nested, ends_in_true}) {
        EXPECT_NE(failure([&] { text(v); }), "<no failure>");
        EXPECT_NE(failure([&] { repr(v); }), "<no failure>");
        EXPECT_NE(failure([&] { to_string(rt, v); }), "<no failure>");
        // Error messages still describe such a value.
        EXPECT_FALSE(describe(rt, v).empty());
    }
    EXPECT_NE(failure([&] { text(pair); }), "<some other exception>");
}

TEST_F(Printer, LongAndDeepListsNeedNoHostStack) {
    std::vector<value*> items;
    for (int i = 0; i < 1000000; ++i) items.push_back(num(i % 10));
    const std::string flat = repr(list(items));
    EXPECT_EQ(flat.size(), 2u * 1000000u + 1u);
    EXPECT_EQ(flat.substr(0, 6), "(0 1 2");
    EXPECT_EQ(flat.substr(flat.size() - 4), "8 9)");

    // (((...(x)...))) a million levels deep: printed in full, or an orderly failure.
    value* deep = sym("x");
    for (int i = 0; i < 1000000; ++i) deep = cons(rt, deep, rt.nil);
    try {
        const std::string t = text(deep);
        EXPECT_EQ(t.size(), 2u * 1000000u + 1u);
        EXPECT_EQ(t.substr(0, 3), "(((");
        EXPECT_EQ(t.find('x'), 1000000u);
        EXPECT_EQ(t.back(), ')');
    } catch (const HostFailure&) {
    }
    // The same depth in the cdr direction inside cars: ((1 (1 (1 ...)))).
    value* right = rt.nil;
    for (int i = 0; i < 1000000; ++i) right = list({num(1), right});
    try {
        const std::string t = repr(right);
        EXPECT_EQ(t.substr(0, 8), "(1 (1 (1");
    } catch (const HostFailure&) {
    }
}

// ---- functions ----

TEST_F(Printer, NativeFunctionsAndSpecialForms) {
    EXPECT_EQ(repr(global("car")), "(native-function car)");
    EXPECT_EQ(repr(global("if")), "(with-exec-mode 'no-eval (native-function if))");
    EXPECT_EQ(repr(global("quote")), "(with-exec-mode 'no-expand (native-function quote))");
    EXPECT_EQ(repr(global("define")), "(with-exec-mode 'no-eval (native-function define))");
    auto* native = as<function>(global("car"))->implementation;
    EXPECT_EQ(repr(rt.heap.make<function>(rt, exec_mode::macro, native)),
              "(with-exec-mode 'macro (native-function car))");
}

TEST_F(Printer, LispFunctions) {
    // (fn (x) (+ x 1))
    EXPECT_EQ(repr(lisp_function({sym("x")}, nullptr, list({list({sym("+"), sym("x"), num(1)})}))),
              "(fn (x) (+ x 1))");
    EXPECT_EQ(repr(lisp_function({}, nullptr, list({num(1), num(2)}))), "(fn () 1 2)");
    EXPECT_EQ(repr(lisp_function({}, nullptr, rt.nil)), "(fn () nil)");
    EXPECT_EQ(repr(lisp_function({sym("a"), sym("b")}, sym("more"), list({sym("a")}))), "(fn (a b . more) a)");
    EXPECT_EQ(repr(lisp_function({}, sym("r"), list({sym("r")}))), "(fn (. r) r)");
    EXPECT_EQ(repr(lisp_function({}, nullptr, list({str("doc"), rt.nil}))), "(fn () \"doc\" nil)");
    value* g = rt.heap.make<num_symbol>(rt, 9);
    EXPECT_EQ(repr(lisp_function({g}, nullptr, list({g}))), "(fn (<symbol #9>) <symbol #9>)");
    EXPECT_EQ(repr(lisp_function({sym("x")}, nullptr, list({sym("x")}), exec_mode::macro)),
              "(with-exec-mode 'macro (fn (x) x))");
    EXPECT_EQ(repr(lisp_function({}, nullptr, rt.nil, exec_mode::no_expand)),
              "(with-exec-mode 'no-expand (fn () nil))");
    // A function inside a list, and a nested function in a body.
    value* inner = lisp_function({}, nullptr, list({num(2)}));
    EXPECT_EQ(repr(list({inner, lisp_function({}, nullptr, list({inner}))})), "((fn () 2) (fn () (fn () 2)))");
}

// ---- dictionaries ----

TEST_F(Printer, DictionaryLayout) {
    EXPECT_EQ(repr(dict({})), "(dict)");
    EXPECT_EQ(repr(dict({{"port", num(80)}, {"name", str("web")}})),
              "(dict\n      port 80\n      name \"web\")");
    EXPECT_EQ(repr(dict({{"a", dict({{"b", num(1)}})}})),
              "(dict\n      a (dict\n             b 1))");
    // A value text with newlines continues under the key; empty keys keep their space.
    EXPECT_EQ(repr(dict({{"s", str("x\ny\n")}, {"", num(1)}})),
              "(dict\n      s \"x\n       y\n       \"\n       1)");
    EXPECT_EQ(repr(dict({{"e", dict({})}, {"l", list({num(1), str("two")})}})),
              "(dict\n      e (dict)\n      l (1 \"two\"))");
    EXPECT_EQ(repr(list({dict({{"k", num(1)}}), num(2)})), "((dict\n      k 1) 2)");
}

TEST_F(Printer, NestedLayoutsIndentUnderEachEnclosingName) {
    // A string's own newlines, a dictionary in an environment in a dictionary.
    auto* e = rt.heap.make<environment>(rt, nullptr);
    e->bind(sym("d"), dict({{"s", str("a\nb")}}));
    EXPECT_EQ(repr(dict({{"e", e}})),
              "(dict\n"
              "      e (env ()\n" +
                  std::string(12, ' ') + "d (dict\n" +
                  std::string(19, ' ') + "s \"a\n" +
                  std::string(20, ' ') + "b\")))");
    // A key holding a newline: its second line starts at the left edge of the entry, and
    // the value's lines continue by the key's whole width.
    EXPECT_EQ(repr(dict({{"o", dict({{"k\nl", str("x\ny")}})}})),
              "(dict\n      o (dict\n" + std::string(13, ' ') + "k\n" + std::string(7, ' ') + "l \"x\n" +
                  std::string(16, ' ') + "y\"))");
    // Nesting well past what programs build prints in full.
    value* deep = num(1);
    const int levels = 1500;
    for (int i = 0; i < levels; ++i) deep = dict({{"k", deep}});
    const std::string t = repr(deep);
    const auto last_line = t.substr(t.rfind('\n') + 1);
    EXPECT_EQ(last_line, std::string(7 * (levels - 1) + 6, ' ') + "k 1" + std::string(levels, ')'));
}

TEST_F(Printer, DictionaryOrderFollowsFirstInsertion) {
    hashtable* d = dict({{"b", num(1)}, {"a", num(2)}});
    hashtable_setkey(d, str("b"), num(3));
    EXPECT_EQ(repr(d), "(dict\n      b 3\n      a 2)");
}

// ---- environments ----

TEST_F(Printer, EnvironmentWithoutParent) {
    auto* e = rt.heap.make<environment>(rt, nullptr);
    EXPECT_EQ(repr(e), "(env ())");
    e->bind(sym("x"), num(1));
    e->bind(rt.heap.make<num_symbol>(rt, 7), str("g"));
    e->bind(sym("d"), dict({{"k", num(2)}}));
    EXPECT_EQ(repr(e), "(env ()\n     x 1\n     d (dict\n            k 2)\n     <symbol #7> \"g\")");
    // The scope names show once they no longer hold what creation put there.
    auto* f = rt.heap.make<environment>(rt, nullptr);
    f->bind(sym("current-scope"), num(5));
    EXPECT_EQ(repr(f), "(env ()\n     current-scope 5)");
}

TEST_F(Printer, EnvironmentShowsItsParentChain) {
    auto* top = rt.heap.make<environment>(rt, nullptr);
    auto* middle = rt.heap.make<environment>(rt, top);
    // A parent whose form is one line.
    EXPECT_EQ(repr(middle), "(env\n     ((env ())))");
    top->bind(sym("a"), num(1));
    middle->bind(sym("y"), num(2));
    EXPECT_EQ(repr(middle), "(env\n     ((env ()\n           a 1))\n     y 2)");
    auto* inner = rt.heap.make<environment>(rt, middle);
    inner->bind(sym("z"), str("q"));
    EXPECT_EQ(repr(inner),
              "(env\n"
              "     ((env\n"
              "           ((env ()\n"
              "                 a 1))\n"
              "           y 2))\n"
              "     z \"q\")");
}

TEST_F(Printer, EnvironmentNamesMergeByText) {
    // A named symbol spelled like a generated one is a separate variable but the same
    // line: the generated binding's value takes the named one's place.
    auto* e = rt.heap.make<environment>(rt, nullptr);
    e->bind(sym("<symbol #7>"), num(1));
    e->bind(sym("w"), num(2));
    e->bind(rt.heap.make<num_symbol>(rt, 7), num(3));
    EXPECT_EQ(repr(e), "(env ()\n     <symbol #7> 3\n     w 2)");
}

// ---- classes ----

TEST_F(Printer, Classes) {
    auto* empty = rt.heap.make<Class>(rt, std::vector<value*>{}, std::vector<const Name*>{}, rt.global);
    EXPECT_EQ(repr(empty), "(class nil nil)");
    std::vector<const Name*> ab = {rt.names.intern("a"), rt.names.intern("b")};
    auto* c = rt.heap.make<Class>(rt, std::vector<value*>{}, ab, rt.global);
    EXPECT_EQ(repr(c), "(class nil (a b))");
    std::vector<const Name*> x = {rt.names.intern("x")};
    auto* child = rt.heap.make<Class>(rt, std::vector<value*>{c, empty}, x, rt.global);
    EXPECT_EQ(repr(child), "(class ((class nil (a b)) (class nil nil)) (x))");
    // Only its own attributes show, not the inherited ones.
    auto* bare = rt.heap.make<Class>(rt, std::vector<value*>{c}, std::vector<const Name*>{}, rt.global);
    EXPECT_EQ(repr(bare), "(class ((class nil (a b))) nil)");
    // Parents are printed whatever they are.
    auto* odd = rt.heap.make<Class>(rt, std::vector<value*>{num(5)}, x, rt.global);
    EXPECT_EQ(repr(odd), "(class (5) (x))");
}

// ---- failures ----

TEST_F(Printer, ToStringOnlyForAtomsAndLists) {
    EXPECT_EQ(failure([&] { text(dict({})); }), "to-string not implemented for type <type dictionary>");
    EXPECT_EQ(failure([&] { text(rt.global); }), "to-string not implemented for type <type environment>");
    EXPECT_EQ(failure([&] { text(global("car")); }), "to-string not implemented for type <type function>");
    EXPECT_EQ(failure([&] { text(rt.types.integer); }), "to-string not implemented for type <type type>");
    auto* c = rt.heap.make<Class>(rt, std::vector<value*>{}, std::vector<const Name*>{rt.names.intern("a")},
                                  rt.global);
    EXPECT_EQ(failure([&] { text(c); }), "to-string not implemented for type <type class>");
    // An instance's type is its class, shown in its printed form.
    EXPECT_EQ(failure([&] { text(rt.heap.make<instance>(c)); }), "to-string not implemented for type (class nil (a))");
    value* native = as<function>(global("car"))->implementation;
    value* resumable = as<function>(global("if"))->implementation;
    value* lisp = as<function>(lisp_function({}, nullptr, rt.nil))->implementation;
    EXPECT_EQ(failure([&] { text(native); }), "to-string not implemented for type <type native-function>");
    EXPECT_EQ(failure([&] { text(resumable); }), "to-string not implemented for type <type resumable-native>");
    EXPECT_EQ(failure([&] { text(lisp); }), "to-string not implemented for type <type lisp-function>");
    // The same failure from inside a list element is not hidden.
    EXPECT_EQ(failure([&] { to_string(rt, list({num(1), resumable})); }), "repr not implemented for type resumable-native");
}

TEST_F(Printer, ReprFailsForBareImplementationsAndInstances) {
    value* resumable = as<function>(global("if"))->implementation;
    EXPECT_EQ(failure([&] { repr(resumable); }), "repr not implemented for type resumable-native");
    value* native = as<function>(global("car"))->implementation;
    value* lisp = as<function>(lisp_function({}, nullptr, rt.nil))->implementation;
    auto* c = rt.heap.make<Class>(rt, std::vector<value*>{}, std::vector<const Name*>{}, rt.global);
    value* object = rt.heap.make<instance>(c);
    for (value* v : {native, lisp, object}) {
        const std::string message = failure([&] { repr(v); });
        EXPECT_NE(message, "<no failure>");
        EXPECT_NE(message, "<some other exception>");
        EXPECT_FALSE(message.empty());
        // Also when met inside a dictionary, a list or a function body.
        EXPECT_EQ(failure([&] { repr(dict({{"k", v}})); }), message);
        EXPECT_EQ(failure([&] { repr(list({num(1), v})); }), message);
        EXPECT_EQ(failure([&] { repr(lisp_function({}, nullptr, list({v}))); }), message);
        // describe never fails.
        EXPECT_FALSE(describe(rt, v).empty());
        EXPECT_FALSE(describe(rt, list({v})).empty());
    }
}

TEST_F(Printer, StructuresContainingThemselvesFail) {
    hashtable* d = dict({{"a", num(1)}});
    hashtable_setkey(d, str("self"), d);
    EXPECT_NE(failure([&] { repr(d); }), "<no failure>");
    EXPECT_NE(failure([&] { repr(d); }), "<some other exception>");
    EXPECT_NE(failure([&] { text(list({d})); }), "<no failure>");
    EXPECT_FALSE(describe(rt, d).empty());

    // Through a list and a second dictionary.
    hashtable* outer = dict({});
    hashtable* inner = dict({{"back", list({num(1), outer})}});
    hashtable_setkey(outer, str("in"), inner);
    EXPECT_NE(failure([&] { repr(outer); }), "<no failure>");
    EXPECT_FALSE(describe(rt, list({outer})).empty());

    // An environment bound in itself under another name, or in its child.
    auto* e = rt.heap.make<environment>(rt, nullptr);
    e->bind(sym("me"), e);
    EXPECT_NE(failure([&] { repr(e); }), "<no failure>");
    auto* p = rt.heap.make<environment>(rt, nullptr);
    auto* child = rt.heap.make<environment>(rt, p);
    p->bind(sym("kid"), child);
    EXPECT_NE(failure([&] { repr(child); }), "<no failure>");
    EXPECT_FALSE(describe(rt, child).empty());

    // A function whose body holds a dictionary that holds the function.
    hashtable* holder = dict({});
    value* f = lisp_function({}, nullptr, list({holder}));
    hashtable_setkey(holder, str("f"), f);
    EXPECT_NE(failure([&] { repr(f); }), "<no failure>");

    // The same dictionary twice side by side is not a cycle.
    hashtable* shared = dict({{"k", num(1)}});
    EXPECT_EQ(repr(list({shared, shared})), "((dict\n      k 1) (dict\n      k 1))");
    EXPECT_EQ(repr(dict({{"x", shared}, {"y", shared}})),
              "(dict\n      x (dict\n             k 1)\n      y (dict\n             k 1))");
}

TEST_F(Printer, DeeplyNestedDictionariesFailInsteadOfExhaustingTheStack) {
    value* deep = num(1);
    for (int i = 0; i < 100000; ++i) deep = dict({{"k", deep}});
    EXPECT_NE(failure([&] { repr(deep); }), "<no failure>");
    EXPECT_NE(failure([&] { repr(list({deep})); }), "<no failure>");
    EXPECT_FALSE(describe(rt, deep).empty());
    value* deep_env = rt.global;
    for (int i = 0; i < 100000; ++i) deep_env = rt.heap.make<environment>(rt, as<environment>(deep_env));
    EXPECT_NE(failure([&] { repr(deep_env); }), "<no failure>");
    value* deep_function = rt.nil;
    for (int i = 0; i < 100000; ++i) deep_function = lisp_function({}, nullptr, list({deep_function}));
    EXPECT_NE(failure([&] { repr(deep_function); }), "<no failure>");
    value* deep_class = rt.heap.make<Class>(rt, std::vector<value*>{}, std::vector<const Name*>{}, rt.global);
    for (int i = 0; i < 5000; ++i) {
        deep_class = rt.heap.make<Class>(rt, std::vector<value*>{deep_class}, std::vector<const Name*>{}, rt.global);
    }
    EXPECT_NE(failure([&] { repr(deep_class); }), "<no failure>");
}

TEST_F(Printer, DescribeIsRepresentWhereThatExists) {
    for (value* v : {num(-5), static_cast<value*>(str("a\"b")), rt.nil, list({sym("a"), list({num(1)})}),
                     static_cast<value*>(dict({{"k", str("v")}})), global("if")}) {
        EXPECT_EQ(describe(rt, v), repr(v));
    }
}

}  // namespace
}  // namespace velune
