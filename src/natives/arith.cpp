// Placeholder until this group of natives lands.
#include "natives/natives.h"

namespace velune {

value* lesser_than(Interpreter&, environment*, value*) { throw LispError{"lesser_than: not implemented yet"}; }
value* greater_than(Interpreter&, environment*, value*) { throw LispError{"greater_than: not implemented yet"}; }
value* lesser_or_equal(Interpreter&, environment*, value*) { throw LispError{"lesser_or_equal: not implemented yet"}; }
value* greater_or_equal(Interpreter&, environment*, value*) { throw LispError{"greater_or_equal: not implemented yet"}; }
value* equal(Interpreter&, environment*, value*) { throw LispError{"equal: not implemented yet"}; }
value* add(Interpreter&, environment*, value*) { throw LispError{"add: not implemented yet"}; }
value* substract(Interpreter&, environment*, value*) { throw LispError{"substract: not implemented yet"}; }
value* multiply(Interpreter&, environment*, value*) { throw LispError{"multiply: not implemented yet"}; }
bool values_equal(const Runtime&, value* a, value* b) { return a == b; }

}  // namespace velune
