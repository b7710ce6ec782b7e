#include "trainer/display.h"

#include "platform/rounding.h"

namespace taktovi {

void walkPattern(const RectanglePool& pool, int first, int last, const std::function<void(Tomapaneli*)>& f) {
  for (int i = first; i <= last; ++i) {
    f(pool[i]);
    if (i == last || pool.lastOfPattern(i)) break;
  }
}

void piirra_tehtava(const RectanglePool& pool, int first, int last, QSize templateSize, double aanisuhde) {
  const int w = templateSize.width();
  const int h = templateSize.height();
  const double share = aanisuhde + 0.2;
  walkPattern(pool, first, last, [&](Tomapaneli* r) {
    if (r->savel == 0) return;
    int width = r->width(), height = r->height();
    switch (r->muoto) {
      case 1:
        width = roundHalfEven(share * w);
        height = h;
        break;
      case 2:
        width = roundHalfEven(share * 0.43478260869565217 * w);
        height = h;
        break;
      case 3:
        width = roundHalfEven(share * w);
        height = roundHalfEven(h * 1.5);
        break;
      default:
        break;
    }
    r->setGeometry(r->vasen, r->yla, width, height);
    r->show();
  });
}

void hideRectangles(const RectanglePool& pool, const QColor& suorakaidevari) {
  for (int i = 1; i <= pool.size(); ++i) {
    pool[i]->setColour(suorakaidevari);
    pool[i]->hide();
  }
}

}  // namespace taktovi
