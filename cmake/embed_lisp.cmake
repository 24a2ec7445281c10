# Turns one Velune library (or the start-up image) into a C++ header holding its bytes, so
# the binary carries them without reading files at start-up. Inputs: IN (the file), OUT (the
# header), NAME (an identifier: the array is NAME_lisp, or SYMBOL when given).
if(NOT SYMBOL)
  set(SYMBOL "${NAME}_lisp")
endif()
file(READ "${IN}" bytes HEX)
string(LENGTH "${bytes}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," body "${bytes}")
get_filename_component(file_name "${IN}" NAME)
file(WRITE "${OUT}.tmp"
"// Generated from ${file_name} at build time; do not edit.
#pragma once
#include <string_view>
namespace velune::prelude::embedded {
inline constexpr char ${SYMBOL}_bytes[] = {
    ${body}'\\0'};
inline constexpr std::string_view ${SYMBOL}{${SYMBOL}_bytes, ${size}};
inline constexpr std::string_view ${SYMBOL}_name{\"${file_name}\"};
}  // namespace velune::prelude::embedded
")
# Rewrite only on change, so an unchanged library does not rebuild the prelude.
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
