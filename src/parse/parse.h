// The reader: source text to values, one top-level expression at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "value/value.h"

namespace velune {

struct result {
    std::int64_t position;  // first byte after the expression read
    value* expression;
};

// Skips blanks and comments, then reads one expression. No result at the end of the text
// or at a `)` that no open list waits for. A syntax error prints the reader's message on
// standard output (through rt.out) and throws SyntaxError.
std::optional<result> next_expr(Runtime& rt, std::string_view text, std::int64_t position);

}  // namespace velune
