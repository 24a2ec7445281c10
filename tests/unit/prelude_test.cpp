// The global state the standard library leaves behind: programs observe the order of the
// global environment and of the two stores, the exec modes and the generated-symbol counter.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interpreter/interpreter.h"
#include "prelude/image.h"
#include "prelude/prelude.h"
#include "prelude/prelude_image.h"

namespace velune {
namespace {

// The library's own names, in the order they are first bound.
const std::vector<std::string> library_names = {
    "defmacro", "def", "begin", "let", "let*", "is-instance", "has-docstring", "map", "filter", "reduce", "when",
    "cond", "is-list", "nth", "match-types", "eval-types", "method-store", "defgeneric", "untype-parameters",
    "defmethod", "add", "sum", "reverse", "length", "at", "set-at", "iter", "range", "to-symbol", "is-string",
    "is-integer", "is-symbol", "is-cons", "is-dict", "is-nil", "in", "setter-store", "set",
    "make-attr-initializer", "make-constructor", "make-getter", "make-getters", "make-setter", "make-setters",
    "defclass", "indent", "indent-block", "print-lines", "flatten", "lines-to-string", "yaml-quote",
    "get-kwarg-pair", "split-kwargs", "use", "run", "needs", "matrix", "job", "github-action-func",
    "github-action", "workflow", "save-workflow", "indentation", "node", "make-node", "is-node", "to-node",
    "generate", "context", "make-context", "name", "args", "body", "set-name", "set-args", "set-body",
    "is-context", "to-context", "directive", "make-directive", "is-directive", "to-directive", "comment",
    "make-comment", "text", "set-text", "is-comment", "to-comment", "nginx-comment", "all", "make-all", "is-all",
    "to-all", "configuration", "str", "dir", "listen", "server-name", "root", "index", "include", "sendfile",
    "keepalive-timeout", "ssl-certificate", "ssl-certificate-key", "ssl-protocols", "proxy-pass",
    "proxy-set-header", "access-log", "error-log", "rewrite", "return", "http", "server", "location",
    "upstream"};

std::vector<std::string> keys_of(Runtime& rt, const char* dictionary) {
    std::vector<std::string> keys;
    auto* table = as<hashtable>(rt.global->lookup_name(rt.names.intern(dictionary)));
    for (const auto& entry : table->table.entries) keys.push_back(entry.first);
    return keys;
}

class Prelude : public ::testing::Test {
protected:
    void SetUp() override { prelude::establish(rt); }
    Runtime rt;
};

TEST_F(Prelude, BindsItsNamesAfterTheBuiltinsInOrder) {
    Runtime bare;
    prelude::establish(bare, prelude::mode::skip);
    std::vector<std::string> expected;
    for (const auto& entry : bare.global->name_bindings(bare)) {
        const std::string& name = entry.first->text;
        // Captured by the library, then unbound.
        if (name == "string-length" || name == "string->symbol" || name == "string-at" || name == "string-concat")
            continue;
        expected.push_back(name);
    }
    expected.insert(expected.end(), library_names.begin(), library_names.end());

    std::vector<std::string> names;
    for (const auto& entry : rt.global->name_bindings(rt)) names.push_back(entry.first->text);
    EXPECT_EQ(names, expected);
    EXPECT_EQ(names.size(), 192u);
}

TEST_F(Prelude, FillsTheStoresInDefinitionOrder) {
    const std::vector<std::string> generics = {
        "repr",     "add",      "length",   "at",         "set-at",       "iter", "to-symbol", "to-string",
        "in",       "to-node",  "generate", "name",       "args",         "body", "set-name",  "set-args",
        "set-body", "to-context", "to-directive", "text", "set-text", "to-comment", "to-all"};
    EXPECT_EQ(keys_of(rt, "method-store"), generics);
    EXPECT_EQ(keys_of(rt, "setter-store"), (std::vector<std::string>{"at", "name", "args", "body", "text"}));
}

TEST_F(Prelude, MakesItsMacrosMacrosAndRebindsTheGenericsInPlace) {
    auto mode_of = [this](const char* name) {
        return as<function>(rt.global->lookup_name(rt.names.intern(name)))->exec_mode;
    };
    for (const char* name : {"defmacro", "def", "begin", "let", "let*", "when", "cond", "defgeneric", "defmethod",
                             "set", "defclass", "github-action"}) {
        EXPECT_EQ(mode_of(name), exec_mode::macro) << name;
    }
    for (const char* name : {"+", "to-string", "repr"}) {
        auto* f = as<function>(rt.global->lookup_name(rt.names.intern(name)));
        EXPECT_EQ(f->implementation->kind, value_kind::lispfunc) << name;
    }
}

TEST_F(Prelude, DrawsItsGeneratedSymbolsFromTheCounter) {
    // Three for every defmethod, and those of the nginx classes' constructors, getters and setters.
    EXPECT_EQ(rt.num_symbol_generator.counter, 219);
}

// The image the program starts from is the state evaluating the library gives: writing the
// evaluated state, and writing the state restored from that, both give the embedded bytes.
TEST(PreludeImage, RestoresExactlyTheEvaluatedState) {
    Runtime evaluated;
    prelude::establish(evaluated, prelude::mode::evaluate);
    const std::string image = prelude::write_image(evaluated);
    EXPECT_EQ(image, prelude::embedded::prelude_image);

    Runtime restored;
    prelude::establish(restored, prelude::mode::load, image);
    EXPECT_EQ(prelude::write_image(restored), image);
    EXPECT_EQ(restored.num_symbol_generator.counter, 219);
}

TEST(PreludeImage, RefusesBytesItDidNotWrite) {
    const std::string image(prelude::embedded::prelude_image);
    for (const std::string& bad : {std::string("not an image"), image.substr(0, image.size() / 2)}) {
        Runtime rt;
        prelude::establish(rt, prelude::mode::skip);
        EXPECT_THROW(prelude::restore_image(rt, bad), std::runtime_error);
    }
}

}  // namespace
}  // namespace velune
