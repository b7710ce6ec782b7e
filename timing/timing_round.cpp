// The timing trainer's round: start, the wait, playback with the answer window, the answer
// key, judging and the score.
#include <QPushButton>
#include <cmath>

#include "timing/timing_window.h"
#include "trainer/display.h"

namespace taktovi {

void TimingWindow::BitBtn1Click() {
  if (player_.soi()) return;
  // A round is in progress from here on, so that a second start handled in the next step
  // cannot begin another round inside this one.
  player_.hold();
  h_.oikein = false;
  taktovi::setBackground(Panel8_, palette().color(QPalette::Button));
  setBackground(colours_.taustavari);
  deps_.pump.processPending();
  if (!player_.soi()) return;  // the window closed meanwhile
  if (!h_.uusinta) {
    palauta_ruutu();
    arvo_tehtava();
    piirra_tehtava();
  }
  player_.cue(1);
  deps_.pump.processPending();
  h_.vastattu = false;
  h_.laskee = h_.aukeaa = h_.sulkeutuu = h_.painallus = std::nullopt;
  if (!blockFor(kWaitBeforeRoundMs)) return;
  Button3_->setEnabled(true);
  Button3_->setFocus();
  player_.mskello(deps_.clock.timeGetTime());
  judge();
}

void TimingWindow::arvo_tehtava() {
  if (h_.uusinta) return;
  h_.tehtava = deps_.draws.draw(kTimingTasks);
  rakenna_tehtava();
}

void TimingWindow::rakenna_tehtava() {
  taktovi::rakenna_tehtava(h_.tehtava, ladder_, {asetukset_.isku, asetukset_.puoli_isku, sound_.korkeudet()},
                           paneelit_);
}

void TimingWindow::piirra_tehtava() {
  taktovi::piirra_tehtava(paneelit_, 1, kTimingPool, template_->size(), asetukset_.aanisuhde);
}

// The times the answer window follows, as planned: presses count from the second slot on; the
// window opens at 70 % of the second-to-last slot and closes when the last tone ends.
void TimingWindow::toneStarted(const PlayedSlot& slot, const Tomapaneli& r, uint32_t at) {
  if (slot.index == 2) h_.laskee = deps_.clock.nsOfMs(at);
  if (slot.secondToLast)  // the first ms past 70 %
    h_.aukeaa = deps_.clock.nsOfMs(at + static_cast<uint32_t>(std::floor(0.7 * r.kesto)) + 1);
}

void TimingWindow::playbackEnded() {
  taktovi::setBackground(Panel8_, colours::lime);
  Button3_->setEnabled(false);
  setFocus();
  BitBtn2_->setEnabled(true);
}

// The space bar during playback, pressed at `pressNs`. The melody is first brought up to now
// (a key may be handled before a decision due at the same moment); then the press is judged
// against the tones as heard: its moment made the sound's heard latency earlier.
void TimingWindow::Button3KeyDown(int key, int64_t pressNs) {
  if (key != Qt::Key_Space) return;
  player_.catchUp();
  if (!player_.soi() || h_.vastattu) return;
  const int64_t heard = pressNs - sound_.heardLatencyNs();
  if (!h_.counts(heard)) return;  // during the first slot: no answer yet
  h_.vastattu = true;
  h_.painallus = pressNs;
  const bool inside = h_.ikkuna_auki(heard);
  if (inside) setBackground(colours_.kirkas_vari);
  if (inside && !h_.uusinta) piirranaama();
  h_.oikein = inside && !h_.uusinta;
}

void TimingWindow::judge() {
  if (h_.uusinta) {
    h_.uusinta = false;  // a repeat changes no count
  } else if (h_.oikein) {
    ++score_.oikeat;
    ++score_.yritykset;
  } else {
    h_.uusinta = true;
    ++score_.yritykset;
  }
  showScore();
}

}  // namespace taktovi
