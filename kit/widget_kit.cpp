#include "kit/widget_kit.h"

#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QWidget>
#include <algorithm>
#include <stdexcept>

#include "platform/rounding.h"

namespace taktovi {

int designScreenWidth(QSize screen) {
  return std::min(screen.width(), roundHalfEven(screen.height() * 4.0 / 3.0));
}

int Placer::px(double design) const {
  return roundHalfEven(design * scale_);
}

QRect Placer::rect(const QRect& d) const {
  return {px(d.x()), px(d.y()), px(d.width()), px(d.height())};
}

void Placer::place(QWidget* w, const QRect& design) const {
  w->setGeometry(rect(design));
}

QFont Placer::font(int pixels, bool bold) const {
  // The designs were made with a font of Arial's widths; Liberation Sans has them (DejaVu
  // Sans, the usual default, runs about 14 % wider, and titles would no longer fit).
  QFont f;
  f.setFamilies({"Liberation Sans", "Sans Serif"});
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(std::max(1, px(pixels)));
  f.setBold(bold);
  return f;
}

void setBackground(QWidget* w, const QColor& c) {
  QPalette p = w->palette();
  p.setColor(QPalette::Window, c);
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

QColor backgroundOf(const QWidget* w) {
  return w->palette().color(QPalette::Window);
}

void fitText(QLabel* label) {
  QFont f = label->font();
  while (f.pixelSize() > 6 && QFontMetrics(f).horizontalAdvance(label->text()) > label->width()) {
    f.setPixelSize(f.pixelSize() - 1);
  }
  label->setFont(f);
}

QString resourceText(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) throw std::runtime_error("no resource " + path.toStdString());
  QString text = QString::fromUtf8(f.readAll());
  if (text.endsWith('\n')) text.chop(1);
  return text;
}

}  // namespace taktovi
