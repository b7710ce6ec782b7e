// The choice trainer's window: creation, layout and scaling.
#include "choice/tform1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSvgRenderer>

#include "choice/help_texts.h"
#include "platform/rounding.h"
#include "sound/sound_panel.h"

// The pictures are compiled into this static library; its resources must be registered.
static void registerPictures() { Q_INIT_RESOURCE(pictures); }

namespace taktovi {

namespace {

// A stretched picture of our own, rendered from its SVG at the control's scaled size.
QLabel* picture(QWidget* parent, const char* name, const char* resource, const QRect& r) {
  auto* l = new QLabel(parent);
  l->setObjectName(name);
  l->setGeometry(r);
  QPixmap pm(r.size());
  pm.fill(Qt::transparent);
  QSvgRenderer svg{QString(resource)};
  QPainter p(&pm);
  svg.render(&p);
  l->setPixmap(pm);
  l->setScaledContents(true);
  return l;
}

QLineEdit* scoreField(QWidget* parent, const char* name) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(name);
  e->setReadOnly(true);
  e->setFocusPolicy(Qt::NoFocus);  // skipped by Tab
  return e;
}

QScrollBar* scrollBar(QWidget* parent, const char* name, int min, int max, int value, int step) {
  auto* s = new QScrollBar(Qt::Horizontal, parent);
  s->setObjectName(name);
  s->setRange(min, max);
  s->setValue(value);
  s->setSingleStep(step);
  s->setPageStep(step);
  s->setFocusPolicy(Qt::NoFocus);
  return s;
}

}  // namespace

TForm1::TForm1(ChoiceDeps deps)
    : sound(deps.sound),
      deps_(std::move(deps)),
      placer_(designScreenWidth(deps_.screen) / 800.0) {
  setObjectName("Form1");
  setWindowTitle(kChoiceCaption);
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setFont(placer_.font());
  registerPictures();
  buildControls();
  deps_.errors.setParentWindow(this);

  // 1. The rectangle pool: 20 in the upper box, 12 in the lower, yellow, 10, 10, 51 x 21, hidden.
  for (int i = 1; i <= kChoicePool; ++i) {
    auto* r = new Tomapaneli(i <= 20 ? static_cast<QWidget*>(GroupBox4) : GroupBox5);
    r->setObjectName(QString("paneelit%1").arg(i));
    r->setColour(colours::yellow);
    placer_.place(r, 10, 10, 51, 21);
    r->hide();
    paneelit[i] = r;
  }
  // 2. The sound output: default device, programs, patches, volumes.
  sound.startUp();
  // 3.-7. Settings, exercise state, background, score and smileys, colours.
  asetukset = ChoiceSettings{};
  h = ChoiceExercise{};
  grid = SmileyGrid{};
  asetukset.colours = colourSchemes()[0];
  setWindowBackground(asetukset.colours.taustavari);
  // 8.-9. The ladder and the window's scaling, both from the same screen width.
  ladder = makeChoiceLadder(designScreenWidth(deps_.screen));
  // 10. All rectangles hidden in the rectangle colour.
  palauta_ruutu();
  // 11. Maximised, centred.
  resize(deps_.screen);
  setWindowState(Qt::WindowMaximized);
  // 12. MIDI mode with the piano.
  sound.finishCreation();
  qApp->installEventFilter(this);
  Button6->setFocus();
}

TForm1::~TForm1() { qApp->removeEventFilter(this); }

void TForm1::buildControls() {
  auto* central = new QWidget(this);
  central->setObjectName("client");
  setCentralWidget(central);
  design = new QWidget(central);
  design->setObjectName("design");
  const int width = placer_.px(809);
  design->setGeometry(std::max(0, (deps_.screen.width() - width) / 2), 0, width, placer_.px(600));

  GroupBox4 = new ClickBox(design);
  GroupBox4->setObjectName("GroupBox4");
  placer_.place(GroupBox4, 21, 17, 761, 131);
  GroupBox4->onClick = [this] { GroupBox4Click(); };
  ypi1 = new QFrame(GroupBox4);
  ypi1->setObjectName("ypi1");
  placer_.place(ypi1, 20, 42, 51, 21);
  ypi1->hide();
  GroupBox5 = new ClickBox(design);
  GroupBox5->setObjectName("GroupBox5");
  placer_.place(GroupBox5, 20, 160, 761, 131);
  GroupBox5->onClick = [this] { GroupBox5Click(); };

  buildControlStrip();
  buildOverlays();
  buildMenus();
}

