// The choice trainer's exercise round: start, pair draw, playback, answers, score.
#include <QLineEdit>
#include <QPushButton>
#include <cmath>

#include "choice/tform1.h"
#include "platform/rounding.h"

namespace taktovi {

void TForm1::BitBtn1Click() {
  if (h.soi || !h.vastattu) return;
  h.odottaa_oikeaa = false;
  BitBtn1->setEnabled(false);
  palauta_ruutu();
  deps_.pump.processPending();
  arvo_tehtavapari();
  h.savel_alkanut = false;
  h.soi = true;
  h.korostus = false;
  h.tehtava = h.tehtava_yla;
  rakenna();
  piirra_tehtava(true);
  h.tehtava = h.tehtava_ala;
  rakenna();
  piirra_tehtava(false);
  h.oikea_puoli = deps_.chooser.draw(2);
  h.kohta = h.oikea_puoli == 0 ? 1 : 21;
  deps_.pump.blockUntil(deps_.clock.GetTickCount() + kWaitBeforeMelodyMs);
  if (!h.soi) return;  // the window closed meanwhile
  mskello(deps_.clock.timeGetTime());
}

void TForm1::arvo_tehtavapari() {
  h.pari = deps_.chooser.draw(kChoiceTasks / 2);
  h.tehtava_yla = 2 * h.pari;
  h.tehtava_ala = 2 * h.pari + 1;
}

uint32_t TForm1::nextDecision(uint32_t alku) const {
  const uint32_t now = deps_.clock.timeGetTime();
  const uint32_t limit = alku + kMelodyLimitMs + 1;
  if (!h.soi || !h.savel_alkanut) return now;
  const Tomapaneli* r = paneelit[h.kohta];
  // Each test is "strictly later than": the first whole millisecond past the limit.
  const double span = h.savel_soi ? r->kesto * asetukset.aanisuhde : r->kesto;
  const uint32_t due = h.savelen_alku + static_cast<uint32_t>(std::max(0.0, std::floor(span))) + 1;
  return static_cast<int32_t>(due - limit) < 0 ? due : limit;
}

void TForm1::mskello(uint32_t alku) {
  do {
    h.kulunut = static_cast<int32_t>(deps_.clock.timeGetTime() - alku);
    soita_tehtava();
    // Between decisions the window handles its messages; a turn waits for the next one.
    deps_.pump.waitUntil(nextDecision(alku));
  } while (h.soi && h.kulunut <= static_cast<int32_t>(kMelodyLimitMs));
  // The time limit ends the melody as its end marker would.
  if (h.soi) {
    endMelody();
    h.vastattu = false;
  }
}

void TForm1::soita_tehtava() {
  Tomapaneli* r = paneelit[h.kohta];
  const auto since = [this] { return static_cast<double>(deps_.clock.timeGetTime() - h.savelen_alku); };
  if (!h.savel_alkanut) {
    sound.aloita_savel(r->savel);
    h.savel_alkanut = true;
    h.savel_soi = true;
    h.savelen_alku = deps_.clock.timeGetTime();
    if (h.korostus) r->setColour(asetukset.colours.korostusvari);
  }
  if (h.savel_soi && since() > r->kesto * asetukset.aanisuhde) {
    sound.lopeta_savel();
    h.savel_soi = false;
  }
  if (since() > r->kesto) {
    const bool more = h.kohta < kChoicePool && paneelit[h.kohta + 1]->vasen > 0;
    if (more) {
      ++h.kohta;
      h.savel_alkanut = false;
    } else {
      h.soi = false;
      h.vastattu = false;
    }
  }
}

void TForm1::endMelody() {
  if (h.soi && h.savel_soi) {
    sound.lopeta_savel();
    h.savel_soi = false;
  }
  h.soi = false;
  deps_.pump.wake();
}

void TForm1::answer(int side) {
  if (!h.vastattu && !h.soi) {
    if (h.oikea_puoli == side) {
      reagoi_oikeaan();
    } else {
      reagoi_vaaraan();
    }
  }
  if (h.odottaa_oikeaa && h.oikea_puoli == side) {
    setWindowBackground(asetukset.colours.kirkas_vari);
    h.odottaa_oikeaa = false;
  }
}

void TForm1::showScore() {
  Edit1->setText(QString("  %1").arg(h.oikeat));
  const int percent = h.yritykset > 0 ? roundHalfEven(static_cast<double>(h.oikeat) / h.yritykset * 100) : 0;
  Edit2->setText(QString("%1 %").arg(percent));
}

void TForm1::reagoi_oikeaan() {
  setWindowBackground(asetukset.colours.kirkas_vari);
  piirranaama();
  ++h.yritykset;
  ++h.oikeat;
  showScore();
  h.vastattu = true;
  BitBtn1->setEnabled(true);
}

void TForm1::reagoi_vaaraan() {
  h.korostus = true;
  ++h.yritykset;
  showScore();
  h.savel_alkanut = false;
  h.kohta = h.oikea_puoli == 0 ? 1 : 21;
  h.soi = true;
  vilkuta();
  if (h.soi) mskello(deps_.clock.timeGetTime());
  h.korostus = false;
  h.vastattu = true;
  h.odottaa_oikeaa = true;
  BitBtn1->setEnabled(true);
}

void TForm1::nollaa_peli() {
  PaintBox1->clear();
  grid.reset();
  h.oikeat = 0;
  h.yritykset = 0;
  Edit1->setText(" ");
  Edit2->setText(" ");
}

}  // namespace taktovi
