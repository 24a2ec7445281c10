// The allocation limit of the fuzz targets (memory_limit.cpp replaces operator new).
#pragma once

#include <cstddef>

namespace velune::fuzz {

extern std::size_t memory_limit;  // 0: no limit
extern std::size_t memory_live;   // bytes held through operator new now

}  // namespace velune::fuzz
