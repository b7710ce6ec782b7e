// taktovi1demo: the choice trainer.
#include "choice/choice_window.h"
#include "trainer/app.h"

int main(int argc, char** argv) {
  return taktovi::runTrainer<taktovi::ChoiceWindow>(argc, argv, taktovi::kChoiceApplicationTitle);
}
