// The bytes the program holds from operator new right now. The benchmark binary replaces the global
// operator new and delete to keep this count, so a benchmark can weigh what a data structure costs.
#pragma once

#include <cstddef>

namespace bench {

std::size_t LiveHeapBytes();

}  // namespace bench
