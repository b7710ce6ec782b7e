// Says it is up to the program that started it, as a trainer does once its window shows, and
// then waits to be ended (at most five minutes, should a test fail to end it).
#include <unistd.h>

#include "kit/program_start.h"

int main() {
  taktovi::reportStarted();
  alarm(300);
  for (;;) pause();
}
