#pragma once
// The sound settings panel: the MIDI device list, the status field, the MIDI and WAV mode
// buttons, the sound test and "OK", over the sound output of its program. The panel and its
// controls are built by the program's window (they sit at its own places there); this object
// fills the list and handles the controls, acting only through the sound output's operations.

#include <QObject>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/audio_report.h"
#include "sound/sound_output.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QTimer;
class QWidget;

namespace taktovi {

class ErrorDisplay;

// The names of the panel's controls in a program's window, and two details that differ.
struct SoundPanelNames {
  const char* panel;      // the panel itself
  const char* memo;       // the help text
  const char* list;       // the device list
  const char* status;     // the status field
  const char* note;       // what is missing for sound
  const char* midi;       // the MIDI button
  const char* wav;        // the WAV button
  const char* test;       // the sound test
  const char* ok;         // "OK"
  bool raiseOnOpen;       // the panel comes to the front when opened
  bool memoTrailingLine;  // the help text ends with one more empty line
};

inline constexpr const char* kSelectionSucceeded = "Ihre Auswahl war erfolgreich";
inline constexpr const char* kSelectionFailed = "Ihre Auswahl war nicht erfolgreich";
inline constexpr const char* kMidiModeText = "MIDI MODE";
inline constexpr const char* kWavModeText = "WAV MODE";

inline constexpr const char* kNoOutputText = "KEINE AUDIO-AUSGABE GEFUNDEN.";
inline constexpr const char* kNoSoundfontText = "KEIN SOUNDFONT GEFUNDEN.";
inline constexpr const char* kNoOutputNoSoundfontText = "KEINE AUDIO-AUSGABE UND KEIN SOUNDFONT GEFUNDEN.";
inline constexpr const char* kUnusableSoundfontText = "DER SOUNDFONT KANN NICHT BENUTZT WERDEN.";
inline constexpr const char* kNoOutputUnusableSoundfontText =
    "KEINE AUDIO-AUSGABE GEFUNDEN, DER SOUNDFONT KANN NICHT BENUTZT WERDEN.";
inline constexpr const char* kSynthLoadingText = "DER SYNTHESIZER WIRD GELADEN.";
inline constexpr const char* kNoMidiDeviceText = "KEIN MIDI-GERÄT GEÖFFNET.";
inline constexpr const char* kNoSampleText = "KEIN WAV-INSTRUMENT GELADEN.";

class SoundPanel : public QObject {
 public:
  // `panel` holds the controls named in `names`. `audio` tells whether an audio output plays, a usable
  // soundfont was found and the synthesizer has loaded it. Until a tone of the current mode would be heard,
  // the note says what is missing; it is kept current while the panel is open (an output lost or back
  // shows within about half a second).
  SoundPanel(QWidget* panel, SoundOutput& sound, ErrorDisplay& errors, const SoundPanelNames& names,
             std::function<AudioReport()> audio);

  // Opens the panel and fills the device list.
  void hae_midilaitteet();
  // A list entry was chosen.
  void ComboBox1Change(int index);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void close();
  void showAudioNote();
  void midiButtonClick();
  void wavButtonClick();

  QWidget* panel_;
  SoundOutput& sound_;
  ErrorDisplay& errors_;
  const SoundPanelNames& names_;
  QComboBox* ComboBox1_;
  QLineEdit* Edit3_;
  QLabel* note_;
  std::function<AudioReport()> audio_;
  QTimer* noteTimer_;
  QObject* test_;
  std::vector<SoundOutput::Device> laitenumerot_;  // the devices of the list's entries
  Qt::MouseButtons held_;                          // buttons held on the sound test
};

}  // namespace taktovi
