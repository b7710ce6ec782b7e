#include "trainer/tomapaneli.h"

namespace taktovi {

Tomapaneli::Tomapaneli(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(1);
  setAutoFillBackground(true);
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Tomapaneli::setColour(const QColor& c) {
  QPalette p = palette();
  p.setColor(QPalette::Window, c);
  setPalette(p);
}

QColor Tomapaneli::colour() const {
  return palette().color(QPalette::Window);
}

}  // namespace taktovi
