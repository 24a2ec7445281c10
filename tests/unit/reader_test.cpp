// The reader: what each piece of text reads as, where reading stops, and the exact
// syntax-error messages it prints on the output.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "parse/parse.h"
#include "prelude/prelude.h"

namespace velune {
namespace {

using namespace std::literals;

// The runtime writes to a temporary file so that the reader's messages can be read back.
class Reader : public ::testing::Test {
protected:
    Reader() : output(std::tmpfile()), rt(fileno(output)) { prelude::establish(rt, prelude::mode::skip); }
    ~Reader() override { std::fclose(output); }

    std::FILE* output;
    Runtime rt;

    std::string printed() {
        rt.out.flush();
        std::string text;
        char buffer[4096];
        ssize_t n;
        off_t at = 0;
        while ((n = ::pread(fileno(output), buffer, sizeof buffer, at)) > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
            at += n;
        }
        return text;
    }

    // A structural picture independent of the printer: strings in quotes with their bytes
    // raw, generated symbols as #N, dotted tails shown.
    static std::string shape(value* v) {
        switch (v->kind) {
        case value_kind::integer:
            return std::to_string(as<integer>(v)->int_value);
        case value_kind::string:
            return "\"" + as<string>(v)->text + "\"";
        case value_kind::named_symbol:
            return as<named_symbol>(v)->name->text;
        case value_kind::num_symbol:
            return "#" + std::to_string(as<num_symbol>(v)->number);
        case value_kind::unique:
            return std::string(as<unique>(v)->name);
        case value_kind::cell: {
            std::string text = "(";
            for (;;) {
                text += shape(as<cell>(v)->car);
                v = as<cell>(v)->cdr;
                if (!is<cell>(v)) break;
                text += ' ';
            }
            if (!(is<unique>(v) && as<unique>(v)->name == "nil")) text += " . " + shape(v);
            return text + ")";
        }
        default:
            return "?";
        }
    }

    // Every top-level expression of the text, in the picture above.
    std::vector<std::string> read_all(std::string_view text) {
        std::vector<std::string> out;
        std::int64_t position = 0;
        while (auto next = next_expr(rt, text, position)) {
            EXPECT_GT(next->position, position) << "no progress";
            if (next->position <= position) break;
            position = next->position;
            out.push_back(shape(next->expression));
        }
        return out;
    }

    value* read_one(std::string_view text) {
        auto next = next_expr(rt, text, 0);
        EXPECT_TRUE(next.has_value()) << text;
        return next ? next->expression : nullptr;
    }

