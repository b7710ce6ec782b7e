// The choice trainer's task display: building, drawing, clearing, the blink, the smileys.
#include "choice/tform1.h"
#include "platform/rounding.h"

namespace taktovi {

void TForm1::rakenna() {
  rakenna_tehtava(h.tehtava, {ladder, asetukset.isku, asetukset.puoli_isku, sound.korkeudet}, paneelit);
}

void TForm1::walkPattern(int side, const std::function<void(Tomapaneli*)>& f) {
  const int last = side == 0 ? 20 : kChoicePool;
  for (int i = side == 0 ? 1 : 21; i <= last; ++i) {
    f(paneelit[i]);
    if (i == last || paneelit[i + 1]->vasen == 0) break;
  }
}

void TForm1::piirra_tehtava(bool ylempi) {
  const int w = ypi1->width();
  const int hgt = ypi1->height();
  const double share = asetukset.aanisuhde + 0.2;
  walkPattern(ylempi ? 0 : 1, [&](Tomapaneli* r) {
    if (r->savel == 0) return;
    int width = r->width(), height = r->height();
    switch (r->muoto) {
      case 1: width = roundHalfEven(share * w); height = hgt; break;
      case 2: width = roundHalfEven(share * 0.43478260869565217 * w); height = hgt; break;
      case 3: width = roundHalfEven(share * w); height = roundHalfEven(hgt * 1.5); break;
      default: break;
    }
    r->setGeometry(r->vasen, r->yla, width, height);
    r->show();
  });
}

void TForm1::palauta_ruutu() {
  for (int i = 1; i <= kChoicePool; ++i) {
    paneelit[i]->setColour(asetukset.colours.suorakaidevari);
    paneelit[i]->hide();
  }
  setWindowBackground(asetukset.colours.taustavari);
}

void TForm1::vilkuta() {
  auto wait = [this](uint32_t ms) { deps_.pump.blockUntil(deps_.clock.GetTickCount() + ms); };
  wait(500);
  walkPattern(h.oikea_puoli, [](Tomapaneli* r) {
    if (r->savel != 0) r->hide();
  });
  wait(500);
  walkPattern(h.oikea_puoli, [](Tomapaneli* r) {
    if (r->savel != 0) r->show();
  });
  wait(1000);
}

void TForm1::piirranaama() {
  if (grid.place(PaintBox1->width(), PaintBox1->height())) PaintBox1->clear();
  PaintBox1->draw(grid.naama_x, grid.naama_y);
}

}  // namespace taktovi
