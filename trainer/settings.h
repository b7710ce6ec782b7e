#pragma once
// The settings both trainers share: the colour scheme and the timing of the melodies.

#include <QColor>
#include <array>

namespace taktovi {

struct ColourScheme {
  QColor taustavari;      // background during an exercise
  QColor kirkas_vari;     // background after a right answer
  QColor suorakaidevari;  // rectangles
  QColor korostusvari;    // a rectangle whose tone starts during a replay
};

namespace colours {
inline const QColor navy{0, 0, 128}, blue{0, 0, 255}, lime{0, 255, 0}, yellow{255, 255, 0},
    purple{128, 0, 128}, fuchsia{255, 0, 255}, green{0, 128, 0}, orange{255, 128, 0}, silver{192, 192, 192};
}

// The swatches' schemes, left to right: navy, purple, green, orange.
const std::array<ColourScheme, 4>& colourSchemes();

struct TempoSettings {
  double isku = 1000;       // beat length, ms
  double puoli_isku = 500;  // half a beat
  double aanisuhde = 0.55;  // share of a slot during which its tone sounds

  // The tempo bar: 200 (snail) gives 1800 ms, 1800 (hare) 200 ms.
  void tempo(int position) {
    isku = 2000 - position;
    puoli_isku = isku * 0.5;
  }
  // The tone-share bar: 30 to 80 per cent.
  void share(int position) { aanisuhde = position * 0.01; }
};

}  // namespace taktovi
