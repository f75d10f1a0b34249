// Worker priorities on this platform: the idle scheduling class and nice values of the
// calling thread (on this system nice is a property of each thread).
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "QueueEvents.h"

bool SetCurrentThreadPriority(TThreadPriority APriority) {
  const auto tid = static_cast<id_t>(syscall(SYS_gettid));
  if (APriority == tpIdle) {
    sched_param param{};
    param.sched_priority = 0;
    const bool idle = pthread_setschedparam(pthread_self(), SCHED_IDLE, &param) == 0;
    // Also the weakest nice value, for schedulers that ignore the idle class.
    return setpriority(PRIO_PROCESS, tid, 19) == 0 && idle;
  }
  int nice = 0;
  switch (APriority) {
    case tpLowest:
      nice = 10;
      break;
    case tpLower:
      nice = 5;
      break;
    case tpHigher:
      nice = -5;
      break;
    case tpHighest:
      nice = -10;
      break;
    case tpTimeCritical:
      nice = -15;
      break;
    default:
      nice = 0;
      break;
  }
  return setpriority(PRIO_PROCESS, tid, nice) == 0;
}
