#include "Platform.h"

#include <cstdlib>
#include <cstring>

bool RunningUnderTest() {
  const char *v = std::getenv("QUORVEL_TEST");
  return v && *v && std::strcmp(v, "0") != 0;
}
