#include "kit/form.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSvgRenderer>
#include <QWheelEvent>

#include "kit/clickable.h"

namespace taktovi {

struct Form::Line {
  QString kind, name, parent;
  QRect bounds;
  bool hasBounds = false;
  std::map<QString, QString> options;  // flags map to an empty value
  bool has(const char* o) const { return options.count(o) != 0; }
  QString value(const char* o) const {
    auto it = options.find(o);
    return it == options.end() ? QString() : it->second;
  }
};

namespace {

Form::Line parse(const QString& text) {
  static const QRegularExpression token(R"re((\w+)="([^"]*)"|(\S+))re");
  QStringList words;
  std::map<QString, QString> options;
  for (auto it = token.globalMatch(text); it.hasNext();) {
    const auto m = it.next();
    if (!m.captured(1).isEmpty()) {
      options[m.captured(1)] = m.captured(2);
    } else if (words.size() < 7) {
      words << m.captured(3);
    } else {
      const QString w = m.captured(3);
      const auto eq = w.indexOf('=');
      options[eq < 0 ? w : w.left(eq)] = eq < 0 ? QString() : w.mid(eq + 1);
    }
  }
  Form::Line l;
  if (words.size() < 3) throw std::runtime_error("form: too few fields: " + text.toStdString());
  l.kind = words[0];
  l.name = words[1];
  l.parent = words[2];
  if (words.size() > 3 && words.size() < 7)
    throw std::runtime_error("form: bad bounds: " + text.toStdString());
  if (words.size() == 7) {
    l.hasBounds = true;
    bool ok = true;
    int v[4];
    for (int i = 0; i < 4 && ok; ++i) v[i] = words[3 + i].toInt(&ok);
    if (!ok) throw std::runtime_error("form: bad bounds: " + text.toStdString());
    l.bounds = QRect(v[0], v[1], v[2], v[3]);
  }
  l.options = std::move(options);
  return l;
}

QColor colourOf(const QString& rgb) {
  const QStringList c = rgb.split(',');
  if (c.size() != 3) throw std::runtime_error("form: bad colour: " + rgb.toStdString());
  return QColor(c[0].toInt(), c[1].toInt(), c[2].toInt());
}

// The original's scroll bars never had the focus, so the mouse wheel never reached them.
class WheelDeafScrollBar final : public QScrollBar {
 public:
  using QScrollBar::QScrollBar;

 protected:
  void wheelEvent(QWheelEvent* e) override { e->ignore(); }
};

QWidget* makeBuiltin(const QString& kind, QWidget* parent) {
  auto panel = [](QFrame* f) {
    f->setFrameStyle(QFrame::Panel | QFrame::Raised);
    return f;
  };
  if (kind == "panel") return panel(new QFrame(parent));
  if (kind == "clickpanel") return panel(new ClickPanel(parent));
  if (kind == "groupbox") return new QGroupBox(parent);
  if (kind == "clickbox") return new ClickBox(parent);
  if (kind == "label") return new QLabel(parent);
  if (kind == "picture") return new QLabel(parent);
  if (kind == "scrollbar") return new WheelDeafScrollBar(Qt::Horizontal, parent);
  if (kind == "button") {
    auto* b = new QPushButton(parent);
    b->setAutoDefault(true);  // a focused button is pressed by Enter as by the space bar
    return b;
  }
  if (kind == "field") {
    auto* e = new QLineEdit(parent);
    e->setReadOnly(true);
    return e;
  }
  if (kind == "memo") {
    auto* m = new QPlainTextEdit(parent);
    m->setReadOnly(true);
    m->setLineWrapMode(QPlainTextEdit::NoWrap);
    m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return m;
  }
  if (kind == "combo") {
    auto* c = new QComboBox(parent);
    c->setEditable(true);
    c->lineEdit()->setReadOnly(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    return c;
  }
  return nullptr;
}

QPixmap renderSvg(const QString& resource, QSize size) {
  QPixmap pm(size);
  pm.fill(Qt::transparent);
  QSvgRenderer svg(resource);
  if (!svg.isValid()) throw std::runtime_error("form: no picture " + resource.toStdString());
  QPainter p(&pm);
  svg.render(&p);
  return pm;
}

QSize sizeOf(const QString& wxh) {
  const QStringList s = wxh.split('x');
  return s.size() == 2 ? QSize(s[0].toInt(), s[1].toInt()) : QSize();
}

}  // namespace

Form::Form(QWidget* root, QMenuBar* menus, const Placer& placer, std::map<std::string, Maker> kinds)
    : root_(root), menus_(menus), placer_(placer), kinds_(std::move(kinds)) {}

void Form::build(const QString& description) {
  for (const QString& raw : description.split('\n')) {
    const QString line = raw.trimmed();
    if (line.isEmpty() || line.startsWith('#')) continue;
    buildLine(line);
  }
}

namespace {

// The font options: a size (bold unless plain), plain alone, or the system's font.
void setUpFont(QWidget* w, const Form::Line& l, const Placer& placer) {
  if (l.has("font")) w->setFont(placer.font(l.value("font").toInt(), !l.has("plain")));
  if (l.has("plain") && !l.has("font")) {
    QFont f = w->font();
    f.setBold(false);
    w->setFont(f);
  }
  if (l.has("systemfont")) w->setFont(QApplication::font());
}

// A label: a picture or a text, its alignment, wrapping, colour, and fitting.
void setUpLabel(QLabel* label, const Form::Line& l) {
  if (l.kind == "picture") {
    label->setPixmap(renderSvg(l.value("picture"), label->size()));
    label->setScaledContents(true);
  } else {
    label->setText(l.value("text"));
  }
  if (l.has("centre")) label->setAlignment(Qt::AlignCenter);
  if (l.has("wrap")) label->setWordWrap(true);
  if (l.has("textcolour")) {
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colourOf(l.value("textcolour")));
    label->setPalette(p);
  }
  if (l.has("fit")) fitText(label);
}

void setUpScrollBar(QScrollBar* s, const Form::Line& l) {
  const QStringList range = l.value("range").split("..");
  if (range.size() == 2) s->setRange(range[0].toInt(), range[1].toInt());
  s->setValue(l.value("pos").toInt());
  s->setSingleStep(l.value("step").toInt());
  s->setPageStep(l.value("step").toInt());
  s->setFocusPolicy(Qt::NoFocus);
}

}  // namespace

void Form::buildLine(const QString& text) {
  const Line l = parse(text);
  if (l.kind == "menu" || l.kind == "action" || l.kind == "item") {
    buildMenuEntry(l);
    return;
  }
  if (!l.hasBounds) throw std::runtime_error("form: no bounds: " + text.toStdString());
  QWidget* parent = l.parent == "-" ? root_ : widget(l.parent.toStdString());
  auto custom = kinds_.find(l.kind.toStdString());
  QWidget* w = custom != kinds_.end() ? custom->second(parent) : makeBuiltin(l.kind, parent);
  if (w == nullptr) throw std::runtime_error("form: unknown kind: " + text.toStdString());
  w->setObjectName(l.name);
  placer_.place(w, l.bounds);
  if (l.has("colour")) setBackground(w, colourOf(l.value("colour")));
  setUpFont(w, l, placer_);
  if (l.has("nofocus")) w->setFocusPolicy(Qt::NoFocus);
  if (auto* label = qobject_cast<QLabel*>(w)) {
    setUpLabel(label, l);
  } else if (auto* b = qobject_cast<QPushButton*>(w)) {
    b->setText(l.value("text"));
    if (l.has("icon")) {
      b->setIcon(QIcon(l.value("icon")));
      b->setIconSize(placer_.rect(QRect(QPoint(), sizeOf(l.value("iconsize")))).size());
    }
  } else if (auto* bar = qobject_cast<QScrollBar*>(w)) {
    setUpScrollBar(bar, l);
  } else if (auto* c = qobject_cast<QComboBox*>(w)) {
    c->setGeometry(c->x(), c->y(), c->width(), c->sizeHint().height());
  }
  if (l.has("hidden")) w->hide();
  widgets_[l.name.toStdString()] = w;
}

void Form::buildMenuEntry(const Line& l) {
  QAction* a = nullptr;
  if (l.kind == "menu") {
    QMenu* m = menus_->addMenu(l.value("text"));
    m->setObjectName(l.name);
    m->setFont(root_->window()->font());
    submenus_[l.name.toStdString()] = m;
    a = m->menuAction();
  } else if (l.kind == "action") {
    a = menus_->addAction(l.value("text"));
  } else {
    a = menu(l.parent.toStdString())->addAction(l.value("text"));
  }
  a->setObjectName(l.name);
  actions_[l.name.toStdString()] = a;
}

QWidget* Form::widget(const std::string& name) const {
  auto it = widgets_.find(name);
  if (it == widgets_.end()) throw std::runtime_error("form: no control " + name);
  return it->second;
}

QAction* Form::action(const std::string& name) const {
  auto it = actions_.find(name);
  if (it == actions_.end()) throw std::runtime_error("form: no menu entry " + name);
  return it->second;
}

QMenu* Form::menu(const std::string& name) const {
  auto it = submenus_.find(name);
  if (it == submenus_.end()) throw std::runtime_error("form: no menu " + name);
  return it->second;
}

}  // namespace taktovi
