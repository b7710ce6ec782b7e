// The choice trainer's round: start, pair draw, answers, feedback, the blink and the replay.
#include <QPushButton>

#include "choice/choice_window.h"
#include "trainer/display.h"

namespace taktovi {

void ChoiceWindow::BitBtn1Click() {
  if (player_.soi() || !h_.vastattu) return;
  h_.odottaa_oikeaa = false;
  BitBtn1_->setEnabled(false);
  palauta_ruutu();
  deps_.pump.processPending();
  arvo_tehtavapari();
  player_.hold();
  h_.korostus = false;
  h_.tehtava = h_.tehtava_yla;
  rakenna_tehtava();
  piirra_tehtava(true);
  h_.tehtava = h_.tehtava_ala;
  rakenna_tehtava();
  piirra_tehtava(false);
  h_.oikea_puoli = deps_.draws.draw(2);
  player_.cue(firstSlotOf(h_.oikea_puoli));
  if (!blockFor(kWaitBeforeMelodyMs)) return;  // the window closed meanwhile
  player_.mskello(deps_.clock.timeGetTime());
}

void ChoiceWindow::arvo_tehtavapari() {
  h_.pari = deps_.draws.draw(kChoiceTasks / 2);
  h_.tehtava_yla = 2 * h_.pari;
  h_.tehtava_ala = 2 * h_.pari + 1;
}

void ChoiceWindow::rakenna_tehtava() {
  taktovi::rakenna_tehtava(h_.tehtava, ladder_, {asetukset_.isku, asetukset_.puoli_isku, sound_.korkeudet()},
                           paneelit_);
}

void ChoiceWindow::piirra_tehtava(bool ylempi) {
  taktovi::piirra_tehtava(paneelit_, firstSlotOf(ylempi ? 0 : 1), lastSlotOf(ylempi ? 0 : 1),
                          template_->size(), asetukset_.aanisuhde);
}

void ChoiceWindow::answer(int side) {
  if (!h_.vastattu && !player_.soi()) {
    if (h_.oikea_puoli == side) {
      reagoi_oikeaan();
    } else {
      reagoi_vaaraan();
    }
  }
  if (h_.odottaa_oikeaa && h_.oikea_puoli == side) {
    setBackground(colours_.kirkas_vari);
    h_.odottaa_oikeaa = false;
  }
}

void ChoiceWindow::reagoi_oikeaan() {
  setBackground(colours_.kirkas_vari);
  piirranaama();
  ++score_.yritykset;
  ++score_.oikeat;
  showScore();
  h_.vastattu = true;
  BitBtn1_->setEnabled(true);
}

void ChoiceWindow::reagoi_vaaraan() {
  h_.korostus = true;
  ++score_.yritykset;
  showScore();
  player_.cue(firstSlotOf(h_.oikea_puoli));
  player_.hold();
  vilkuta();
  if (player_.soi()) player_.mskello(deps_.clock.timeGetTime());
  h_.korostus = false;
  h_.vastattu = true;
  h_.odottaa_oikeaa = true;
  BitBtn1_->setEnabled(true);
}

// The played pattern blinks: 500 ms, hidden, 500 ms, shown, 1000 ms; input waits meanwhile.
void ChoiceWindow::vilkuta() {
  const int first = firstSlotOf(h_.oikea_puoli);
  const int last = lastSlotOf(h_.oikea_puoli);
  auto tones = [&](bool visible) {
    walkPattern(paneelit_, first, last, [visible](Tomapaneli* r) {
      if (r->savel != 0) r->setVisible(visible);
    });
  };
  if (!blockFor(500)) return;
  tones(false);
  if (!blockFor(500)) return;
  tones(true);
  blockFor(1000);
}

}  // namespace taktovi
