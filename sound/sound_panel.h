#pragma once
// The sound settings panel: the MIDI device list, the status field, the MIDI and WAV mode
// buttons, the sound test and "OK", over the sound output of its program.

#include <QFrame>
#include <QRect>
#include <cstdint>
#include <functional>
#include <vector>

#include "sound/sound_output.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace taktovi {

class ErrorDisplay;

// Where the panel's controls are and what they are called in each program (design units).
struct SoundPanelLayout {
  QRect panel;
  QRect memo;
  bool memoBold;         // program 1: the bold window font; program 2: the default font
  bool memoTrailingLine; // program 2 adds an empty line to the help text
  QRect combo;           // height unused
  QRect status;
  const char* midiName;
  QRect midi;
  const char* wavName;
  QRect wav;
  const char* testName;
  QRect test;
  const char* okName;
  QRect ok;
  bool raiseOnOpen;      // program 2 brings the panel to the front
};
const SoundPanelLayout& choiceSoundPanelLayout();
const SoundPanelLayout& timingSoundPanelLayout();

inline constexpr const char* kChoiceSuccess = "Ihre Auswahl war erfolgreich";
inline constexpr const char* kChoiceFailure = "Ihre Auswahl war nicht erfolgreich";
inline constexpr const char* kMidiModeText = "MIDI MODE";
inline constexpr const char* kWavModeText = "WAV MODE";
std::vector<const char*> soundPanelHelpLines(bool trailingEmptyLine);

class SoundPanel : public QFrame {
 public:
  using Scale = std::function<QRect(QRect)>;
  SoundPanel(QWidget* parent, SoundOutput& sound, ErrorDisplay& errors, const SoundPanelLayout& layout,
             const Scale& scale, const QFont& windowFont);

  // Opens the panel and fills the device list.
  void hae_midilaitteet();
  // A list entry was chosen.
  void ComboBox1Change(int index);
  void midiButtonClick();
  void wavButtonClick();
  void testPress();
  void testRelease();
  void okClick() { hide(); }

  // Device ids of the list's entries, parallel to its item indices.
  const std::vector<uint32_t>& laitenumerot() const { return laitenumerot_; }
  QComboBox* ComboBox1 = nullptr;
  QLineEdit* Edit3 = nullptr;
  QPlainTextEdit* Memo2 = nullptr;

 private:
  SoundOutput& sound_;
  const SoundPanelLayout& layout_;
  std::vector<uint32_t> laitenumerot_;
};

}  // namespace taktovi
