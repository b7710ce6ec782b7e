#pragma once
// What both windows draw alike: design geometry scaled to the screen, panels, memos,
// buttons and labels made in one way, and the four colour schemes.

#include <QColor>
#include <QFont>
#include <QRect>
#include <QSize>
#include <QStringList>
#include <array>
#include <vector>

class QWidget;
class QFrame;
class QPlainTextEdit;
class QPushButton;
class QLabel;

namespace taktovi {

// The screen width the design is scaled for: the width of the largest 4:3 area that fits
// the screen, so that a wide screen shows the whole design (on 4:3 screens, the width).
int designScreenWidth(QSize screen);

// Places widgets at design bounds (for an 800-pixel-wide screen) times the scale.
class Placer {
 public:
  explicit Placer(double scale) : scale_(scale) {}
  double scale() const { return scale_; }
  int px(double design) const;
  QRect rect(int x, int y, int w, int h) const;
  void place(QWidget* w, int x, int y, int width, int height) const;
  // The window font: the system's sans-serif, bold, `pixels` high at the design size.
  QFont font(int pixels = 13, bool bold = true) const;

 private:
  double scale_;
};

void setBackground(QWidget* w, const QColor& c);

QFrame* makePanel(QWidget* parent, const char* name, const QColor& colour);
QPlainTextEdit* makeMemo(QWidget* parent, const char* name, const std::vector<const char*>& lines);
QPushButton* makeButton(QWidget* parent, const char* name, const char* caption);
QLabel* makeLabel(QWidget* parent, const char* name, const char* text);
// Narrows a label's font until its text fits the label's width (our font runs wider).
void fitText(QLabel* label);

struct ColourScheme {
  QColor taustavari;      // background during an exercise
  QColor kirkas_vari;     // background after a correct answer
  QColor suorakaidevari;  // rectangles
  QColor korostusvari;    // a rectangle whose tone starts during a replay
};

namespace colours {
inline const QColor navy{0, 0, 128}, blue{0, 0, 255}, lime{0, 255, 0}, yellow{255, 255, 0}, purple{128, 0, 128},
    fuchsia{255, 0, 255}, green{0, 128, 0}, orange{255, 128, 0}, silver{192, 192, 192};
}

// The swatches' schemes, left to right: navy, purple, green, orange.
const std::array<ColourScheme, 4>& colourSchemes();

}  // namespace taktovi
