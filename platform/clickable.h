#pragma once
// Controls that report a mouse click: the answer boxes and the colour swatches. A click on
// a child that lets clicks through (a rectangle) counts as a click on the box.

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
    if (onClick) onClick();
    e->accept();
  }
};

using ClickBox = Clickable<QGroupBox>;
using ClickPanel = Clickable<QFrame>;

}  // namespace taktovi
