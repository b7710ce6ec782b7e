#pragma once
// The timing trainer's window: one row of rectangles above the control strip, the menus and
// the three panels (its form is timing/form2.txt). Handlers are named after their control and
// event; each calls the round's named procedures. The round's state is one struct owned here.

#include <cstdint>

#include "timing/timing_catalogue.h"
#include "trainer/trainer_window.h"

class QPushButton;

namespace taktovi {

inline constexpr const char* kTimingApplicationTitle = "Taktovi 2, Demo";
inline constexpr uint32_t kWaitBeforeRoundMs = 3000;
inline constexpr double kHoldLastSlotMs = 2000;

// The round's state besides the playback's (soi, kohta and the tone's are the player's). The
// answer window is kept as the clock times at which it opens and closes, so that a press can be
// judged against the tones as they are heard, a constant latency after they were started.
struct TimingRound {
  int32_t tehtava = 0;
  bool uusinta = false;   // the last first presentation was wrong: this round repeats it
  bool vastattu = false;  // the space bar has been counted in this round
  bool oikein = false;    // this round's answer is right
  // Clock milliseconds of the current melody; -1 until known.
  int64_t laskee = -1;     // presses count from here on: the second slot's start
  int64_t aukeaa = -1;     // the window is open from here: 70 % of the second-to-last slot
  int64_t sulkeutuu = -1;  // and up to here: the last tone's end
  // Whether a press heard at `t` (clock ms) counts, and whether it is inside the window.
  bool counts(double t) const { return laskee >= 0 && t >= static_cast<double>(laskee); }
  bool ikkuna_auki(double t) const {
    return aukeaa >= 0 && t >= static_cast<double>(aukeaa) &&
           (sulkeutuu < 0 || t < static_cast<double>(sulkeutuu));
  }
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
  void Button3KeyDown(int key);
  void preview() override;  // the tone/pause bar's example, task 0
  bool keyPressed(QWidget* holder, int key, bool autoRepeat) override;

  // --- the round ---
  void arvo_tehtava();
  void rakenna_tehtava();
  void piirra_tehtava();
  void judge();
  static PlaybackHooks hooks(TimingWindow* self);
  void toneStarted(int slot, Tomapaneli& r, uint32_t now);
  void playbackEnded();

  TimingRound h_;
  TimingLadder ladder_;
  QPushButton* BitBtn1_;
  QPushButton* BitBtn2_;
  QPushButton* Button3_;
  QWidget* Panel8_;
};

}  // namespace taktovi
