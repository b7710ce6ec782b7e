#pragma once
// The smiley tally: the 18 x 20 bitmap, the grid rule that places the next smiley, and the
// paint box that shows them (kept and redrawn when the box is repainted).

#include <QImage>
#include <QWidget>
#include <vector>

namespace taktovi {

// The bitmap, built from its pixel rows: green face, black outline, light grey ground.
QImage smileyImage();

// Where the last smiley went and where the next one goes, in paint-box pixels.
struct SmileyGrid {
  int naama_x = 0, naama_y = 0;
  int seuraava_x = 0, seuraava_y = 0;
  // Takes the next position for a smiley in a box of width w and height h; true when the box
  // is to be cleared first (the position is back at the top left).
  bool place(int w, int h);
};

class SmileyArea : public QWidget {
 public:
  explicit SmileyArea(QWidget* parent = nullptr);
  // piirranaama: the next smiley, at its own size; the first of a round of the box clears it.
  void piirranaama();
  // RESET: the box cleared, the next smiley at the top left.
  void reset();
  const std::vector<QPoint>& smileys() const { return drawn_; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QImage image_;
  SmileyGrid grid_;
  std::vector<QPoint> drawn_;
};

}  // namespace taktovi
