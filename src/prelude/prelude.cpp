// The start-up sequence: types and unique values, natives and special forms, prelude.
#include "prelude/prelude.h"

#include "interpreter/interpreter.h"
#include "natives/natives.h"

namespace velune::prelude {

void establish(Runtime& rt, mode m) {
    install_values(rt);
    install_builtins(rt);
    if (m == mode::skip) return;
    // The Velune libraries are added here as they land, run in order by do_string.
}

}  // namespace velune::prelude
