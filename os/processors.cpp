#include "os/processors.h"

#include <sched.h>

#include <algorithm>
#include <thread>

namespace quorvex {

size_t Processors() {
  cpu_set_t set;
  if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
  return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace quorvex
