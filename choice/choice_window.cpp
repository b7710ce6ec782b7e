// The choice trainer's window: creation, keys and the tone-share preview.
#include "choice/choice_window.h"

#include <QPushButton>

#include "kit/clickable.h"

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
      .soundPanel = {.panel = "Panel7",
                     .memo = "Memo2",
                     .list = "ComboBox1",
                     .status = "Edit3",
                     .note = "AudioNote",
                     .midi = "Button9",
                     .wav = "Button8",
                     .test = "Button4",
                     .ok = "Button5",
                     .raiseOnOpen = false,
                     .memoTrailingLine = false},
      .pool = {{"GroupBox4", kLowerFirstSlot - 1}, {"GroupBox5", kChoicePool - kLowerFirstSlot + 1}},
      .rectangleColour = colours::yellow,
      .rectangleTemplate = "ypi1",
      .sibling = "taktovi2demo",
      .siblingTitle = "TAKTOVI 2",
      .switchItem = "SIIRRYPELIIN21",
      .resetItem = "ALOITAALUSTA1",
      .exitItem = "LOPETA1",
      .instrumentMenu = "VALITSESOITIN1",
      .soundItem = "MIDINI1",
      .helpItems = {"YLEISOHJE1", "SDT1", "PELAAMINEN1"},
      .helpPanel = "Panel6",
      .helpMemos = {"Memo1", "Memo3", "Memo4"},
      .helpOk = "Button3",
      .raiseHelp = false,
      .aboutPanel = "Panel8",
      .aboutOk = "Button6",
      .swatches = {"Panel2", "Panel3", "Panel4", "Panel5"},
      .tempoBar = "ScrollBar1",
      .shareBar = "ScrollBar2",
      .smileyBox = "PaintBox1",
      .pointsField = "Edit1",
      .percentField = "Edit2",
  };
  return plan;
}

}  // namespace

ChoiceWindow::ChoiceWindow(TrainerDeps deps)
    : TrainerWindow(choicePlan(), std::move(deps), hooks(this)), BitBtn1_(form_.get<QPushButton>("BitBtn1")) {
  // The creation in its order. The rectangle pool (20 in the upper box, 12 in the lower) is
  // already built with the window; then the sound output opens its device and sets programs,
  // patches and volumes.
  sound_.startUp();
  // Tempo and tone share, the round's state, the navy scheme and its background.
  asetukset_ = TempoSettings{};
  h_ = ChoiceRound{};
  colours_ = colourSchemes()[0];
  setBackground(colours_.taustavari);
  // The ladder, from the same screen width the window is scaled to.
  ladder_ = makeChoiceLadder(designScreenWidth(deps_.screen));
  // Every rectangle hidden; maximised; MIDI mode with the piano.
  palauta_ruutu();
  finishCreation();

  form_.get<ClickBox>("GroupBox4")->onClick = guarded(errors_, [this] { GroupBox4Click(); });
  form_.get<ClickBox>("GroupBox5")->onClick = guarded(errors_, [this] { GroupBox5Click(); });
  connect(BitBtn1_, &QPushButton::clicked, this, guarded(errors_, [this] { BitBtn1Click(); }));
}

// Built before the window exists; the hooks run only once it does.
PlaybackHooks ChoiceWindow::hooks(ChoiceWindow* self) {
  PlaybackHooks h;
  // A replay's rectangles light up as their tones are heard.
  h.toneHeard = [self](int, Tomapaneli& r) {
    if (self->h_.korostus) r.setColour(self->colours_.korostusvari);
  };
  h.ended = [self] { self->h_.vastattu = false; };
  return h;
}

void ChoiceWindow::preview() {
  palauta_ruutu();
  h_.tehtava = 0;
  rakenna_tehtava();
  piirra_tehtava(true);
  h_.tehtava = 1;
  rakenna_tehtava();
  piirra_tehtava(false);
}

void ChoiceWindow::ALOITAALUSTA1Click() {
  nollaa_peli();
  setFocus();
}

void ChoiceWindow::FormKeyDown(int key) {
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

// Arrows and Enter, while the window holds the focus.
bool ChoiceWindow::keyPressed(QWidget* holder, const KeyPress& press) {
  const int key = press.key;
  if (holder != this) return false;
  if (key != Qt::Key_Up && key != Qt::Key_Down && key != Qt::Key_Right && key != Qt::Key_Return &&
      key != Qt::Key_Enter)
    return false;
  FormKeyDown(key);
  return true;
}

}  // namespace taktovi
