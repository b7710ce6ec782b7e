#pragma once
// A pattern rectangle: a bordered, coloured panel without caption, with the five fields of
// a pattern element. Clicks pass through it to the answer box beneath.

#include <QFrame>
#include <cstdint>

namespace taktovi {

class Tomapaneli : public QFrame {
 public:
  explicit Tomapaneli(QWidget* parent = nullptr);

  int32_t vasen = 0;  // left edge inside the box; 0 marks the end of a pattern
  int32_t yla = 0;    // top edge inside the box
  int32_t muoto = 0;  // 1 normal, 2 narrow, 3 tall; other values keep the size
  int32_t savel = 0;  // 0 rest, 1 strong tone, 2 weak tone, above 2 a pitch
  double kesto = 0;   // slot length in milliseconds

  void setColour(const QColor& c);
  QColor colour() const;
};

}  // namespace taktovi
