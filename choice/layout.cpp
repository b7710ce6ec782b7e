#include "choice/layout.h"

#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>

#include "platform/rounding.h"

namespace taktovi {

int designScreenWidth(QSize screen) {
  return std::min(screen.width(), roundHalfEven(screen.height() * 4.0 / 3.0));
}

int Placer::px(double design) const { return roundHalfEven(design * scale_); }

QRect Placer::rect(int x, int y, int w, int h) const { return {px(x), px(y), px(w), px(h)}; }

void Placer::place(QWidget* w, int x, int y, int width, int height) const { w->setGeometry(rect(x, y, width, height)); }

QFont Placer::font(int pixels, bool bold) const {
  QFont f("Sans Serif");
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

QFrame* makePanel(QWidget* parent, const char* name, const QColor& colour) {
  auto* p = new QFrame(parent);
  p->setObjectName(name);
  p->setFrameStyle(QFrame::Panel | QFrame::Raised);
  setBackground(p, colour);
  return p;
}

QPlainTextEdit* makeMemo(QWidget* parent, const char* name, const std::vector<const char*>& lines) {
  auto* m = new QPlainTextEdit(parent);
  m->setObjectName(name);
  m->setReadOnly(true);
  m->setLineWrapMode(QPlainTextEdit::NoWrap);
  m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  QStringList text;
  for (const char* l : lines) text << QString::fromUtf8(l);
  m->setPlainText(text.join('\n'));
  return m;
}

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption) {
  auto* b = new QPushButton(QString::fromUtf8(caption), parent);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

QLabel* makeLabel(QWidget* parent, const char* name, const char* text) {
  auto* l = new QLabel(QString::fromUtf8(text), parent);
  l->setObjectName(name);
  return l;
}

void fitText(QLabel* label) {
  QFont f = label->font();
  while (f.pixelSize() > 6 && QFontMetrics(f).horizontalAdvance(label->text()) > label->width()) {
    f.setPixelSize(f.pixelSize() - 1);
  }
  label->setFont(f);
}

const std::array<ColourScheme, 4>& colourSchemes() {
  using namespace colours;
  static const std::array<ColourScheme, 4> schemes = {{
      {navy, blue, lime, yellow},
      {purple, fuchsia, lime, yellow},
      {green, lime, navy, yellow},
      {orange, yellow, blue, lime},
  }};
  return schemes;
}

}  // namespace taktovi
