#pragma once
// The timing trainer on the test bench, and the small view tests use to set up a state (a
// score, a pending repeat, a tempo no bar reaches) or to read the round's flags.

#include <QApplication>

#include "support/trainer_rig.h"
#include "timing/timing_window.h"

namespace taktovi {

struct TimingTestView {
  TimingWindow& f;
  const TimingRound& round() const { return f.h_; }
  const PlaybackState& playback() const { return f.player_.state(); }
  Score& score() { return f.score_; }
  TempoSettings& settings() { return f.asetukset_; }
  const TimingLadder& ladder() const { return f.ladder_; }
  SoundOutput& sound() { return f.sound_; }
  void build(int task) {
    f.h_.tehtava = task;
    f.rakenna_tehtava();
  }
  void draw() { f.piirra_tehtava(); }
  void start() { f.BitBtn1Click(); }
};

namespace test {
using TimingRig = TrainerRig<TimingWindow>;
inline TimingTestView view(TimingRig& rig) {
  return {*rig.form};
}

// The key goes where the keyboard focus is, as a real key would.
inline void typeAt(TimingRig& rig, double ms, int key) {
  rig.pump.input(ms, [&rig, key] {
    QWidget* to = QApplication::focusWidget();
    QTest::keyClick(to != nullptr ? to : rig.form.get(), static_cast<Qt::Key>(key));
  });
}
}  // namespace test

}  // namespace taktovi
