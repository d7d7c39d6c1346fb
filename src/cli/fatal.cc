#include "cli/fatal.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

void fatal(const char* format, ...) {
  // A message that can't be printed can't be reported either; the status still is.
  (void)std::fputs("fatal: ", stdout);
  va_list args;
  va_start(args, format);
  (void)std::vprintf(format, args);
  va_end(args);
  std::exit(1);
}
