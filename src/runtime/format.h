// Number-to-text conversion shared by the printer and the natives.
#pragma once

#include <cstdint>
#include <string>

namespace velune {

std::string format_integer(std::int64_t n);
// Fixed point with six decimals, correctly rounded; "inf", "-inf" and "nan" otherwise.
std::string format_float(double d);

}  // namespace velune
