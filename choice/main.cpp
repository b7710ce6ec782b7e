// taktovi1demo: the choice trainer.
#include "choice/tform1.h"
#include "trainer/app.h"

int main(int argc, char** argv) {
  return taktovi::runTrainer<taktovi::TForm1>(argc, argv, taktovi::kChoiceApplicationTitle);
}
