#include "platform/process_limits.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace ostrel::platform {

void raise_open_file_limit() {
#ifndef _WIN32
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
#endif
}

}  // namespace ostrel::platform
