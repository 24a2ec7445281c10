// Establishes the global environment: values, builtins, then the prelude libraries.
#pragma once

#include "runtime/runtime.h"

namespace velune::prelude {

enum class mode { load, skip };

// Everything the user's file expects before it starts; `skip` leaves out the Velune
// libraries (unit tests of lower layers).
void establish(Runtime& rt, mode m = mode::load);

}  // namespace velune::prelude
