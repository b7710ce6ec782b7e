#pragma once
// The choice trainer's window: two answer boxes, the control strip, the menus and the three
// overlays (its form is choice/form1.txt). Handlers are named after their control and event;
// each calls the round's named procedures. The round's state is one struct owned here.

#include <cstdint>

#include "choice/choice_catalogue.h"
#include "trainer/trainer_window.h"

class QPushButton;

namespace taktovi {

inline constexpr const char* kChoiceApplicationTitle = "TAKTOVI1, DEMO";
inline constexpr uint32_t kWaitBeforeMelodyMs = 2000;

// The round's state besides the playback's (soi, kohta and the tone's are the player's).
struct ChoiceRound {
  bool vastattu = true;         // answered: a new start is allowed
  bool korostus = false;        // rectangles light up as their tones start
  bool odottaa_oikeaa = false;  // after a wrong answer: pointing at the right box brightens
  int32_t oikea_puoli = 0;      // 0 upper, 1 lower
  int32_t pari = 0;
  int32_t tehtava_yla = 0, tehtava_ala = 0, tehtava = 0;
};

class ChoiceWindow final : public TrainerWindow {
 public:
  explicit ChoiceWindow(TrainerDeps deps);

 private:
  friend struct ChoiceTestView;

  // --- handlers ---
  void FormKeyDown(int key);
  void BitBtn1Click();
  void GroupBox4Click() { answer(0); }
  void GroupBox5Click() { answer(1); }
  void ALOITAALUSTA1Click() override;
  void preview() override;  // the tone-share bar's example pair, tasks 0 and 1
  bool keyPressed(QWidget* holder, const KeyPress& press) override;

  // --- the round ---
  void arvo_tehtavapari();
  void answer(int side);
  void reagoi_oikeaan();
  void reagoi_vaaraan();
  void rakenna_tehtava();  // the task in h_.tehtava
  void piirra_tehtava(bool ylempi);
  void vilkuta();
  static PlaybackHooks hooks(ChoiceWindow* self);

  ChoiceRound h_;
  ChoiceLadder ladder_;
  QPushButton* BitBtn1_;
};

}  // namespace taktovi
