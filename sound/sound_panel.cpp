#include "sound/sound_panel.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>

#include "platform/services.h"
#include "platform/widget_kit.h"

static void registerPanelText() {
  Q_INIT_RESOURCE(sound_panel);
}

namespace taktovi {

namespace {
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
  ComboBox1_ = part<QComboBox>(panel, "ComboBox1");
  Edit3_ = part<QLineEdit>(panel, "Edit3");
  note_ = part<QLabel>(panel, "AudioNote");
  QString text = resourceText(":/sound/panel_help.txt");
  if (names.memoTrailingLine) text += '\n';
  part<QPlainTextEdit>(panel, "Memo2")->setPlainText(text);

  auto* midi = part<QPushButton>(panel, names.midi);
  auto* wav = part<QPushButton>(panel, names.wav);
  auto* ok = part<QPushButton>(panel, names.ok);
  test_ = part<QPushButton>(panel, names.test);
  connect(midi, &QPushButton::clicked, this, guarded(errors, [this] { midiButtonClick(); }));
  connect(wav, &QPushButton::clicked, this, guarded(errors, [this] { wavButtonClick(); }));
  connect(ok, &QPushButton::clicked, this, [this] { panel_->hide(); });
  connect(ComboBox1_, &QComboBox::activated, this,
          guarded<int>(errors, [this](int i) { ComboBox1Change(i); }));
  test_->installEventFilter(this);
}

void SoundPanel::hae_midilaitteet() {
  panel_->show();
  if (names_.raiseOnOpen) panel_->raise();
  Edit3_->clear();
  const AudioReport r = audio_ ? audio_() : AudioReport{};
  note_->setText(!r.output && !r.soundfont ? kNoOutputNoSoundfontText
                 : !r.output               ? kNoOutputText
                 : !r.soundfont            ? kNoSoundfontText
                                           : "");
  laitenumerot_ = sound_.listDevices();
  ComboBox1_->clear();
  for (const auto& d : laitenumerot_) ComboBox1_->addItem(QString::fromStdString(d.name));
  ComboBox1_->setCurrentIndex(-1);
  ComboBox1_->setEditText(QString::fromStdString(sound_.midilaitteen_nimi()));
}

void SoundPanel::ComboBox1Change(int index) {
  if (index < 0 || static_cast<size_t>(index) >= laitenumerot_.size()) return;  // no entry chosen
  const bool opened = sound_.chooseDevice(laitenumerot_[index]);
  Edit3_->setText(QString::fromUtf8(opened ? kChoiceSuccess : kChoiceFailure));
}

void SoundPanel::midiButtonClick() {
  sound_.midiMode();
  Edit3_->setText(kMidiModeText);
}

void SoundPanel::wavButtonClick() {
  sound_.LuoDirectsound();  // on failure the error display shows why; the status stays
  Edit3_->setText(kWavModeText);
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
