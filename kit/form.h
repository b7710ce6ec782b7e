#pragma once
// A window's controls built from a description, one control a line, the way a form file
// describes a window for its toolkit:
//
//   kind name parent x y width height [option ...]
//
// `parent` is a control named before, or `-` for the form's root. Bounds are design units
// (an 800-pixel-wide screen), placed through the Placer. Controls inherit the window's font.
//
// Kinds: panel, groupbox, clickbox, clickpanel, label, memo, button, picture, scrollbar,
// field (a read-only one-line edit), combo (a list whose entry field cannot be typed in),
// and the kinds the caller adds. Options:
//   text="..."  caption       colour=R,G,B  own background   hidden      not shown at start
//   font=PX     bold font     plain         not bold         systemfont  the system's font
//   centre      centred text  fit           narrow to fit    nofocus     never takes focus
//   wrap        text wraps    textcolour=R,G,B  colour of a label's text
//   range=A..B pos=N step=N   (scroll bars)                  picture=RESOURCE (SVG)
//   icon=RESOURCE iconsize=WxH  (buttons)
// Menus: `menu NAME - text="..."` adds a menu to the menu bar, `item NAME MENU text="..."` an
// item to it, `action NAME - text="..."` an entry of the bar itself without items.

#include <QString>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>

#include "kit/widget_kit.h"

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace taktovi {

class Form {
 public:
  using Maker = std::function<QWidget*(QWidget* parent)>;
  Form(QWidget* root, QMenuBar* menus, const Placer& placer, std::map<std::string, Maker> kinds = {});

  // Builds every line; a line it cannot read throws std::runtime_error naming it.
  void build(const QString& description);

  // The control of that name, of that type; throws when there is none.
  template <typename T = QWidget>
  T* get(const std::string& name) const {
    auto* t = dynamic_cast<T*>(widget(name));
    if (t == nullptr) throw std::runtime_error("form: " + name + " has another kind");
    return t;
  }
  QWidget* widget(const std::string& name) const;
  QAction* action(const std::string& name) const;
  QMenu* menu(const std::string& name) const;

  struct Line;  // one line of a description, read

 private:
  void buildLine(const QString& line);
  void buildMenuEntry(const Line& l);

  QWidget* root_;
  QMenuBar* menus_;
  const Placer& placer_;
  std::map<std::string, Maker> kinds_;
  std::map<std::string, QWidget*> widgets_;
  std::map<std::string, QAction*> actions_;
  std::map<std::string, QMenu*> submenus_;
};

}  // namespace taktovi
