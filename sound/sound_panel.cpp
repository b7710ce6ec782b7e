#include "sound/sound_panel.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "platform/services.h"

namespace taktovi {

namespace {
constexpr const char* kHelpLines[] = {
#include "sound/panel_text.inc"
};
}  // namespace

const SoundPanelLayout& choiceSoundPanelLayout() {
  static const SoundPanelLayout l{{20, 20, 762, 276},  {16, 22, 411, 236}, true,  false, {464, 20, 277, 24},
                                  {465, 56, 276, 24},  "Button9",          {464, 104, 121, 57},
                                  "Button8",           {624, 104, 121, 57}, "Button4", {464, 200, 121, 56},
                                  "Button5",           {624, 200, 121, 56}, false};
  return l;
}

const SoundPanelLayout& timingSoundPanelLayout() {
  static const SoundPanelLayout l{{16, 12, 765, 284},  {16, 14, 420, 256}, false, true, {463, 16, 265, 24},
                                  {463, 174, 266, 24}, "Button8",          {464, 96, 105, 57},
                                  "Button9",           {616, 96, 113, 57}, "Button2", {462, 216, 107, 53},
                                  "Button4",           {616, 216, 115, 52}, true};
  return l;
}

std::vector<const char*> soundPanelHelpLines(bool trailingEmptyLine) {
  std::vector<const char*> lines(std::begin(kHelpLines), std::end(kHelpLines));
  if (trailingEmptyLine) lines.push_back("");
  return lines;
}

SoundPanel::SoundPanel(QWidget* parent, SoundOutput& sound, ErrorDisplay& errors, const SoundPanelLayout& layout,
                       const Scale& scale, const QFont& windowFont)
    : QFrame(parent), sound_(sound), layout_(layout) {
  setObjectName("Panel7");
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  // A grey panel of its own, whatever colour the window behind it takes.
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(192, 192, 192));
  setPalette(pal);
  setAutoFillBackground(true);
  setGeometry(scale(layout.panel));

  Memo2 = new QPlainTextEdit(this);
  Memo2->setObjectName("Memo2");
  Memo2->setReadOnly(true);
  Memo2->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QStringList text;
  for (const char* l : soundPanelHelpLines(layout.memoTrailingLine)) text << QString::fromUtf8(l);
  Memo2->setPlainText(text.join('\n'));
  Memo2->setGeometry(scale(layout.memo));
  QFont memoFont = windowFont;
  memoFont.setBold(layout.memoBold);
  Memo2->setFont(memoFont);

  // The entry field shows the device's name but cannot be typed in: typing would choose,
  // open and close nothing anyway.
  ComboBox1 = new QComboBox(this);
  ComboBox1->setObjectName("ComboBox1");
  ComboBox1->setEditable(true);
  ComboBox1->lineEdit()->setReadOnly(true);
  ComboBox1->setInsertPolicy(QComboBox::NoInsert);
  QRect c = scale(layout.combo);
  ComboBox1->setGeometry(c.x(), c.y(), c.width(), ComboBox1->sizeHint().height());
  ComboBox1->setFont(windowFont);

  Edit3 = new QLineEdit(this);
  Edit3->setObjectName("Edit3");
  Edit3->setReadOnly(true);
  Edit3->setGeometry(scale(layout.status));
  Edit3->setFont(windowFont);

  auto button = [&](const char* name, const char* caption, QRect r) {
    auto* b = new QPushButton(QString::fromUtf8(caption), this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    b->setGeometry(scale(r));
    b->setFont(windowFont);
    return b;
  };
  QPushButton* midi = button(layout.midiName, "MIDI", layout.midi);
  QPushButton* wav = button(layout.wavName, "WAV", layout.wav);
  QPushButton* test = button(layout.testName, "SOUND TEST", layout.test);
  QPushButton* ok = button(layout.okName, "OK", layout.ok);
  connect(midi, &QPushButton::clicked, this, guarded(errors, [this] { midiButtonClick(); }));
  connect(wav, &QPushButton::clicked, this, guarded(errors, [this] { wavButtonClick(); }));
  connect(test, &QPushButton::pressed, this, guarded(errors, [this] { testPress(); }));
  connect(test, &QPushButton::released, this, guarded(errors, [this] { testRelease(); }));
  connect(ok, &QPushButton::clicked, this, [this] { okClick(); });
  connect(ComboBox1, &QComboBox::activated, this, guarded<int>(errors, [this](int i) { ComboBox1Change(i); }));
  hide();
}

void SoundPanel::hae_midilaitteet() {
  show();
  if (layout_.raiseOnOpen) raise();
  Edit3->clear();
  MidiOutService& midi = sound_.midi();
  const uint32_t count = midi.midiOutGetNumDevs();
  ComboBox1->clear();
  ComboBox1->setEditText(QString::fromStdString(sound_.midilaitteen_nimi));
  laitenumerot_.clear();
  laitenumerot_.reserve(count + 1);  // sized to the devices: never written past its end
  for (uint32_t id = 0; id < count; ++id) {
    if (midi.midiOutGetDevCaps(id, sound_.laitetiedot) != MMSYSERR_NOERROR) continue;
    if (sound_.laitetiedot.wTechnology == MOD_MIDIPORT) continue;
    ComboBox1->addItem(QString::fromUtf8(sound_.laitetiedot.szPname));
    laitenumerot_.push_back(id);
  }
  if (midi.midiOutGetDevCaps(MIDI_MAPPER, sound_.laitetiedot) == MMSYSERR_NOERROR) {
    ComboBox1->addItem(QString::fromUtf8(sound_.laitetiedot.szPname));
    laitenumerot_.push_back(MIDI_MAPPER);
  }
  ComboBox1->setCurrentIndex(-1);
  ComboBox1->setEditText(QString::fromStdString(sound_.midilaitteen_nimi));
}

void SoundPanel::ComboBox1Change(int index) {
  if (index < 0 || static_cast<size_t>(index) >= laitenumerot_.size()) return;  // no entry chosen
  MidiOutService& midi = sound_.midi();
  midi.midiOutClose(sound_.midi_kahva);
  sound_.midilaite = laitenumerot_[index];
  sound_.midilaitteen_nimi = ComboBox1->itemText(index).toStdString();
  const bool opened = midi.midiOutOpen(sound_.midi_kahva, sound_.midilaite) == MMSYSERR_NOERROR;
  Edit3->setText(QString::fromUtf8(opened ? kChoiceSuccess : kChoiceFailure));
  midi.midiOutReset(sound_.midi_kahva);
  midi.midiOutSetVolume(sound_.midilaite, kFullVolume);
}

void SoundPanel::midiButtonClick() {
  sound_.midi_tila = true;
  sound_.MaaritaKorkeudet();
  Edit3->setText(kMidiModeText);
}

void SoundPanel::wavButtonClick() {
  sound_.LuoDirectsound();  // on failure the error display shows why; the status stays
  Edit3->setText(kWavModeText);
}

void SoundPanel::testPress() { sound_.soundTestPress(); }
void SoundPanel::testRelease() { sound_.soundTestRelease(); }

}  // namespace taktovi
