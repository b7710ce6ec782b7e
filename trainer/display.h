#pragma once
// Drawing a pattern that is in the pool, and clearing the pool's rectangles.

#include <QColor>
#include <QSize>
#include <functional>

#include "trainer/tomapaneli.h"

namespace taktovi {

// Calls f for each slot of the pattern that starts at `first`: that slot always, then on
// while the next slot's vasen is not 0, never past `last`.
void walkPattern(const RectanglePool& pool, int first, int last, const std::function<void(Tomapaneli*)>& f);

// piirra_tehtava: every tone of the pattern (rests stay hidden) sized from the template's
// size and the tone share, placed at its vasen and yla, and shown. Colours are not touched.
void piirra_tehtava(const RectanglePool& pool, int first, int last, QSize templateSize, double aanisuhde);

// The rectangles' part of palauta_ruutu: every one hidden, in the rectangle colour.
void hideRectangles(const RectanglePool& pool, const QColor& suorakaidevari);

}  // namespace taktovi
