#pragma once
// What both trainers' windows do alike. A program's window derives from TrainerWindow, names
// its controls in a form description and in a WindowPlan, and adds its round.
//
// Built here, from the plan: the design area scaled to the screen (largest 4:3 area, centred),
// the controls and menus of the form, the rectangle pool, the sound output with its settings
// panel, the help and about panels with the shared help texts, the smiley box, the score
// fields, and the shared handlers: colour swatches (not while a round is in progress), tempo
// and tone-share bars, the help items, SOUND, the instruments, RESET, EXIT, the switch to the
// other program, and closing by the frame. Keys reach the program's keyPressed while the window
// itself, or a control the program names, holds the keyboard focus.

#include <QMainWindow>
#include <array>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kit/event_clock.h"
#include "kit/event_pump.h"
#include "kit/form.h"
#include "kit/services.h"
#include "sound/sound_output.h"
#include "sound/sound_panel.h"
#include "trainer/playback.h"
#include "trainer/score.h"
#include "trainer/settings.h"
#include "trainer/smiley.h"
#include "trainer/tomapaneli.h"

class QLineEdit;
class QPlainTextEdit;

namespace taktovi {

struct TrainerDeps {
  MidiOutService& midi;
  MixerFactory& mixers;
  std::string executableDir;  // where the samples are and the other program is; ends with '/'
  const Clock& clock;
  EventPump& pump;
  ErrorDisplay& errors;
  ProgramStarter& starter;
  RandomDraws& draws;
  QSize screen;                             // the screen the window is laid out for
  std::function<AudioReport()> audio = {};  // what the sound panel reports as missing
};

// A program's window as data: where its form is, and the names of the controls and menu
// entries whose roles both programs share. The shared window finds every control it works
// with by a name given here.
struct WindowPlan {
  const char* caption;
  const char* form;   // resource of the form description
  const char* memo4;  // resource of the program's own help text "BEDIENUNG"
  std::vector<std::pair<int, const char*>>
      memo3Lines;  // lines (from 1) of "EINSTELLUNGEN" it words otherwise
  QSize design;    // the design area
  SoundProfile sound;
  SoundPanelNames soundPanel;
  std::vector<std::pair<const char*, int>> pool;  // rectangles per parent control ("-": the window), in order
  QColor rectangleColour;                         // what the rectangles are created with
  const char* rectangleTemplate;
  const char* sibling;       // the other program's executable
  const char* siblingTitle;  // and its name in messages
  // Menu entries.
  const char* switchItem;
  const char* resetItem;
  const char* exitItem;
  const char* instrumentMenu;
  const char* soundItem;
  std::array<const char*, 3> helpItems;  // "ALLGEMEINE HINWEISE", "EINSTELLUNGEN", "BEDIENUNG"
  // Controls.
  const char* helpPanel;
  std::array<const char*, 3> helpMemos;  // the texts of the three help items
  const char* helpOk;
  bool raiseHelp;  // the help panel comes to the front when opened
  const char* aboutPanel;
  const char* aboutOk;
  std::array<const char*, 4> swatches;
  const char* tempoBar;
  const char* shareBar;
  const char* smileyBox;
  const char* pointsField;
  const char* percentField;
};

// The window's error display: a tone sounding when an error is shown is ended first, so it
// does not sound on for as long as the message is up.
class SilencingErrorDisplay final : public ErrorDisplay {
 public:
  SilencingErrorDisplay(ErrorDisplay& shown, PatternPlayer& player) : shown_(shown), player_(player) {}
  void show(const std::string& message) override {
    player_.silence();
    shown_.show(message);
  }
  void setParentWindow(QWidget* w) override { shown_.setParentWindow(w); }

 private:
  ErrorDisplay& shown_;
  PatternPlayer& player_;
};

class TrainerWindow : public QMainWindow {
 public:
  ~TrainerWindow() override;
  // What the user sees behind the controls.
  QColor background() const;
  // EXIT: the melody ended, the MIDI device closed, the window closed, WAV mode released.
  void exitProgram();

 protected:
  TrainerWindow(const WindowPlan& plan, TrainerDeps deps, PlaybackHooks hooks);

  // The program's own part of the tone-share bar: the preview it shows.
  virtual void preview() = 0;
  // A key for `holder`, the window or the control that holds the keyboard focus; true when the
  // program took it.
  struct KeyPress {
    int key;
    bool autoRepeat;
    int64_t atNs;  // when the key went down, on the clock (kit/event_clock.h)
  };
  virtual bool keyPressed(QWidget* holder, const KeyPress& press) = 0;
  // RESET.
  virtual void ALOITAALUSTA1Click() { nollaa_peli(); }

  void nollaa_peli();
  void palauta_ruutu();
  void piirranaama() { smileys_->piirranaama(); }
  void showScore();
  void setBackground(const QColor& c);
  // A blocking wait (input deferred, painting goes on); false when the window closed meanwhile.
  bool blockFor(uint32_t ms);
  // The window's part of the start-up: maximised on its screen, MIDI mode with the piano.
  void finishCreation();

  const WindowPlan& plan_;
  TrainerDeps deps_;
  Placer placer_;
  QWidget* design_;
  Form form_;
  SoundOutput sound_;
  TempoSettings asetukset_;
  ColourScheme colours_;
  Score score_;
  RectanglePool paneelit_;
  PatternPlayer player_;
  SilencingErrorDisplay errors_;
  SmileyArea* smileys_ = nullptr;
  QWidget* template_ = nullptr;

  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildPool();
  void buildHelp();
  void connectShared();
  void swatchClick(int scheme);
  void showHelp(QPlainTextEdit* memo);
  void hideHelp();
  void hidePanel(QWidget* panel);
  void switchProgram();

  EventClock events_;  // the windowing system's event times on the clock
  QLineEdit* points_ = nullptr;
  QLineEdit* percent_ = nullptr;
  std::array<QPlainTextEdit*, 3> memos_{};  // Memo1, Memo3, Memo4
  SoundPanel* soundPanel_ = nullptr;        // owned by its panel
};

}  // namespace taktovi
