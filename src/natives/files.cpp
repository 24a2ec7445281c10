// Placeholder until this group of natives lands.
#include "natives/natives.h"

namespace velune {

value* write_file(Interpreter&, environment*, value*) { throw LispError{"write_file: not implemented yet"}; }
value* read_file(Interpreter&, environment*, value*) { throw LispError{"read_file: not implemented yet"}; }
value* append_file(Interpreter&, environment*, value*) { throw LispError{"append_file: not implemented yet"}; }
std::string my_basename(std::string_view path) { return std::string(path); }
std::string my_dirname(std::string_view) { return ""; }

}  // namespace velune
