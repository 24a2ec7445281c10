// The reader: a recursive-descent scanner over a byte string held whole in memory.
#include <string>
#include <vector>

#include "parse/parse.h"

namespace velune {

namespace {

using position_t = std::int64_t;

class Reader {
public:
    Reader(Runtime& rt, std::string_view text) : rt(rt), text(text), end(static_cast<position_t>(text.size())) {}

    std::optional<result> next_expr(position_t p);

private:
    Runtime& rt;
    std::string_view text;
    position_t end;

    char at(position_t p) const { return text[static_cast<std::size_t>(p)]; }

    static bool is_whitespace(char c) { return c == ' ' || c == '\t' || c == '\n'; }
    static bool ends_integer(char c) { return is_whitespace(c) || c == '(' || c == ')'; }
    static bool cannot_start_symbol(char c) {
        return is_whitespace(c) || c == '(' || c == ')' || c == ',' || c == '\'';
    }
    static bool ends_symbol(char c) { return is_whitespace(c) || c == '(' || c == ')' || c == ';' || c == '#'; }

    position_t skip_whitespace(position_t p) const {
        while (p < end && is_whitespace(at(p))) ++p;
        return p;
    }
    position_t skip_comment(position_t p) const {
        if (p >= end || (at(p) != '#' && at(p) != ';')) return p;
        while (p < end && at(p) != '\n') ++p;
        return p < end ? p + 1 : p;
    }
    position_t skip_all(position_t p) const {
        for (;;) {
            const position_t next = skip_comment(skip_whitespace(p));
            if (next == p) return p;
            p = next;
        }
    }

    // Prints the message on standard output, then stops the whole run.
    [[noreturn]] void syntax_error(const std::string& message) {
        rt.out.line(message);
        throw SyntaxError(message);
    }

    value* two_element_list(const Name* head, value* expression) {
        return cons(rt, make_symbol(rt, head), cons(rt, expression, rt.nil));
    }

    std::optional<result> next_int(position_t p);
    std::optional<result> next_string(position_t p);
    std::optional<result> next_symbol(position_t p);
    std::optional<result> next_list(position_t p);
    std::optional<result> next_prefixed(position_t p, const Name* head, const char* message);
};

std::optional<result> Reader::next_expr(position_t p) {
    // Each nesting level costs host stack; running short is an orderly syntax error.
    if (rt.stack.exhausted()) syntax_error("Expressions nested too deeply to read");
    p = skip_all(p);
    if (p >= end) return std::nullopt;
    if (auto r = next_int(p)) return r;
    const char c = at(p);
    if (c == '\'') {
        auto quoted = next_expr(p + 1);
        if (!quoted) throw SyntaxError("quote ' expecting an expression");
        return result{quoted->position, two_element_list(rt.known.quote, quoted->expression)};
    }
    if (c == '`') return next_prefixed(p + 1, rt.known.quasiquote, "Quasiquote ` expecting an expression");
    if (c == ',') {
        if (p + 1 < end && at(p + 1) == '@') {
            return next_prefixed(p + 2, rt.known.unquote_splicing, "(unquote-splicing) ,@ expecting an expression");
        }
        return next_prefixed(p + 1, rt.known.unquote, "(unquote) , expecting an expression");
    }
    if (c == '(') return next_list(p);
    if (c == '"') return next_string(p);
    return next_symbol(p);
}

std::optional<result> Reader::next_prefixed(position_t p, const Name* head, const char* message) {
    auto inner = next_expr(p);
    if (!inner) syntax_error(message);
    return result{inner->position, two_element_list(head, inner->expression)};
}

std::optional<result> Reader::next_int(position_t p) {
    const position_t start = p;
    std::uint64_t n = 0;  // wraps modulo 2^64, as the language's integers do
    for (; p < end; ++p) {
        const char c = at(p);
        if (c >= '0' && c <= '9') {
            n = n * 10 + static_cast<std::uint64_t>(c - '0');
        } else if (ends_integer(c)) {
            break;
        } else if (p == start) {
            return std::nullopt;
        } else {
            // The word runs to the next blank; parentheses do not end it.
            position_t word_end = p;
            while (word_end < end && !is_whitespace(at(word_end))) ++word_end;
            const auto word = text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(word_end - start));
            syntax_error(std::string("Invalid character while reading int literal: ") + c + " (in " + std::string(word) +
                         ")");
        }
    }
    if (p == start) return std::nullopt;
    return result{p, make_integer(rt, static_cast<std::int64_t>(n))};
}

std::optional<result> Reader::next_string(position_t p) {
    std::string bytes;
    for (++p; p < end; ++p) {
        const char c = at(p);
        if (c == '"') return result{p + 1, make_string(rt, std::move(bytes))};
        if (c != '\\') {
            bytes += c;
            continue;
        }
        if (++p >= end) syntax_error("Unterminated string at EOF: the text ends right after a backslash");
        switch (const char escaped = at(p)) {
        case '\\':
            bytes += '\\';
            break;
        case 'n':
            bytes += '\n';
            break;
        case '"':
            bytes += '"';
            break;
        default:
            syntax_error(std::string("Unknown special character: \\") + escaped);
        }
    }
    syntax_error("Unterminated string at EOF");
}

std::optional<result> Reader::next_symbol(position_t p) {
    if (cannot_start_symbol(at(p))) return std::nullopt;
    const position_t start = p;
    while (p < end && !ends_symbol(at(p))) ++p;
    const auto name = text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(p - start));
    return result{p, make_symbol(rt, name)};
}

std::optional<result> Reader::next_list(position_t p) {
    std::vector<value*> elements;
    for (++p;;) {
        p = skip_all(p);
        if (p < end && at(p) == ')') return result{p + 1, make_list(rt, elements)};
        auto element = next_expr(p);
        if (!element) syntax_error("list expression expecting sub expression or closing parenthesis");
        elements.push_back(element->expression);
        p = element->position;
    }
}

}  // namespace

std::optional<result> next_expr(Runtime& rt, std::string_view text, std::int64_t position) {
    if (position < 0 || position > static_cast<std::int64_t>(text.size())) return std::nullopt;
    return Reader(rt, text).next_expr(position);
}

}  // namespace velune
