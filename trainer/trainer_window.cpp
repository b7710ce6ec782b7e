#include "trainer/trainer_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

#include "kit/clickable.h"
#include "sound/instruments.h"
#include "trainer/display.h"

// The pictures and the shared texts are compiled into this static library.
static void registerTrainerResources() {
  Q_INIT_RESOURCE(trainer);
}

namespace taktovi {

namespace {

std::map<std::string, Form::Maker> trainerKinds() {
  return {
      {"smileys", [](QWidget* p) -> QWidget* { return new SmileyArea(p); }},
      {"smiley",
       [](QWidget* p) -> QWidget* {
         auto* l = new QLabel(p);
         l->setPixmap(QPixmap::fromImage(smileyImage()));
         return l;
       }},
  };
}

QString helpText(const char* resource, const std::vector<std::pair<int, const char*>>& changed = {}) {
  QStringList lines = resourceText(resource).split('\n');
  for (const auto& [line, text] : changed) lines[line - 1] = QString::fromUtf8(text);
  return lines.join('\n');
}

}  // namespace

TrainerWindow::TrainerWindow(const WindowPlan& plan, TrainerDeps deps, PlaybackHooks hooks)
    : plan_(plan),
      deps_(std::move(deps)),
      placer_(designScreenWidth(deps_.screen) / 800.0),
      design_(new QWidget(this)),
      form_(design_, menuBar(), placer_, trainerKinds()),
      sound_({plan.sound, deps_.midi, deps_.mixers, deps_.clock, deps_.executableDir, this}),
      player_(deps_.clock, deps_.pump, sound_, paneelit_, asetukset_, std::move(hooks)),
      errors_(deps_.errors, player_),
      events_(deps_.clock) {
  registerTrainerResources();
  setObjectName("Form1");
  setWindowTitle(plan.caption);
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setFocusPolicy(Qt::StrongFocus);  // the window holds the keyboard focus at start
  setFont(placer_.font());
  auto* client = new QWidget(this);
  client->setObjectName("client");
  setCentralWidget(client);
  design_->setParent(client);
  design_->setObjectName("design");
  const QSize size = placer_.rect({QPoint(), plan.design}).size();
  design_->setGeometry(std::max(0, (deps_.screen.width() - size.width()) / 2), 0, size.width(),
                       size.height());
  menuBar()->setObjectName("MainMenu1");
  menuBar()->setFont(font());
  taktovi::setBackground(menuBar(), colours::silver);  // its own colour, not the window's
  form_.build(resourceText(plan.form));
  template_ = form_.widget(plan.rectangleTemplate);
  smileys_ = form_.get<SmileyArea>(plan.smileyBox);
  points_ = form_.get<QLineEdit>(plan.pointsField);
  percent_ = form_.get<QLineEdit>(plan.percentField);
  buildPool();
  buildHelp();
  soundPanel_ =
      new SoundPanel(form_.widget(plan.soundPanel.panel), sound_, errors_, plan.soundPanel, deps_.audio);
  connectShared();
  errors_.setParentWindow(this);
  qApp->installEventFilter(this);
}

TrainerWindow::~TrainerWindow() {
  qApp->removeEventFilter(this);
}

void TrainerWindow::buildPool() {
  for (const auto& [parent, count] : plan_.pool) {
    QWidget* box = std::string(parent) == "-" ? design_ : form_.widget(parent);
    for (int i = 0; i < count; ++i) {
      auto* r = new Tomapaneli(box);
      r->setObjectName(QString("paneelit%1").arg(paneelit_.size() + 1));
      r->setColour(plan_.rectangleColour);
      placer_.place(r, {10, 10, 51, 21});
      r->hide();
      r->lower();  // beneath the panels that open over the pattern area
      paneelit_.add(r);
    }
  }
}

void TrainerWindow::buildHelp() {
  for (size_t i = 0; i < memos_.size(); ++i) memos_[i] = form_.get<QPlainTextEdit>(plan_.helpMemos[i]);
  memos_[0]->setPlainText(helpText(":/texts/yleisohje.txt"));
  memos_[1]->setPlainText(helpText(":/texts/asetukset.txt", plan_.memo3Lines));
  memos_[2]->setPlainText(helpText(plan_.memo4));
}

void TrainerWindow::connectShared() {
  ErrorDisplay& e = errors_;
  auto onAction = [this, &e](const char* name, auto handler) {
    connect(form_.action(name), &QAction::triggered, this, guarded(e, handler));
  };
  for (int i = 0; i < 4; ++i)
    form_.get<ClickPanel>(plan_.swatches[i])->onClick = guarded(e, [this, i] { swatchClick(i); });
  connect(form_.get<QScrollBar>(plan_.tempoBar), &QScrollBar::valueChanged, this,
          guarded<int>(e, [this](int v) { asetukset_.tempo(v); }));
  connect(form_.get<QScrollBar>(plan_.shareBar), &QScrollBar::valueChanged, this,
          guarded<int>(e, [this](int v) {
            asetukset_.share(v);
            player_.catchUp();  // a melody playing ends its tones with the new share
            preview();
          }));
  for (size_t i = 0; i < memos_.size(); ++i) onAction(plan_.helpItems[i], [this, i] { showHelp(memos_[i]); });
  connect(form_.get<QPushButton>(plan_.helpOk), &QPushButton::clicked, this, [this] { hideHelp(); });
  connect(form_.get<QPushButton>(plan_.aboutOk), &QPushButton::clicked, this,
          [this] { hidePanel(form_.widget(plan_.aboutPanel)); });
  onAction(plan_.soundItem, [this] { soundPanel_->hae_midilaitteet(); });
  onAction(plan_.resetItem, [this] { ALOITAALUSTA1Click(); });
  onAction(plan_.exitItem, [this] { exitProgram(); });
  onAction(plan_.switchItem, [this] { switchProgram(); });
  QMenu* instruments = form_.menu(plan_.instrumentMenu);
  for (const Instrument& in : kInstruments) {
    QAction* a = instruments->addAction(QString::fromUtf8(in.caption));
    a->setObjectName(in.item);
    connect(a, &QAction::triggered, this, guarded(e, [this, &in] {
              sound_.selectInstrument(in);
              player_.catchUp();  // a melody playing goes on with the new instrument
            }));
  }
}

void TrainerWindow::swatchClick(int scheme) {
  if (player_.soi()) return;
  colours_ = colourSchemes()[static_cast<size_t>(scheme)];
  setBackground(colours_.taustavari);
}

void TrainerWindow::showHelp(QPlainTextEdit* memo) {
  QWidget* panel = form_.widget(plan_.helpPanel);
  panel->show();
  memo->show();
  if (plan_.raiseHelp) panel->raise();
}

void TrainerWindow::hideHelp() {
  hidePanel(form_.widget(plan_.helpPanel));
  for (QPlainTextEdit* m : memos_) m->hide();
}

// A panel that closes with the focus inside gives it back to the window, which then takes the
// keys again.
void TrainerWindow::hidePanel(QWidget* panel) {
  if (panel->isAncestorOf(QApplication::focusWidget())) setFocus();
  panel->hide();
}

void TrainerWindow::exitProgram() {
  player_.stop();
  sound_.sulje_midi();
  close();
  sound_.PoistaDirectsound();
}

void TrainerWindow::switchProgram() {
  // The wait for the other program to come up may take seconds: no tone sounds on meanwhile.
  player_.silence();
  // A program that does not come up would leave the user with none at all: stay open, unless
  // this one was ended meanwhile (a termination signal).
  if (!deps_.starter.start(plan_.sibling)) {
    if (!isVisible()) return;
    errors_.show(std::string(plan_.siblingTitle) + " KANN NICHT GESTARTET WERDEN.\r\rDAS PROGRAMM \"" +
                 deps_.starter.location(plan_.sibling) + "\" FEHLT ODER IST NICHT AUSFÜHRBAR.");
    return;
  }
  player_.stop();
  sound_.sulje_midi();
  close();
}

void TrainerWindow::nollaa_peli() {
  smileys_->reset();
  score_ = {};
  points_->setText(" ");
  percent_->setText(" ");
}

void TrainerWindow::palauta_ruutu() {
  hideRectangles(paneelit_, colours_.suorakaidevari);
  setBackground(colours_.taustavari);
}

void TrainerWindow::showScore() {
  points_->setText(pointsText(score_));
  if (score_.yritykset > 0) percent_->setText(percentText(score_));
}

void TrainerWindow::setBackground(const QColor& c) {
  taktovi::setBackground(centralWidget(), c);
  taktovi::setBackground(this, c);
}

QColor TrainerWindow::background() const {
  return backgroundOf(centralWidget());
}

bool TrainerWindow::blockFor(uint32_t ms) {
  deps_.pump.blockUntil(deps_.clock.GetTickCount() + ms);
  return player_.soi();
}

void TrainerWindow::finishCreation() {
  resize(deps_.screen);
  setWindowState(Qt::WindowMaximized);
  sound_.finishCreation();
  setFocus();
}

void TrainerWindow::closeEvent(QCloseEvent* event) {
  player_.stop();
  event->accept();
}

// The window takes keys before its controls only while it holds the keyboard focus itself: a
// control with the focus keeps them (the space bar or Enter press a focused button, a text
// field scrolls). Each key is offered once, to the widget it is delivered to.
bool TrainerWindow::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
      events_.observe(static_cast<QInputEvent*>(event)->timestamp());  // every input event carries a time
      break;
    default:
      return false;
  }
  if (event->type() != QEvent::KeyPress) return false;
  QWidget* holder = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : this;
  if (watched != holder || holder->window() != this) return false;
  const auto* key = static_cast<QKeyEvent*>(event);
  bool taken = false;
  guarded(errors_, [&] {
    taken = keyPressed(holder, {key->key(), key->isAutoRepeat(), events_.momentOf(key->timestamp())});
  })();
  return taken;
}

}  // namespace taktovi
