// Establishes the global environment: values, builtins, then the prelude libraries.
#pragma once

#include <string_view>

#include "runtime/runtime.h"

namespace velune::prelude {

enum class mode { load, evaluate, skip };

// Everything the user's file expects before it starts. `load` restores the state from
// `image` when one is given and fast paths are on, and otherwise evaluates the libraries as
// `evaluate` always does; `skip` leaves out the Velune libraries (unit tests of lower layers).
void establish(Runtime& rt, mode m = mode::load, std::string_view image = {});

}  // namespace velune::prelude
