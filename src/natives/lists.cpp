// Placeholder until this group of natives lands.
#include "natives/natives.h"

namespace velune {

value* car(Interpreter&, environment*, value*) { throw LispError{"car: not implemented yet"}; }
value* cdr(Interpreter&, environment*, value*) { throw LispError{"cdr: not implemented yet"}; }
value* cons(Interpreter&, environment*, value*) { throw LispError{"cons: not implemented yet"}; }
value* get_key(Interpreter&, environment*, value*) { throw LispError{"get_key: not implemented yet"}; }
value* set_key(Interpreter&, environment*, value*) { throw LispError{"set_key: not implemented yet"}; }
value* has_key(Interpreter&, environment*, value*) { throw LispError{"has_key: not implemented yet"}; }
value* hashtable_constructor(Interpreter&, environment*, value*) { throw LispError{"hashtable_constructor: not implemented yet"}; }
value* list_keys(Interpreter&, environment*, value*) { throw LispError{"list_keys: not implemented yet"}; }
value* string_split(Interpreter&, environment*, value*) { throw LispError{"string_split: not implemented yet"}; }
value* string_join(Interpreter&, environment*, value*) { throw LispError{"string_join: not implemented yet"}; }
value* substring(Interpreter&, environment*, value*) { throw LispError{"substring: not implemented yet"}; }
value* string_split_1(Interpreter&, environment*, value*) { throw LispError{"string_split_1: not implemented yet"}; }
value* string_contains(Interpreter&, environment*, value*) { throw LispError{"string_contains: not implemented yet"}; }
value* string_length(Interpreter&, environment*, value*) { throw LispError{"string_length: not implemented yet"}; }
value* string_to_symbol(Interpreter&, environment*, value*) { throw LispError{"string_to_symbol: not implemented yet"}; }
value* string_at(Interpreter&, environment*, value*) { throw LispError{"string_at: not implemented yet"}; }
value* string_concat(Interpreter&, environment*, value*) { throw LispError{"string_concat: not implemented yet"}; }

}  // namespace velune
