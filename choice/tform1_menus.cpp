// The choice trainer's menus, settings, overlays and keys.
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>

#include "choice/tform1.h"
#include "sound/sound_panel.h"

namespace taktovi {

void TForm1::buildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("MainMenu1");
  bar->setFont(font());
  setBackground(bar, colours::silver);  // its own colour, not the window's
  auto item = [this](QMenu* menu, const char* name, const char* caption, auto handler) {
    QAction* a = menu->addAction(QString::fromUtf8(caption));
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, guarded(deps_.errors, handler));
    return a;
  };
  QMenu* file = bar->addMenu("DATEI");
  file->setObjectName("TIEDOSTO1");
  item(file, "SIIRRYPELIIN21", "TAKTOVI 2", [this] { SIIRRYPELIIN21Click(); });
  item(file, "ALOITAALUSTA1", "RESET", [this] { ALOITAALUSTA1Click(); });
  item(file, "LOPETA1", "EXIT", [this] { LOPETA1Click(); });

  QMenu* instruments = bar->addMenu(kInstrumentMenuCaption);
  instruments->setObjectName(kInstrumentMenuItem);
  for (const Instrument& in : kInstruments) item(instruments, in.item, in.caption, [this, &in] { instrumentClick(in); });

  QAction* soundMenu = bar->addAction("SOUND");
  soundMenu->setObjectName("MIDINI1");
  connect(soundMenu, &QAction::triggered, this, guarded(deps_.errors, [this] { MIDINI1Click(); }));

  QMenu* help = bar->addMenu("NUTZUNGSHINWEISE");
  help->setObjectName("OHJE1");
  item(help, "YLEISOHJE1", "ALLGEMEINE HINWEISE", [this] { YLEISOHJE1Click(); });
  item(help, "SDT1", "EINSTELLUNGEN", [this] { SDT1Click(); });
  item(help, "PELAAMINEN1", "BEDIENUNG", [this] { PELAAMINEN1Click(); });
  for (QMenu* m : {file, instruments, help}) m->setFont(font());
}

void TForm1::ScrollBar1Change(int position) {
  asetukset.isku = 2000 - position;
  asetukset.puoli_isku = asetukset.isku * 0.5;
}

void TForm1::ScrollBar2Change(int position) {
  asetukset.aanisuhde = position * 0.01;
  // The example pair, at once.
  palauta_ruutu();
  h.tehtava = 0;
  rakenna();
  piirra_tehtava(true);
  h.tehtava = 1;
  rakenna();
  piirra_tehtava(false);
}

void TForm1::PanelClick(int scheme) {
  if (h.soi) return;
  asetukset.colours = colourSchemes()[scheme];
  setWindowBackground(asetukset.colours.taustavari);
}

void TForm1::SIIRRYPELIIN21Click() {
  endMelody();
  sound.sulje_midi();
  close();
  deps_.starter.start(kTimingExecutable);
}

void TForm1::ALOITAALUSTA1Click() {
  nollaa_peli();
  setFocus();
}

void TForm1::LOPETA1Click() {
  endMelody();
  sound.sulje_midi();
  close();
  sound.PoistaDirectsound();
}

void TForm1::YLEISOHJE1Click() {
  Panel6->show();
  Memo1->show();
}

void TForm1::SDT1Click() {
  Panel6->show();
  Memo3->show();
}

void TForm1::PELAAMINEN1Click() {
  Panel6->show();
  Memo4->show();
}

void TForm1::Button3Click() {
  for (QWidget* w : {static_cast<QWidget*>(Panel6), static_cast<QWidget*>(Memo1), static_cast<QWidget*>(Memo3),
                     static_cast<QWidget*>(Memo4)})
    w->hide();
}

void TForm1::Button6Click() { Panel8->hide(); }

void TForm1::MIDINI1Click() { Panel7->hae_midilaitteet(); }

void TForm1::instrumentClick(const Instrument& instrument) { sound.chooseInstrument(instrument); }

void TForm1::FormKeyDown(int key) {
  switch (key) {
    case Qt::Key_Up: GroupBox4Click(); break;
    case Qt::Key_Down: GroupBox5Click(); break;
    case Qt::Key_Right:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      BitBtn1Click();  // even while the button is disabled: the start's own guard decides
      break;
    default: break;
  }
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Paint && !painted_ && watched == centralWidget()) {
    painted_ = true;
    if (onFirstPaint) onFirstPaint();
  }
  if (event->type() != QEvent::KeyPress) return false;
  auto* target = qobject_cast<QWidget*>(watched);
  if (target == nullptr || target->window() != this) return false;
  const int key = static_cast<QKeyEvent*>(event)->key();
  if (key != Qt::Key_Up && key != Qt::Key_Down && key != Qt::Key_Right && key != Qt::Key_Return && key != Qt::Key_Enter)
    return false;
  // Controls that use these keys themselves keep them (text fields, the device list, the
  // menu bar while it is worked by keyboard); buttons do not, nor do the keys move the focus.
  auto usesKeys = [](QObject* w) {
    return qobject_cast<QPlainTextEdit*>(w) != nullptr || qobject_cast<QComboBox*>(w) != nullptr ||
           qobject_cast<QMenuBar*>(w) != nullptr;
  };
  if (usesKeys(target)) return false;
  for (QWidget* w = QApplication::focusWidget(); w != nullptr && w != this; w = w->parentWidget()) {
    if (usesKeys(w)) return false;
  }
  guarded(deps_.errors, [this, key] { FormKeyDown(key); })();
  return true;
}

}  // namespace taktovi