    // Reads the whole text; it must end in a syntax error whose printed message is
    // `message` on a line of its own (nothing at all when `message` is empty).
    void expect_syntax_error(std::string_view text, const std::string& message) {
        const std::string before = printed();
        bool raised = false;
        try {
            read_all(text);
        } catch (const SyntaxError&) {
            raised = true;
        }
        EXPECT_TRUE(raised) << "no syntax error for: " << text;
        const std::string expected = message.empty() ? "" : message + "\n";
        EXPECT_EQ(printed().substr(before.size()), expected) << "for: " << text;
    }
};

using Strings = std::vector<std::string>;

// ---- what is not an expression ----

TEST_F(Reader, NothingToReadInBlanksAndComments) {
    for (std::string_view text : {""sv, "   "sv, " \t\n\n\t "sv, "; a comment"sv, "# another\n"sv,
                                  "  ;a\n\t# b\n; c\n   "sv, ";;;\n#;#\n"sv, "# ( unbalanced \" in a comment"sv}) {
        EXPECT_FALSE(next_expr(rt, text, 0).has_value()) << text;
    }
    EXPECT_EQ(printed(), "");
}

TEST_F(Reader, StrayCloseParenStopsReading) {
    EXPECT_FALSE(next_expr(rt, ")", 0).has_value());
    EXPECT_FALSE(next_expr(rt, "  ; c\n ) (a b)", 0).has_value());
    EXPECT_EQ(read_all("1 b ) \"never\" (1x"), (Strings{"1", "b"}));
    EXPECT_EQ(printed(), "");
}

TEST_F(Reader, PositionsAtOrPastTheEndReadNothing) {
    EXPECT_FALSE(next_expr(rt, "abc", 3).has_value());
    EXPECT_FALSE(next_expr(rt, "abc", 4).has_value());
    EXPECT_FALSE(next_expr(rt, "abc", 1000).has_value());
}

// ---- positions ----

TEST_F(Reader, PositionIsTheByteAfterTheExpression) {
    struct Case {
        std::string_view text;
        std::int64_t start, end;
    };
    // Integers and symbols stop at their delimiter without taking it.
    for (const Case& c : {Case{"12)", 0, 2}, Case{"  7 ", 0, 3}, Case{"abc def", 0, 3}, Case{"abc def", 3, 7},
                          Case{"abc;x", 0, 3}, Case{"\"ab\"x", 0, 4}, Case{"(a (b)) c", 0, 7},
                          Case{"'x y", 0, 2}, Case{"; c\n,@x ", 0, 7}, Case{"()", 0, 2}, Case{"x", 0, 1}}) {
        auto next = next_expr(rt, c.text, c.start);
        ASSERT_TRUE(next.has_value()) << c.text;
        EXPECT_EQ(next->position, c.end) << c.text;
    }
}

// ---- integers ----

TEST_F(Reader, IntegersInDecimalWithWrapAround) {
    EXPECT_EQ(read_all("0 7 007 1234567890"), (Strings{"0", "7", "7", "1234567890"}));
    EXPECT_EQ(shape(read_one("9223372036854775807")), "9223372036854775807");
    EXPECT_EQ(shape(read_one("9223372036854775808")), "-9223372036854775808");
    EXPECT_EQ(shape(read_one("18446744073709551616")), "0");
    EXPECT_EQ(shape(read_one("18446744073709551615")), "-1");
    EXPECT_EQ(shape(read_one("99999999999999999999")), "7766279631452241919");
    EXPECT_EQ(printed(), "");
}

TEST_F(Reader, SignsMakeSymbols) {
    EXPECT_EQ(read_all("-5 + - +5 -0"), (Strings{"-5", "+", "-", "+5", "-0"}));
    for (std::string_view text : {"-5"sv, "+"sv}) EXPECT_TRUE(is<named_symbol>(read_one(text)));
}

TEST_F(Reader, IntegersEndAtBlanksAndParentheses) {
    EXPECT_EQ(read_all("(1 2 3)"), (Strings{"(1 2 3)"}));
    EXPECT_EQ(read_all("(12)(3\t4\n5)"), (Strings{"(12)", "(3 4 5)"}));
    value* list = read_one("(1 2 3)");
    EXPECT_TRUE(is<integer>(as<cell>(list)->car));
    EXPECT_TRUE(is_list(list));
}

TEST_F(Reader, BadByteInAnIntegerNamesTheByteAndTheWord) {
    expect_syntax_error("12a)", "Invalid character while reading int literal: a (in 12a))");
    expect_syntax_error("1.5", "Invalid character while reading int literal: . (in 1.5)");
    expect_syntax_error("12;note", "Invalid character while reading int literal: ; (in 12;note)");
    expect_syntax_error("3#x", "Invalid character while reading int literal: # (in 3#x)");
    // The word runs to the next blank, parentheses included, or to the end of the text.
    expect_syntax_error("(1 2x 3)", "Invalid character while reading int literal: x (in 2x)");
    expect_syntax_error("(f (9z)) (more)\nnext", "Invalid character while reading int literal: z (in 9z)))");
    expect_syntax_error("(a 45'b\tc)", "Invalid character while reading int literal: ' (in 45'b)");
    expect_syntax_error("1\"x\"", "Invalid character while reading int literal: \" (in 1\"x\")");
    // Carriage returns, high bytes and zero bytes are bytes like any other.
    expect_syntax_error("(x 12\r\n 3)", "Invalid character while reading int literal: \r (in 12\r)");
    expect_syntax_error("7\xe9t\xe9 x", "Invalid character while reading int literal: \xe9 (in 7\xe9t\xe9)");
    expect_syntax_error("5\0x y"sv, "Invalid character while reading int literal: \0 (in 5\0x)"s);
}

TEST_F(Reader, ExpressionsBeforeASyntaxErrorAreReadFirst) {
    std::int64_t position = 0;
    const std::string_view text = "(a) b 1x c";
    auto first = next_expr(rt, text, position);
    ASSERT_TRUE(first.has_value());
    auto second = next_expr(rt, text, first->position);
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(printed(), "");
    EXPECT_THROW(next_expr(rt, text, second->position), SyntaxError);
    EXPECT_EQ(printed(), "Invalid character while reading int literal: x (in 1x)\n");
}

TEST_F(Reader, ASyntaxErrorKnowsWhereItsExpressionBegan) {
    struct Case {
        std::string_view text;
        std::int64_t line, column;
    };
    // Columns count bytes; an unclosed list is placed where it was opened, and a stray `)`
    // is noted where it stopped the reading.
    for (const Case& c : std::vector<Case>{{"(a\n  (b 12x c))", 2, 6},
                                           {"x\n\t\"ab\\q\"", 2, 2},
                                           {"(a (b)\n (c", 2, 2},
                                           {"; note\n(a ,)", 2, 4},
                                           {"(a ,@)", 1, 4},
                                           {"'", 1, 1}}) {
        try {
            read_all(c.text);
            ADD_FAILURE() << "no syntax error for: " << c.text;
        } catch (const SyntaxError& e) {
            EXPECT_EQ(e.where.line, c.line) << c.text;
            EXPECT_EQ(e.where.column, c.column) << c.text;
        }
    }
    EXPECT_FALSE(next_expr(rt, "(a)\n  ; c\n ) b", 3).has_value());
    EXPECT_EQ(rt.diagnostics.unmatched_close.line, 3);
    EXPECT_EQ(rt.diagnostics.unmatched_close.column, 2);
    EXPECT_FALSE(next_expr(rt, "(a) ; c", 3).has_value());
    EXPECT_EQ(rt.diagnostics.unmatched_close.line, 0);
}

// ---- strings ----

TEST_F(Reader, StringEscapes) {
    EXPECT_EQ(as<string>(read_one(R"("a\nb")"))->text, "a\nb");
    EXPECT_EQ(as<string>(read_one(R"("a\"b")"))->text, "a\"b");
    EXPECT_EQ(as<string>(read_one(R"("a\\")"))->text, "a\\");
    EXPECT_EQ(as<string>(read_one(R"("\\n")"))->text, "\\n");
    EXPECT_EQ(as<string>(read_one(R"("\n\n\"\\")"))->text, "\n\n\"\\");
    EXPECT_EQ(as<string>(read_one(R"("")"))->text, "");
}

TEST_F(Reader, StringBytesAreTakenRaw) {
    EXPECT_EQ(as<string>(read_one("\"line\nnext\""))->text, "line\nnext");
    EXPECT_EQ(as<string>(read_one("\"a\rb\tc\""))->text, "a\rb\tc");
    EXPECT_EQ(as<string>(read_one("\"; not a comment # (\""))->text, "; not a comment # (");
    EXPECT_EQ(as<string>(read_one("\"caf\xc3\xa9\xff\""))->text, "caf\xc3\xa9\xff");
    EXPECT_EQ(as<string>(read_one("\"a\0b\""sv))->text, "a\0b"s);
    EXPECT_EQ(read_all("\"ab\"cd\"e\""), (Strings{"\"ab\"", "cd\"e\""}));
}

TEST_F(Reader, StringErrors) {
    expect_syntax_error(R"("a\tb")", "Unknown special character: \\t");
    expect_syntax_error(R"((x "\r"))", "Unknown special character: \\r");
    expect_syntax_error("\"\\\xff\"", "Unknown special character: \\\xff");
    expect_syntax_error("\"abc", "Unterminated string at EOF");
    expect_syntax_error("(print \"abc)\n", "Unterminated string at EOF");
    expect_syntax_error("\"", "Unterminated string at EOF");
}

TEST_F(Reader, StringEndingRightAfterABackslash) {
    for (std::string_view text : {"\"abc\\"sv, "(f \"\\"sv}) {
        const std::string before = printed();
        EXPECT_THROW(read_all(text), SyntaxError) << text;
        const std::string message = printed().substr(before.size());
        // Some message of its own, on one line.
        EXPECT_GT(message.size(), 1u);
        EXPECT_EQ(message.find('\n'), message.size() - 1) << message;
    }
}

// ---- symbols ----

TEST_F(Reader, SymbolBytes) {
    // Quotes, commas, backquotes and others inside a token belong to the symbol.
    EXPECT_EQ(read_all("a'b a,b x\"y a`b a@b a.b ab5 @x .x <=> ->"),
              (Strings{"a'b", "a,b", "x\"y", "a`b", "a@b", "a.b", "ab5", "@x", ".x", "<=>", "->"}));
    EXPECT_EQ(read_all("caf\xc3\xa9 \xff\xfe"), (Strings{"caf\xc3\xa9", "\xff\xfe"}));
    EXPECT_EQ(read_all("a\0b \0"sv), (Strings{"a\0b"s, "\0"s}));
    // A carriage return is not a blank: it ends up in the symbol.
    EXPECT_EQ(read_all("(abc\r\ndef)\r\n"), (Strings{"(abc\r def)", "\r"}));
}

TEST_F(Reader, CommentsEndSymbols) {
    EXPECT_EQ(read_all("abc;note\nxyz"), (Strings{"abc", "xyz"}));
    EXPECT_EQ(read_all("abc#def ghi\njkl"), (Strings{"abc", "jkl"}));
    EXPECT_EQ(read_all("<symbol #5>"), (Strings{"<symbol"}));
    EXPECT_EQ(read_all("(a;b)\nc)"), (Strings{"(a c)"}));
}

TEST_F(Reader, SymbolsAreFreshObjectsWithOneName) {
    auto first = next_expr(rt, "foo foo", 0);
    auto second = next_expr(rt, "foo foo", first->position);
    EXPECT_NE(first->expression, second->expression);
    EXPECT_TRUE(symbol_equal(first->expression, second->expression));
    EXPECT_EQ(as<named_symbol>(first->expression)->name, rt.names.intern("foo"));
    EXPECT_EQ(first->expression->type, rt.types.symbol);
}

// ---- lists ----

TEST_F(Reader, Lists) {
    EXPECT_EQ(read_one("()"), rt.nil);
    EXPECT_EQ(read_one("( \n ; inside\n )"), rt.nil);
    EXPECT_EQ(read_all("(a(b)c)"), (Strings{"(a (b) c)"}));
    EXPECT_EQ(read_all("(a . b)"), (Strings{"(a . b)"}));
    value* dotted = read_one("(a . b)");
    EXPECT_EQ(list_length(dotted), 3u);
    EXPECT_TRUE(is_list(dotted));
    EXPECT_EQ(read_all("((()))"), (Strings{"((nil))"}));
    EXPECT_EQ(read_all("(\"s\" 1 (x) ())"), (Strings{"(\"s\" 1 (x) nil)"}));
    EXPECT_EQ(read_all("(a\n  ; comment ) here\n  b # and ( here\n)"), (Strings{"(a b)"}));
}

TEST_F(Reader, UnclosedLists) {
    const std::string message = "list expression expecting sub expression or closing parenthesis";
    expect_syntax_error("(1 2", message);
    expect_syntax_error("(", message);
    expect_syntax_error("((a)", message);
    expect_syntax_error("(a ; the comment takes the )", message);
    expect_syntax_error("(a\n# )\n", message);
}

// ---- shorthands ----

TEST_F(Reader, QuoteShorthands) {
    EXPECT_EQ(read_all("'x `x ,x ,@x"),
              (Strings{"(quote x)", "(quasiquote x)", "(unquote x)", "(unquote-splicing x)"}));
    EXPECT_EQ(read_all("' x"), (Strings{"(quote x)"}));
    EXPECT_EQ(read_all("';comment\nx"), (Strings{"(quote x)"}));
    EXPECT_EQ(read_all(", @x"), (Strings{"(unquote @x)"}));
    EXPECT_EQ(read_all("''x"), (Strings{"(quote (quote x))"}));
    EXPECT_EQ(read_all("`(a ,b ,@(c d) 'e)"),
              (Strings{"(quasiquote (a (unquote b) (unquote-splicing (c d)) (quote e)))"}));
    EXPECT_EQ(read_all("'()"), (Strings{"(quote nil)"}));
    EXPECT_EQ(read_all("'\"s\" '5"), (Strings{"(quote \"s\")", "(quote 5)"}));
    EXPECT_EQ(read_all("(a'b 'c)"), (Strings{"(a'b (quote c))"}));

    // Each is a fresh proper list of two named symbols' worth.
    value* quoted = read_one("'x");
    EXPECT_TRUE(is_list(quoted));
    EXPECT_EQ(list_length(quoted), 2u);
    EXPECT_TRUE(is<named_symbol>(as<cell>(quoted)->car));
    EXPECT_TRUE(symbol_equal(as<cell>(quoted)->car, make_symbol(rt, "quote")));
    EXPECT_NE(read_one("'x"), quoted);
    EXPECT_TRUE(is_unquote(rt, read_one(",x")));
    EXPECT_TRUE(is_unquote_splicing(rt, read_one(",@x")));
}

TEST_F(Reader, ShorthandsWithNothingToQuote) {
    expect_syntax_error("`", "Quasiquote ` expecting an expression");
    expect_syntax_error("(a `)", "Quasiquote ` expecting an expression");
    expect_syntax_error(",@", "(unquote-splicing) ,@ expecting an expression");
    expect_syntax_error("(a ,@)", "(unquote-splicing) ,@ expecting an expression");
    expect_syntax_error(",@ ; nothing", "(unquote-splicing) ,@ expecting an expression");
    expect_syntax_error(",", "(unquote) , expecting an expression");
    expect_syntax_error("(a ,)", "(unquote) , expecting an expression");
    // The plain quote stops without a message.
    expect_syntax_error("'", "");
    expect_syntax_error("(a ')", "");
    expect_syntax_error("'  ; only a comment\n", "");
}

// ---- nesting ----

TEST_F(Reader, ModerateNestingReads) {
    const int depth = 1000;
    const std::string text = std::string(depth, '(') + "x" + std::string(depth, ')');
    value* v = read_one(text);
    for (int i = 0; i < depth; ++i) {
        ASSERT_TRUE(is<cell>(v));
        EXPECT_EQ(as<cell>(v)->cdr, rt.nil);
        v = as<cell>(v)->car;
    }
    EXPECT_TRUE(symbol_equal(v, make_symbol(rt, "x")));
    EXPECT_EQ(shape(read_one(std::string(depth, '\'') + "y")).substr(0, 14), "(quote (quote ");
}

TEST_F(Reader, DeepNestingIsReadOrRefusedWithoutCrashing) {
    const int depth = 1000000;
    const std::vector<std::string> texts = {
        std::string(depth, '(') + std::string(depth, ')'),
        std::string(depth, '('),
        std::string(depth, '\'') + "x",
        std::string(depth, ',') + "x",
        std::string(depth / 2, '`') + std::string(depth / 2, '(') + "x",
    };
    for (const std::string& text : texts) {
        const std::string before = printed();
        try {
            read_all(text);
        } catch (const SyntaxError&) {
            const std::string message = printed().substr(before.size());
            // Either the list ran out of text, or the reader says why it stopped.
            if (message != "list expression expecting sub expression or closing parenthesis\n") {
                EXPECT_NE(message.find("deep"), std::string::npos) << message;
            }
        }
    }
}

}  // namespace
}  // namespace velune
