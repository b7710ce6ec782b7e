#pragma once
// A pattern rectangle: a bordered, coloured panel without caption, with the five fields of
// a pattern element. Clicks pass through it to the control beneath. And the pool of them a
// window creates once and keeps for the whole run, numbered from 1.

#include <QFrame>
#include <cstdint>
#include <vector>

namespace taktovi {

class Tomapaneli : public QFrame {
 public:
  explicit Tomapaneli(QWidget* parent = nullptr);

  int32_t vasen = 0;  // left edge; 0 marks the end of a pattern
  int32_t yla = 0;    // top edge
  int32_t muoto = 0;  // 1 normal, 2 narrow, 3 tall; other values keep the size
  int32_t savel = 0;  // 0 rest, 1 strong tone, 2 weak tone, above 2 a pitch
  double kesto = 0;   // slot length in milliseconds

  void setColour(const QColor& c);
  QColor colour() const;
};

// paneelit: rectangles 1 to size(); the window owns them as its children.
class RectanglePool {
 public:
  void add(Tomapaneli* r) { slots_.push_back(r); }
  Tomapaneli* operator[](int i) const { return slots_.at(static_cast<size_t>(i - 1)); }
  int size() const { return static_cast<int>(slots_.size()); }
  // A pattern in the pool ends with slot `i` when the next rectangle is the end marker (its left
  // edge 0), or the pool ends.
  bool lastOfPattern(int i) const { return i >= size() || (*this)[i + 1]->vasen == 0; }

 private:
  std::vector<Tomapaneli*> slots_;
};

}  // namespace taktovi
