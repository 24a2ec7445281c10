// Placeholder until this group of natives lands.
#include "natives/natives.h"

namespace velune {

value* get_attr(Interpreter&, environment*, value*) { throw LispError{"get_attr: not implemented yet"}; }
value* set_attr(Interpreter&, environment*, value*) { throw LispError{"set_attr: not implemented yet"}; }
value* make_instance(Interpreter&, environment*, value*) { throw LispError{"make_instance: not implemented yet"}; }
value* is_subclass(Interpreter&, environment*, value*) { throw LispError{"is_subclass: not implemented yet"}; }
value* get_owned_attributes(Interpreter&, environment*, value*) { throw LispError{"get_owned_attributes: not implemented yet"}; }
value* get_all_attributes(Interpreter&, environment*, value*) { throw LispError{"get_all_attributes: not implemented yet"}; }
value* get_class_env(Interpreter&, environment*, value*) { throw LispError{"get_class_env: not implemented yet"}; }

}  // namespace velune
