// The installed choice trainer (see install_checks.cmake): started through its link, WAV mode
// with each installed sample, and the switch to the installed timing trainer.
#include "support/choice_view.h"
#include "support/installed_rig.h"

using namespace taktovi;
using namespace taktovi::test;

namespace {
const InstalledChecks kChecks{"taktovi1demo", "taktovi2demo", "SIIRRYPELIIN21",
                              "MIDINI1",      "Button8",      "Edit3"};
}

TEST(InstalledChoiceTrainer, StartsFromItsLink) {
  expectStartsFromItsLink(kChecks);
}

TEST(InstalledChoiceTrainer, EntersWavModeWithEachInstalledSample) {
  InstalledRig<ChoiceWindow> rig;
  ChoiceTestView v{*rig.form};
  expectWavModeWithEachSample(rig, kChecks, v.sound());
}

TEST(InstalledChoiceTrainer, SwitchStartsTheInstalledTimingTrainer) {
  InstalledRig<ChoiceWindow> rig;
  expectSwitchStartsTheInstalledSibling(rig, kChecks);
}
