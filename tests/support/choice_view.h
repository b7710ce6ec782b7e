#pragma once
// The choice trainer on the test bench, and the small view tests use to set up a state (a
// score, a chosen task) or to read the round's flags, which no control shows.

#include "choice/choice_window.h"
#include "support/trainer_rig.h"

namespace taktovi {

struct ChoiceTestView {
  ChoiceWindow& f;
  const ChoiceRound& round() const { return f.h_; }
  const PlaybackState& playback() const { return f.player_.state(); }
  Score& score() { return f.score_; }
  TempoSettings& settings() { return f.asetukset_; }
  const ChoiceLadder& ladder() const { return f.ladder_; }
  SoundOutput& sound() { return f.sound_; }
  // rakenna_tehtava and piirra_tehtava of a chosen task.
  void build(int task) {
    f.h_.tehtava = task;
    f.rakenna_tehtava();
  }
  void draw(bool upper) { f.piirra_tehtava(upper); }
  void palauta_ruutu() { f.palauta_ruutu(); }
  void start() { f.BitBtn1Click(); }
  void answer(int side) { f.answer(side); }
  void reagoi_oikeaan() {
    f.h_.vastattu = false;
    f.reagoi_oikeaan();
  }
};

namespace test {
using ChoiceRig = TrainerRig<ChoiceWindow>;
inline ChoiceTestView view(ChoiceRig& rig) {
  return {*rig.form};
}
}  // namespace test

}  // namespace taktovi
