// The global environment's bindings: order (programs can observe it) and exec modes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interpreter/interpreter.h"
#include "prelude/prelude.h"

namespace velune {
namespace {

TEST(GlobalBindings, ComeInTheDocumentedOrder) {
    Runtime rt;
    prelude::establish(rt, prelude::mode::skip);
    std::vector<std::string> names;
    for (const auto& entry : rt.global->name_bindings(rt)) names.push_back(entry.first->text);
    const std::vector<std::string> expected = {
        "current-scope", "parent-scope", "true", "false", "nil", "type", "integer", "string", "dictionary",
        "environment", "unique", "symbol", "cell", "function", "class", "to-string", "repr", "read", "load",
        "eval", "get-closure", "get-doc", "set-doc", "get-metadata", "set-metadata", "get-type", "macroexpand",
        "with-exec-mode", "gensym", "get-attr", "set-attr", "make-class", "make-instance", "is-subclass",
        "get-class-owned-attributes", "get-all-class-attributes", "get-class-env", "for", "if", "error", "quote",
        "quasiquote", "not", "and", "or", "set-symbol", "unset", "define", "fn", "apply", "print", "write-file",
        "read-file", "append-file", "<", ">", "<=", ">=", "=", "+", "-", "*", "car", "cdr", "cons", "list",
        "get-key", "set-key", "has-key", "dict", "list-keys", "split", "join", "substring", "strip",
        "string-contains", "string-length", "string->symbol", "string-at", "string-concat"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(rt.global->lookup_name(rt.known.parent_scope), nullptr);
    EXPECT_EQ(rt.global->lookup_name(rt.known.current_scope), rt.global);
}

TEST(GlobalBindings, CarryTheirExecModes) {
    Runtime rt;
    prelude::establish(rt, prelude::mode::skip);
    auto mode_of = [&rt](const char* name) {
        return as<function>(rt.global->lookup_name(rt.names.intern(name)))->exec_mode;
    };
    for (const char* name : {"quote", "quasiquote"}) EXPECT_EQ(mode_of(name), exec_mode::no_expand) << name;
    for (const char* name : {"if", "for", "and", "or", "define", "fn", "unset", "make-class"}) {
        EXPECT_EQ(mode_of(name), exec_mode::no_eval) << name;
    }
    for (const char* name : {"load", "eval", "apply", "print", "car", "to-string"}) {
        EXPECT_EQ(mode_of(name), exec_mode::function) << name;
    }
}

TEST(Interpreter, DisplaysNothingToDoWhenEmptyAndStepsARootToItsEnd) {
    Runtime rt;
    prelude::establish(rt, prelude::mode::skip);
    Interpreter in(rt);
    EXPECT_EQ(in.display(), "(nothing to do)");
    in.push<EvalFrame>(rt.global, make_integer(rt, 1));
    EXPECT_EQ(in.display(), "EvalFrame: 1");
    EXPECT_TRUE(in.next_step());  // the root finishes in its first step, with no resume
    EXPECT_EQ(in.display(), "(nothing to do)");
}

}  // namespace
}  // namespace velune
