// The two text forms of every value: to_string (for people and files) and represent
// (literal-looking, for messages, docs and nested values).
#pragma once

#include <string>

#include "value/value.h"

namespace velune {

// Texts; a value without such a form raises HostFailure with the system's message
// ("to-string not implemented for type ...", "repr not implemented for type ...").
// Structures that contain themselves and dotted lists fail the same orderly way.
std::string to_string_text(const Runtime& rt, value* v);
std::string represent_text(const Runtime& rt, value* v);

// The same as new string values; to_string of a string is the very same object.
value* to_string(Runtime& rt, value* v);
value* represent(Runtime& rt, value* v);

// represent_text for error messages and traces: never fails, describes what it cannot print.
std::string describe(const Runtime& rt, value* v);

}  // namespace velune
