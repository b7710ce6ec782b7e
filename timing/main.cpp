// taktovi2demo: the timing trainer.
#include "timing/tform1.h"
#include "trainer/app.h"

int main(int argc, char** argv) {
  return taktovi::runTrainer<taktovi::TForm1>(argc, argv, taktovi::kTimingApplicationTitle);
}
