// The choice trainer's window: creation, keys and the tone-share preview.
#include "choice/tform1.h"

#include <QPushButton>

#include "platform/clickable.h"

static void registerChoiceResources() {
  Q_INIT_RESOURCE(choice);
}

namespace taktovi {

namespace {

const WindowPlan& choicePlan() {
  registerChoiceResources();
  static const WindowPlan plan{
      .caption = "TAKTOVI 1, DEMO",
      .form = ":/choice/form1.txt",
      .memo4 = ":/choice/bedienung.txt",
      .memo3Lines = {},
      .design = {809, 600},
      .sound = {.volumeOnChannel1 = false, .allNotesOffInWavMode = false},
      .soundPanel = {"Button9", "Button8", "Button4", "Button5", false, false},
      .pool = {{"GroupBox4", 20}, {"GroupBox5", 12}},
      .rectangleTemplate = "ypi1",
      .sibling = "taktovi2demo",
      .siblingTitle = "TAKTOVI 2",
      .switchItem = "SIIRRYPELIIN21",
      .exitItem = "LOPETA1",
      .soundItem = "MIDINI1",
      .helpPanel = "Panel6",
      .helpOk = "Button3",
      .raiseHelp = false,
      .aboutPanel = "Panel8",
      .aboutOk = "Button6",
      .swatches = {"Panel2", "Panel3", "Panel4", "Panel5"},
      .pointsField = "Edit1",
      .percentField = "Edit2",
  };
  return plan;
}

}  // namespace

TForm1::TForm1(TrainerDeps deps)
    : TrainerWindow(choicePlan(), std::move(deps), hooks(this)), BitBtn1_(form_.get<QPushButton>("BitBtn1")) {
  // 1. The rectangle pool is built with the window: 20 in the upper box, 12 in the lower.
  // 2. The sound output: default device, programs, patches, volumes.
  sound_.startUp();
  // 3.-7. Settings, round, background, score and smileys, colours.
  asetukset_ = TimingSettings{};
  h_ = ChoiceExercise{};
  colours_ = colourSchemes()[0];
  setBackground(colours_.taustavari);
  // 8.-9. The ladder and the window's scaling, both from the same screen width.
  ladder_ = makeChoiceLadder(designScreenWidth(deps_.screen));
  // 10.-12. All rectangles hidden; maximised; MIDI mode with the piano.
  palauta_ruutu();
  finishCreation();

  form_.get<ClickBox>("GroupBox4")->onClick = guarded(errors_, [this] { GroupBox4Click(); });
  form_.get<ClickBox>("GroupBox5")->onClick = guarded(errors_, [this] { GroupBox5Click(); });
  connect(BitBtn1_, &QPushButton::clicked, this, guarded(errors_, [this] { BitBtn1Click(); }));
  form_.widget("Button6")->setFocus();
}

// Built before the window exists; the hooks run only once it does.
PlaybackHooks TForm1::hooks(TForm1* self) {
  PlaybackHooks h;
  h.toneStarted = [self](int, Tomapaneli& r, uint32_t) {
    if (self->h_.korostus) r.setColour(self->colours_.korostusvari);
  };
  h.ended = [self] { self->h_.vastattu = false; };
  return h;
}

void TForm1::preview() {
  palauta_ruutu();
  h_.tehtava = 0;
  rakenna_tehtava();
  piirra_tehtava(true);
  h_.tehtava = 1;
  rakenna_tehtava();
  piirra_tehtava(false);
}

void TForm1::ALOITAALUSTA1Click() {
  nollaa_peli();
  setFocus();
}

void TForm1::FormKeyDown(int key) {
  switch (key) {
    case Qt::Key_Up:
      GroupBox4Click();
      break;
    case Qt::Key_Down:
      GroupBox5Click();
      break;
    case Qt::Key_Right:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      BitBtn1Click();  // even while the button is disabled: the start's own guard decides
      break;
    default:
      break;
  }
}

// Arrows and Enter belong to the window whatever control has the focus; buttons do not take
// them, nor do they move the focus.
bool TForm1::keyPressed(QWidget*, int key, bool) {
  if (key != Qt::Key_Up && key != Qt::Key_Down && key != Qt::Key_Right && key != Qt::Key_Return &&
      key != Qt::Key_Enter)
    return false;
  FormKeyDown(key);
  return true;
}

}  // namespace taktovi
