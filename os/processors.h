// How many processors this process may run on.
#pragma once

#include <cstddef>

namespace quorvex {

// The processors the process may run on (its affinity), at least 1.
size_t Processors();

}  // namespace quorvex
