#include "trainer/smiley.h"

#include <QPainter>

namespace taktovi {

namespace {
constexpr const char* kRows[20] = {
    "..................", "..................", "....KKKKKKKKKK....", "...KKGGGGGGGGKK...",
    "..KKGGGGGGGGGGKK..", "..KGGGGGGGGGGGGK..", "..KGGGKGGGGKGGGK..", "..KGGKKKGGKKKGGK..",
    "..KGGGGGGGGGGGGK..", "..KGGGGGGGGGGGGK..", "..KGGGGGGGGGGGGK..", "..KGGGGGGGGGGGGK..",
    "..KGGKGGGGGGKGGK..", "..KGGGKGGGGKGGGK..", "..KGGGGKKKKGGGGK..", "..KKGGGGGGGGGGKK..",
    "...KKGGGGGGGGKK...", "....KKKKKKKKKK....", "..................", "..................",
};
}  // namespace

QImage smileyImage() {
  QImage img(18, 20, QImage::Format_RGB32);
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 18; ++x) {
      const char c = kRows[y][x];
      img.setPixelColor(x, y,
                        c == 'G'   ? QColor(0, 255, 0)
                        : c == 'K' ? QColor(0, 0, 0)
                                   : QColor(192, 192, 192));
    }
  }
  return img;
}

bool SmileyGrid::place(int w, int h) {
  naama_x = seuraava_x;
  naama_y = seuraava_y;
  const bool clear = naama_x == 0 && naama_y == 0;
  if (naama_x <= w - 34) {
    seuraava_x = naama_x + 17;
    seuraava_y = naama_y;
  } else if (naama_y < h - 42) {
    seuraava_x = 0;
    seuraava_y = naama_y + 22;
  } else {
    seuraava_x = 0;
    seuraava_y = 0;
  }
  return clear;
}

SmileyArea::SmileyArea(QWidget* parent) : QWidget(parent), image_(smileyImage()) {}

void SmileyArea::piirranaama() {
  if (grid_.place(width(), height())) drawn_.clear();
  drawn_.emplace_back(grid_.naama_x, grid_.naama_y);
  update();
}

void SmileyArea::reset() {
  drawn_.clear();
  grid_.seuraava_x = grid_.seuraava_y = 0;
  update();
}

void SmileyArea::paintEvent(QPaintEvent*) {
  QPainter p(this);
  for (const QPoint& pt : drawn_) p.drawImage(pt, image_);
}

}  // namespace taktovi
