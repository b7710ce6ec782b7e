// taktovi2demo: the timing trainer.
#include "timing/timing_window.h"
#include "trainer/app.h"

int main(int argc, char** argv) {
  return taktovi::runTrainer<taktovi::TimingWindow>(argc, argv, taktovi::kTimingApplicationTitle);
}
