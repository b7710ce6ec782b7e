#include "sound/sound_panel.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "kit/services.h"
#include "kit/widget_kit.h"

static void registerPanelText() {
  Q_INIT_RESOURCE(sound_panel);
}

namespace taktovi {

namespace {
// What keeps a tone of the current mode from being heard; empty when nothing does.
const char* audioNote(const AudioReport& r, const SoundOutput& sound) {
  using enum AudioReport::Soundfont;
  switch (r.soundfont) {
    case Missing:
      return r.output ? kNoSoundfontText : kNoOutputNoSoundfontText;
    case Unusable:
      return r.output ? kUnusableSoundfontText : kNoOutputUnusableSoundfontText;
    case Usable:
      break;
  }
  if (!r.output) return kNoOutputText;
  if (sound.audible()) return "";
  if (!sound.midi_tila()) return kNoSampleText;
  return sound.midi_kahva() == 0 ? kNoMidiDeviceText : kSynthLoadingText;
}

template <typename T>
T* part(QWidget* panel, const char* name) {
  T* w = panel->findChild<T*>(name);
  if (w == nullptr) throw std::runtime_error(std::string("sound panel: no ") + name);
  return w;
}
}  // namespace

SoundPanel::SoundPanel(QWidget* panel, SoundOutput& sound, ErrorDisplay& errors, const SoundPanelNames& names,
                       std::function<AudioReport()> audio)
    : QObject(panel), panel_(panel), sound_(sound), errors_(errors), names_(names), audio_(std::move(audio)) {
  registerPanelText();
  ComboBox1_ = part<QComboBox>(panel, names.list);
  Edit3_ = part<QLineEdit>(panel, names.status);
  note_ = part<QLabel>(panel, names.note);
  QString text = resourceText(":/sound/panel_help.txt");
  if (names.memoTrailingLine) text += '\n';
  part<QPlainTextEdit>(panel, names.memo)->setPlainText(text);

  auto* midi = part<QPushButton>(panel, names.midi);
  auto* wav = part<QPushButton>(panel, names.wav);
  auto* ok = part<QPushButton>(panel, names.ok);
  test_ = part<QPushButton>(panel, names.test);
  connect(midi, &QPushButton::clicked, this, guarded(errors, [this] { midiButtonClick(); }));
  connect(wav, &QPushButton::clicked, this, guarded(errors, [this] { wavButtonClick(); }));
  connect(ok, &QPushButton::clicked, this, [this] { close(); });
  connect(ComboBox1_, &QComboBox::activated, this,
          guarded<int>(errors, [this](int i) { ComboBox1Change(i); }));
  test_->installEventFilter(this);
  noteTimer_ = new QTimer(this);
  noteTimer_->setInterval(500);
  connect(noteTimer_, &QTimer::timeout, this, [this] {
    if (panel_->isVisible())
      showAudioNote();
    else
      noteTimer_->stop();
  });
}

void SoundPanel::hae_midilaitteet() {
  panel_->show();
  if (names_.raiseOnOpen) panel_->raise();
  Edit3_->clear();
  showAudioNote();
  noteTimer_->start();
  laitenumerot_ = sound_.listDevices();
  ComboBox1_->clear();
  for (const auto& d : laitenumerot_) ComboBox1_->addItem(QString::fromStdString(d.name));
  ComboBox1_->setCurrentIndex(-1);
  ComboBox1_->setEditText(QString::fromStdString(sound_.midilaitteen_nimi()));
}

void SoundPanel::showAudioNote() {
  const QString text = QString::fromUtf8(audioNote(audio_ ? audio_() : AudioReport{}, sound_));
  if (note_->text() != text) note_->setText(text);
}

// Closing with the focus inside gives it back to the window.
void SoundPanel::close() {
  if (panel_->isAncestorOf(QApplication::focusWidget())) panel_->window()->setFocus();
  panel_->hide();
  noteTimer_->stop();
}

void SoundPanel::ComboBox1Change(int index) {
  if (index < 0 || static_cast<size_t>(index) >= laitenumerot_.size()) return;  // no entry chosen
  const bool opened = sound_.selectDevice(laitenumerot_[index]);
  Edit3_->setText(QString::fromUtf8(opened ? kSelectionSucceeded : kSelectionFailed));
  showAudioNote();
}

void SoundPanel::midiButtonClick() {
  sound_.midiMode();
  Edit3_->setText(kMidiModeText);
  showAudioNote();
}

void SoundPanel::wavButtonClick() {
  sound_.LuoDirectsound();  // on failure the error display shows why; the status stays
  Edit3_->setText(kWavModeText);
  showAudioNote();
}

// The sound test sounds while any mouse button is held on it: once per press, wherever the
// pointer goes meanwhile.
bool SoundPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched != test_) return false;
  const auto type = event->type();
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
      type != QEvent::MouseButtonDblClick)
    return false;
  const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
  const bool wasHeld = held_ != Qt::NoButton;
  if (type == QEvent::MouseButtonRelease) {
    held_ &= ~button;
    if (wasHeld && held_ == Qt::NoButton) guarded(errors_, [this] { sound_.soundTestRelease(); })();
  } else {
    held_ |= button;
    if (!wasHeld) guarded(errors_, [this] { sound_.soundTestPress(); })();
  }
  return false;
}

}  // namespace taktovi
