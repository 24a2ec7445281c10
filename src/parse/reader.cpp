// The reader: a recursive-descent scanner over a byte string held whole in memory.
#include <algorithm>
#include <string>
#include <vector>

#include "parse/parse.h"

namespace velune {

namespace {

using position_t = std::int64_t;

bool is_whitespace(char c) { return c == ' ' || c == '\t' || c == '\n'; }

position_t skip_whitespace(std::string_view text, position_t p) {
    const auto end = static_cast<position_t>(text.size());
    while (p < end && is_whitespace(text[static_cast<std::size_t>(p)])) ++p;
    return p;
}

position_t skip_comment(std::string_view text, position_t p) {
    const auto start = static_cast<std::size_t>(p);
    if (start >= text.size() || (text[start] != '#' && text[start] != ';')) return p;
    const auto newline = text.find('\n', start);
    return static_cast<position_t>(newline == std::string_view::npos ? text.size() : newline + 1);
}

position_t skip_all(std::string_view text, position_t p) {
    for (;;) {
        const position_t next = skip_comment(text, skip_whitespace(text, p));
        if (next == p) return p;
        p = next;
    }
}

class Reader {
public:
    Reader(Runtime& rt, std::string_view text) : rt(rt), text(text), end(static_cast<position_t>(text.size())) {}

    std::optional<result> next_expr(position_t p);

private:
    Runtime& rt;
    std::string_view text;
    position_t end;

    char at(position_t p) const { return text[static_cast<std::size_t>(p)]; }

    static bool ends_integer(char c) { return is_whitespace(c) || c == '(' || c == ')'; }
    static bool cannot_start_symbol(char c) {
        return is_whitespace(c) || c == '(' || c == ')' || c == ',' || c == '\'';
    }
    static bool ends_symbol(char c) { return is_whitespace(c) || c == '(' || c == ')' || c == ';' || c == '#'; }

    position_t skip_all(position_t p) const { return velune::skip_all(text, p); }

    // Prints the message on standard output, then stops the whole run. `start` is where
    // the offending expression began.
    [[noreturn]] void syntax_error(const std::string& message, position_t start) {
        rt.out.line(message);
        silent_syntax_error(message, start);
    }
    [[noreturn]] void silent_syntax_error(const std::string& message, position_t start) const {
        const source_location where = locate(text, start);
        throw SyntaxError(message, where.line, where.column);
    }

    value* two_element_list(const Name* head, value* expression) {
        return cons(rt, make_symbol(rt, head), cons(rt, expression, rt.nil));
    }

    std::optional<result> next_int(position_t p);
    std::optional<result> next_string(position_t p);
    std::optional<result> next_symbol(position_t p);
    std::optional<result> next_list(position_t p);
    // `p` is the prefix's first byte; the expression follows its `length` bytes.
    std::optional<result> next_prefixed(position_t p, std::int64_t length, const Name* head, const char* message);
};

std::optional<result> Reader::next_expr(position_t p) {
    p = skip_all(p);
    // Each nesting level costs host stack; running short is an orderly syntax error.
    if (rt.stack.exhausted()) syntax_error("Expressions nested too deeply to read", p);
    if (p >= end) return std::nullopt;
    if (auto r = next_int(p)) return r;
    const char c = at(p);
    if (c == '\'') {
        auto quoted = next_expr(p + 1);
        if (!quoted) silent_syntax_error("quote ' expecting an expression", p);
        return result{quoted->position, two_element_list(rt.known.quote, quoted->expression)};
    }
    if (c == '`') return next_prefixed(p, 1, rt.known.quasiquote, "Quasiquote ` expecting an expression");
    if (c == ',') {
        if (p + 1 < end && at(p + 1) == '@') {
            return next_prefixed(p, 2, rt.known.unquote_splicing, "(unquote-splicing) ,@ expecting an expression");
        }
        return next_prefixed(p, 1, rt.known.unquote, "(unquote) , expecting an expression");
    }
    if (c == '(') return next_list(p);
    if (c == '"') return next_string(p);
    return next_symbol(p);
}

std::optional<result> Reader::next_prefixed(position_t p, std::int64_t length, const Name* head, const char* message) {
    auto inner = next_expr(p + length);
    if (!inner) syntax_error(message, p);
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
                             ")",
                         start);
        }
    }
    if (p == start) return std::nullopt;
    return result{p, make_integer(rt, static_cast<std::int64_t>(n))};
}

std::optional<result> Reader::next_string(position_t p) {
    const position_t start = p;
    std::string bytes;
    for (++p; p < end; ++p) {
        const char c = at(p);
        if (c == '"') return result{p + 1, make_string(rt, std::move(bytes))};
        if (c != '\\') {
            bytes += c;
            continue;
        }
        if (++p >= end) syntax_error("Unterminated string at EOF: the text ends right after a backslash", start);
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
            syntax_error(std::string("Unknown special character: \\") + escaped, start);
        }
    }
    syntax_error("Unterminated string at EOF", start);
}

std::optional<result> Reader::next_symbol(position_t p) {
    if (cannot_start_symbol(at(p))) return std::nullopt;
    const position_t start = p;
    while (p < end && !ends_symbol(at(p))) ++p;
    const auto name = text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(p - start));
    return result{p, make_symbol(rt, name)};
}

std::optional<result> Reader::next_list(position_t p) {
    const position_t opened = p;
    std::vector<value*> elements;
    for (++p;;) {
        p = skip_all(p);
        if (p < end && at(p) == ')') return result{p + 1, make_list(rt, elements)};
        auto element = next_expr(p);
        if (!element) syntax_error("list expression expecting sub expression or closing parenthesis", opened);
        elements.push_back(element->expression);
        p = element->position;
    }
}

}  // namespace

std::optional<result> next_expr(Runtime& rt, std::string_view text, std::int64_t position) {
    if (position < 0 || position > static_cast<std::int64_t>(text.size())) return std::nullopt;
    auto r = Reader(rt, text).next_expr(position);
    if (!r) {
        // Once per text read to its end: the place of a stray `)` costs nothing before.
        const position_t stop = skip_all(text, position);
        const bool at_close = stop < static_cast<position_t>(text.size());
        rt.diagnostics.unmatched_close = at_close ? locate(text, stop) : source_location{};
    }
    return r;
}

std::int64_t skip_blanks(std::string_view text, std::int64_t position) {
    if (position < 0 || position > static_cast<std::int64_t>(text.size())) return position;
    return skip_all(text, position);
}

void warn_unmatched_close(Runtime& rt, std::string_view file) {
    source_location where = rt.diagnostics.unmatched_close;
    if (where.line == 0) return;
    where.file = file;
    diagnostic(format_location(where) + ": warning: unmatched ')'; the rest of the file was not run");
}

source_location locate(std::string_view text, std::int64_t position) {
    const auto size = static_cast<std::int64_t>(text.size());
    const auto before = text.substr(0, static_cast<std::size_t>(std::clamp<std::int64_t>(position, 0, size)));
    const auto line_start = before.rfind('\n') + 1;  // 0 on the first line
    source_location where;
    where.line = 1 + std::count(before.begin(), before.end(), '\n');
    where.column = static_cast<std::int64_t>(before.size() - line_start) + 1;
    return where;
}

}  // namespace velune
