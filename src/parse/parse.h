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
// or at a `)` that no open list waits for; the latter is noted in
// rt.diagnostics.unmatched_close, the former clears it. A syntax error prints the reader's
// message on standard output (through rt.out) and throws SyntaxError with its place.
std::optional<result> next_expr(Runtime& rt, std::string_view text, std::int64_t position);

// The first position at or after `position` that is not a blank or inside a comment.
std::int64_t skip_blanks(std::string_view text, std::int64_t position);

// After the last read of a file's text: warns on standard error when the reading stopped
// at a `)` that no list waited for, since the rest of the file is silently skipped.
void warn_unmatched_close(Runtime& rt, std::string_view file);

// The line and byte column (both from 1) of a position: counted only when one is reported.
source_location locate(std::string_view text, std::int64_t position);

}  // namespace velune
