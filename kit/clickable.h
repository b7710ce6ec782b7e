#pragma once
// Controls that report a mouse click: the answer boxes and the colour swatches. A click is the
// left button pressed and released on the control; other buttons, and a press dragged off the
// control before its release, do nothing. A click on a child that lets clicks through (a
// rectangle) counts as a click on the control.

#include <QFrame>
#include <QGroupBox>
#include <QMouseEvent>
#include <functional>

namespace taktovi {

template <typename Base>
class Clickable : public Base {
 public:
  using Base::Base;
  std::function<void()> onClick;

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton) pressed_ = true;
    e->accept();
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    const bool click =
        pressed_ && e->button() == Qt::LeftButton && this->rect().contains(e->position().toPoint());
    if (e->button() == Qt::LeftButton) pressed_ = false;
    e->accept();
    if (click && onClick) onClick();
  }

 private:
  bool pressed_ = false;
};

using ClickBox = Clickable<QGroupBox>;
using ClickPanel = Clickable<QFrame>;

}  // namespace taktovi
