# Turns one Velune library into a C++ header holding its bytes, so the binary carries the
# prelude without reading files at start-up. Inputs: IN (the .lisp file), OUT (the header),
# NAME (an identifier: the array is NAME_lisp).
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
inline constexpr char ${NAME}_lisp_bytes[] = {
    ${body}'\\0'};
inline constexpr std::string_view ${NAME}_lisp{${NAME}_lisp_bytes, ${size}};
inline constexpr std::string_view ${NAME}_lisp_name{\"${file_name}\"};
}  // namespace velune::prelude::embedded
")
# Rewrite only on change, so an unchanged library does not rebuild the prelude.
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
