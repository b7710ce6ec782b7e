#pragma once
// The choice trainer's window: two answer boxes, the control strip, the menus and the three
// overlays. Handlers are named after their control and event; each calls the exercise's
// named procedures. All state lives here, one instance per program.

#include <QMainWindow>
#include <QSize>
#include <array>
#include <memory>

#include "choice/catalogue.h"
#include "choice/clickable.h"
#include "choice/layout.h"
#include "choice/smiley.h"
#include "choice/tomapaneli.h"
#include "platform/event_pump.h"
#include "platform/services.h"
#include "sound/sound_output.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;
class QLabel;

namespace taktovi {

class SoundPanel;

inline constexpr const char* kChoiceApplicationTitle = "TAKTOVI1, DEMO";
inline constexpr const char* kChoiceCaption = "TAKTOVI 1, DEMO";
inline constexpr const char* kTimingExecutable = "taktovi2demo";

struct ChoiceDeps {
  SoundDeps sound;
  const Clock& clock;
  EventPump& pump;
  ErrorDisplay& errors;
  ProgramStarter& starter;
  Chooser& chooser;
  QSize screen;  // the screen the window is laid out for
};

// The exercise state.
struct ChoiceExercise {
  bool soi = false;             // a melody plays
  bool vastattu = true;         // answered: a new start is allowed
  bool korostus = false;        // rectangles light up as their tones start
  bool odottaa_oikeaa = false;  // after a wrong answer: pointing at the right box brightens
  int32_t oikea_puoli = 0;      // 0 upper, 1 lower
  int32_t kohta = 0;            // the rectangle whose slot is current
  bool savel_alkanut = false;
  bool savel_soi = false;
  uint32_t savelen_alku = 0;
  int32_t kulunut = 0;
  int32_t pari = 0;
  int32_t tehtava_yla = 0, tehtava_ala = 0, tehtava = 0;
  int32_t oikeat = 0, yritykset = 0;
};

struct ChoiceSettings {
  double isku = 1000;
  double puoli_isku = 500;
  double aanisuhde = 0.55;
  ColourScheme colours = colourSchemes()[0];
};

inline constexpr uint32_t kMelodyLimitMs = 20000;
inline constexpr uint32_t kWaitBeforeMelodyMs = 2000;

class TForm1 : public QMainWindow {
 public:
  explicit TForm1(ChoiceDeps deps);
  ~TForm1() override;

  // --- handlers ---
  void FormKeyDown(int key);
  void BitBtn1Click();
  void GroupBox4Click() { answer(0); }
  void GroupBox5Click() { answer(1); }
  void ScrollBar1Change(int position);
  void ScrollBar2Change(int position);
  void PanelClick(int scheme);  // Panel2Click ... Panel5Click
  void SIIRRYPELIIN21Click();
  void ALOITAALUSTA1Click();
  void LOPETA1Click();
  void YLEISOHJE1Click();
  void SDT1Click();
  void PELAAMINEN1Click();
  void Button3Click();
  void Button6Click();
  void MIDINI1Click();
  void instrumentClick(const Instrument& instrument);  // PIANO1Click ... KOTO1Click

  // --- procedures ---
  void arvo_tehtavapari();
  void mskello(uint32_t alku);
  void soita_tehtava();
  void reagoi_oikeaan();
  void reagoi_vaaraan();
  void nollaa_peli();
  void rakenna();  // rakenna_tehtava for the task in `h.tehtava`
  void piirra_tehtava(bool ylempi);
  void palauta_ruutu();
  void vilkuta();
  void piirranaama();

  // --- state ---
  SoundOutput sound;
  ChoiceExercise h;
  ChoiceSettings asetukset;
  ChoiceLadder ladder;
  SmileyGrid grid;
  std::array<Tomapaneli*, kChoicePool + 1> paneelit{};  // 1-32

  // --- controls ---
  QWidget* design = nullptr;  // the 800-pixel design, scaled, inside the window
  ClickBox* GroupBox4 = nullptr;
  ClickBox* GroupBox5 = nullptr;
  QFrame* ypi1 = nullptr;
  QFrame* Panel1 = nullptr;
  QScrollBar* ScrollBar1 = nullptr;
  QScrollBar* ScrollBar2 = nullptr;
  SmileyArea* PaintBox1 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QPushButton* BitBtn1 = nullptr;
  QFrame* Panel6 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QPlainTextEdit* Memo3 = nullptr;
  QPlainTextEdit* Memo4 = nullptr;
  SoundPanel* Panel7 = nullptr;
  QFrame* Panel8 = nullptr;
  QPushButton* Button6 = nullptr;

  const Placer& placer() const { return placer_; }
  QColor background() const;
  // Called once, when the window is first painted (start-up measurements).
  std::function<void()> onFirstPaint;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildControls();
  void buildControlStrip();
  void buildOverlays();
  void buildMenus();
  void answer(int side);
  void showScore();
  void setWindowBackground(const QColor& c);
  uint32_t nextDecision(uint32_t alku) const;
  void endMelody();  // the melody stops: the loop is left and the tone ended
  void walkPattern(int side, const std::function<void(Tomapaneli*)>& f);

  ChoiceDeps deps_;
  Placer placer_;
  bool painted_ = false;
};

}  // namespace taktovi
