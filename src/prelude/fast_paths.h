// Native routines attached to the standard library's leaf generics (their lispfunc's `fast`):
// each gives the exact result of the Velune definition or declines, so that no program can
// tell whether it ran. Installed once the library is in place, only while fast paths are on.
#pragma once

#include "runtime/runtime.h"

namespace velune::prelude {

// `restored`: the library came from the start-up image, which records what is classified.
void install_fast_paths(Runtime& rt, bool restored);

}  // namespace velune::prelude
