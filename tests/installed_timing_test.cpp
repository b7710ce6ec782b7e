// The installed timing trainer (see install_checks.cmake): started through its link, WAV mode
// with each installed sample, and the switch to the installed choice trainer.
#include "support/installed_rig.h"
#include "support/timing_view.h"

using namespace taktovi;
using namespace taktovi::test;

namespace {
const InstalledChecks kChecks{"taktovi2demo", "taktovi1demo", "Sulje1", "NI1", "Button9", "Edit3"};
}

TEST(InstalledTimingTrainer, StartsFromItsLink) {
  expectStartsFromItsLink(kChecks);
}

TEST(InstalledTimingTrainer, EntersWavModeWithEachInstalledSample) {
  InstalledRig<TimingWindow> rig;
  TimingTestView v{*rig.form};
  expectWavModeWithEachSample(rig, kChecks, v.sound());
}

TEST(InstalledTimingTrainer, SwitchStartsTheInstalledChoiceTrainer) {
  InstalledRig<TimingWindow> rig;
  expectSwitchStartsTheInstalledSibling(rig, kChecks);
}
