#pragma once
// The widget kit that stands in for the window toolkit: design geometry (for an 800-pixel-wide
// screen) scaled by one ratio, a widget's own background, and a label whose font is narrowed
// until its text fits.

#include <QColor>
#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

class QWidget;
class QLabel;

namespace taktovi {

// The screen width a design is scaled for: the width of the largest 4:3 area that fits the
// screen, so that a wide screen shows the whole design (on 4:3 screens, the width itself).
int designScreenWidth(QSize screen);

// Design units times the scale, rounded halves to even.
class Placer {
 public:
  explicit Placer(double scale) : scale_(scale) {}
  double scale() const { return scale_; }
  int px(double design) const;
  QRect rect(const QRect& design) const;
  void place(QWidget* w, const QRect& design) const;
  // The window font: a sans-serif of the design font's widths, bold, `pixels` high at the
  // design size.
  QFont font(int pixels = 13, bool bold = true) const;

 private:
  double scale_;
};

// A widget draws its own background in `c`, whatever colour its parent takes.
void setBackground(QWidget* w, const QColor& c);
QColor backgroundOf(const QWidget* w);

// Narrows a label's font until its text fits the label's width, where the font found runs
// wider than the one the design was made with.
void fitText(QLabel* label);

// A text compiled into the program's resources, UTF-8, without its file's last line end;
// throws std::runtime_error when there is none.
QString resourceText(const QString& path);

}  // namespace taktovi
