// The state after the standard library as bytes: written once at build time, restored at
// every start instead of evaluating the library again.
#pragma once

#include <string>
#include <string_view>

#include "runtime/runtime.h"

namespace velune::prelude {

// Everything reachable from the global environment, and the generated-symbol counter.
std::string write_image(Runtime& rt);
// Over a runtime that holds only the values and built-ins (establish with mode::skip);
// a malformed image is a std::runtime_error.
void restore_image(Runtime& rt, std::string_view bytes);

}  // namespace velune::prelude
