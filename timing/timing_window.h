#pragma once
// The timing trainer's window: one row of rectangles above the control strip, the menus and
// the three panels (its form is timing/form2.txt). Handlers are named after their control and
// event; each calls the round's named procedures. The round's state is one struct owned here.

#include <cstdint>
#include <optional>

#include "timing/timing_catalogue.h"
#include "trainer/trainer_window.h"

class QPushButton;

namespace taktovi {

inline constexpr const char* kTimingApplicationTitle = "Taktovi 2, Demo";
inline constexpr uint32_t kWaitBeforeRoundMs = 3000;
inline constexpr double kHoldLastSlotMs = 2000;

// The round's state besides the playback's (soi, kohta and the tone's are the player's). The
// answer window is kept as the steady-clock times at which it opens and closes, planned with
// the melody, so that a press can be judged against the tones as they are heard, the sound's
// latency after those times.
struct TimingRound {
  int32_t tehtava = 0;
  bool uusinta = false;   // the last first presentation was wrong: this round repeats it
  bool vastattu = false;  // the space bar has been counted in this round
  bool oikein = false;    // this round's answer is right
  // Steady-clock times (ns) of the current melody, once known.
  std::optional<int64_t> laskee;     // presses count from here on: the second slot's start
  std::optional<int64_t> aukeaa;     // the window is open from here: 70 % of the second-to-last slot
  std::optional<int64_t> sulkeutuu;  // and up to here: the last tone's end
  std::optional<int64_t> painallus;  // when the press counted in this round went down
  // Whether a press heard at `t` counts, and whether it is inside the window.
  bool counts(int64_t t) const { return laskee && t >= *laskee; }
  bool ikkuna_auki(int64_t t) const { return aukeaa && t >= *aukeaa && (!sulkeutuu || t < *sulkeutuu); }
};

class TimingWindow final : public TrainerWindow {
 public:
  explicit TimingWindow(TrainerDeps deps);

 private:
  friend struct TimingTestView;

  // --- handlers ---
  void FormKeyDown(int key);
  void BitBtn1Click();
  void BitBtn2Click();
  void Button3KeyDown(int key, int64_t pressNs);
  void preview() override;  // the tone/pause bar's example, task 0
  bool keyPressed(QWidget* holder, const KeyPress& press) override;

  // --- the round ---
  void arvo_tehtava();
  void rakenna_tehtava();
  void piirra_tehtava();
  void judge();
  static PlaybackHooks hooks(TimingWindow* self);
  void toneStarted(const PlayedSlot& slot, const Tomapaneli& r, uint32_t at);
  void playbackEnded();

  TimingRound h_;
  TimingLadder ladder_;
  QPushButton* BitBtn1_;
  QPushButton* BitBtn2_;
  QPushButton* Button3_;
  QWidget* Panel8_;
};

}  // namespace taktovi
