// Placeholder until the printer lands.
#include "value/printer.h"

namespace velune {

std::string to_string_text(const Runtime&, value*) { return "?"; }
std::string represent_text(const Runtime&, value*) { return "?"; }
value* to_string(Runtime& rt, value* v) { return make_string(rt, to_string_text(rt, v)); }
value* represent(Runtime& rt, value* v) { return make_string(rt, represent_text(rt, v)); }
std::string describe(const Runtime&, value*) { return "?"; }

}  // namespace velune