void TForm1::buildControlStrip() {
  Panel1 = makePanel(design, "Panel1", colours::silver);
  placer_.place(Panel1, 20, 313, 761, 231);

  auto* box1 = new QGroupBox(Panel1);
  box1->setObjectName("GroupBox1");
  placer_.place(box1, 20, 10, 281, 81);
  const char* swatches[] = {"Panel2", "Panel3", "Panel4", "Panel5"};
  for (int i = 0; i < 4; ++i) {
    auto* s = new ClickPanel(box1);
    s->setObjectName(swatches[i]);
    s->setFrameStyle(QFrame::Panel | QFrame::Raised);
    setBackground(s, colourSchemes()[i].taustavari);
    placer_.place(s, 10 + 70 * i, 20, 51, 51);
    s->onClick = guarded(deps_.errors, [this, i] { PanelClick(i); });
  }

  auto* box2 = new QGroupBox(Panel1);
  box2->setObjectName("GroupBox2");
  placer_.place(box2, 20, 96, 281, 115);
  picture(box2, "Image1", ":/pictures/snail.svg", placer_.rect(25, 26, 61, 36));
  picture(box2, "Image2", ":/pictures/hare.svg", placer_.rect(185, 17, 75, 46));
  ScrollBar1 = scrollBar(box2, "ScrollBar1", 200, 1800, 1000, 10);
  placer_.place(ScrollBar1, 21, 70, 241, 31);
  connect(ScrollBar1, &QScrollBar::valueChanged, this, guarded<int>(deps_.errors, [this](int v) { ScrollBar1Change(v); }));

  auto* box3 = new QGroupBox(Panel1);
  box3->setObjectName("GroupBox3");
  placer_.place(box3, 540, 96, 201, 115);
  picture(box3, "Image3", ":/pictures/bars.svg", placer_.rect(25, 21, 156, 36));
  ScrollBar2 = scrollBar(box3, "ScrollBar2", 30, 80, 55, 1);
  placer_.place(ScrollBar2, 20, 70, 161, 31);
  connect(ScrollBar2, &QScrollBar::valueChanged, this, guarded<int>(deps_.errors, [this](int v) { ScrollBar2Change(v); }));

  PaintBox1 = new SmileyArea(Panel1);
  PaintBox1->setObjectName("PaintBox1");
  placer_.place(PaintBox1, 320, 18, 201, 193);
  Edit1 = scoreField(Panel1, "Edit1");
  placer_.place(Edit1, 540, 20, 101, 31);
  Edit2 = scoreField(Panel1, "Edit2");
  placer_.place(Edit2, 540, 60, 101, 31);

  BitBtn1 = new QPushButton(Panel1);
  BitBtn1->setObjectName("BitBtn1");
  BitBtn1->setAutoDefault(false);
  BitBtn1->setFocusPolicy(Qt::NoFocus);  // skipped by Tab
  placer_.place(BitBtn1, 652, 19, 87, 73);
  BitBtn1->setIcon(QIcon(":/pictures/arrow.svg"));
  BitBtn1->setIconSize(QSize(placer_.px(54), placer_.px(41)));
  connect(BitBtn1, &QPushButton::clicked, this, guarded(deps_.errors, [this] { BitBtn1Click(); }));
}

void TForm1::buildOverlays() {
  Panel6 = makePanel(design, "Panel6", colours::silver);
  placer_.place(Panel6, 211, 19, 571, 276);
  Memo1 = makeMemo(Panel6, "Memo1", choiceMemo1());
  placer_.place(Memo1, 12, 15, 411, 241);
  Memo3 = makeMemo(Panel6, "Memo3", choiceMemo3());
  placer_.place(Memo3, 11, 14, 414, 243);
  Memo4 = makeMemo(Panel6, "Memo4", choiceMemo4());
  placer_.place(Memo4, 13, 13, 415, 245);
  for (QPlainTextEdit* m : {Memo1, Memo3, Memo4}) m->hide();
  QPushButton* ok = makeButton(Panel6, "Button3", "OK");
  placer_.place(ok, 460, 185, 89, 66);
  connect(ok, &QPushButton::clicked, this, [this] { Button3Click(); });
  Panel6->hide();

  Panel7 = new SoundPanel(design, sound, deps_.errors, choiceSoundPanelLayout(),
                          [this](QRect r) { return placer_.rect(r.x(), r.y(), r.width(), r.height()); }, font());
  auto* image4 = new QLabel(Panel7);
  image4->setObjectName("Image4");
  image4->setPixmap(QPixmap::fromImage(smileyImage()));
  placer_.place(image4, 518, 65, 19, 21);
  image4->hide();

  Panel8 = makePanel(design, "Panel8", colours::lime);
  placer_.place(Panel8, 289, 109, 201, 286);
  QLabel* title = makeLabel(Panel8, "label1", "TAKTOVI 1");
  title->setFont(placer_.font(24));
  title->setAlignment(Qt::AlignCenter);
  placer_.place(title, 34, 31, 130, 29);
  QLabel* version = makeLabel(Panel8, "Label10", "Version 2.2, Demo");
  placer_.place(version, 36, 66, 127, 16);
  version->setAlignment(Qt::AlignCenter);
  fitText(title);
  fitText(version);
  Button6 = makeButton(Panel8, "Button6", "OK");
  placer_.place(Button6, 99, 225, 89, 51);
  connect(Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
  Panel8->show();
}

void TForm1::setWindowBackground(const QColor& c) {
  setBackground(centralWidget(), c);
  setBackground(this, c);
}

QColor TForm1::background() const { return centralWidget()->palette().color(QPalette::Window); }

void TForm1::closeEvent(QCloseEvent* event) {
  endMelody();
  event->accept();
}

}  // namespace taktovi
