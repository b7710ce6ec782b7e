// The timing trainer's window: creation, keys and the tone/pause preview.
#include "timing/tform1.h"

#include <QPushButton>

static void registerTimingResources() { Q_INIT_RESOURCE(timing); }

namespace taktovi {

namespace {

const WindowPlan& timingPlan() {
  registerTimingResources();
  static const WindowPlan plan{
      .caption = "TAKTOVI 2 DEMO",
      .form = ":/timing/form2.txt",
      .memo4 = ":/timing/bedienung.txt",
      .memo3Lines = {{45, "IN TAKTOVI 2 KÖNNEN SIE ZWISCHEN DEM"}, {53, "DESHALB KÖNNEN SIE IN TAKTOVI 2 AUCH AUF"}},
      .design = {800, 600},
      .sound = {.volumeOnChannel1 = true, .allNotesOffInWavMode = true},
      .soundPanel = {"Button8", "Button9", "Button2", "Button4", true, true},
      .pool = {{"-", kTimingPool}},
      .rectangleTemplate = "pi1",
      .sibling = "taktovi1demo",
      .siblingTitle = "TAKTOVI 1",
      .switchItem = "Sulje1",
      .exitItem = "Sulje2",
      .soundItem = "NI1",
      .helpPanel = "Panel5",
      .helpOk = "Button6",
      .raiseHelp = true,
      .aboutPanel = "Panel6",
      .aboutOk = "Button7",
      .swatches = {"Panel1", "Panel2", "Panel3", "Panel4"},
      .pointsField = "Edit2",
      .percentField = "Edit1",
  };
  return plan;
}

}  // namespace

TForm1::TForm1(TrainerDeps deps)
    : TrainerWindow(timingPlan(), std::move(deps), hooks(this)),
      BitBtn1_(form_.get<QPushButton>("BitBtn1")),
      BitBtn2_(form_.get<QPushButton>("BitBtn2")),
      Button3_(form_.get<QPushButton>("Button3")),
      Panel8_(form_.widget("Panel8")) {
  // 1. The 30 rectangles are built with the window, on the window itself.
  // 2. The sound output: default device, programs, patches, volumes (channel 1 too).
  sound_.startUp();
  // 3.-4. A beat of 1000 ms; the tone share starts at 0.6 while its bar shows 55.
  asetukset_ = TimingSettings{};
  asetukset_.aanisuhde = 0.6;
  // 5.-6. The round, and the green scheme.
  h_ = TimingRound{};
  colours_ = colourSchemes()[2];
  setBackground(colours_.taustavari);
  // 7. The ladders; 9.-11. scaled, maximised, MIDI mode with the piano and its pitch table.
  ladder_ = makeTimingLadder(designScreenWidth(deps_.screen));
  finishCreation();

  connect(BitBtn1_, &QPushButton::clicked, this, guarded(errors_, [this] { BitBtn1Click(); }));
  connect(BitBtn2_, &QPushButton::clicked, this, guarded(errors_, [this] { BitBtn2Click(); }));
  BitBtn2_->raise();  // over the start button, the key receiver and the lamp
  setFocusPolicy(Qt::StrongFocus);
  setFocus();
}

// Built before the window exists; the hooks run only once it does.
PlaybackHooks TForm1::hooks(TForm1* self) {
  PlaybackHooks h;
  h.toneStarted = [self](int slot, Tomapaneli& r, uint32_t now) { self->toneStarted(slot, r, now); };
  h.toneEnded = [self](int slot, uint32_t now) {
    if (slot >= self->paneelit_.size() || self->paneelit_[slot + 1]->vasen == 0) self->h_.sulkeutuu = now;
  };
  h.ended = [self] { self->playbackEnded(); };
  h.holdLastSlotMs = kHoldLastSlotMs;
  return h;
}

void TForm1::preview() {
  palauta_ruutu();
  h_.tehtava = 0;
  rakenna_tehtava();
  piirra_tehtava();
}

void TForm1::FormKeyDown(int key) {
  if (key != Qt::Key_Right && key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Space) return;
  BitBtn2_->setEnabled(false);
  BitBtn1Click();
}

void TForm1::BitBtn2Click() {
  BitBtn2_->setEnabled(false);
  BitBtn1Click();
}

// During a round the key receiver has the focus and only its space bar answers; otherwise
// arrow right, Enter and the space bar start a round, whatever control holds the focus. A key
// held down answers or starts once: its repetitions are no presses.
bool TForm1::keyPressed(QWidget* target, int key, bool autoRepeat) {
  const bool answerKey = target == Button3_;
  const bool startKey = key == Qt::Key_Right || key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
  if (!answerKey && !startKey) return false;
  if (autoRepeat) return true;
  if (answerKey) {
    Button3KeyDown(key);
  } else {
    FormKeyDown(key);
  }
  return true;
}

}  // namespace taktovi
