// The timing trainer's window: creation, keys and the tone/pause preview.
#include "timing/timing_window.h"

#include <QPushButton>

static void registerTimingResources() {
  Q_INIT_RESOURCE(timing);
}

namespace taktovi {

namespace {

const WindowPlan& timingPlan() {
  registerTimingResources();
  static const WindowPlan plan{
      .caption = "TAKTOVI 2 DEMO",
      .form = ":/timing/form2.txt",
      .memo4 = ":/timing/bedienung.txt",
      .memo3Lines = {{45, "IN TAKTOVI 2 KÖNNEN SIE ZWISCHEN DEM"},
                     {53, "DESHALB KÖNNEN SIE IN TAKTOVI 2 AUCH AUF"}},
      .design = {800, 600},
      .sound = {.volumeOnChannel1 = true, .allNotesOffInWavMode = true},
      .soundPanel = {.panel = "Panel7",
                     .memo = "Memo2",
                     .list = "ComboBox1",
                     .status = "Edit3",
                     .note = "AudioNote",
                     .midi = "Button8",
                     .wav = "Button9",
                     .test = "Button2",
                     .ok = "Button4",
                     .raiseOnOpen = true,
                     .memoTrailingLine = true},
      .pool = {{"-", kTimingPool}},
      .rectangleColour = colours::navy,
      .rectangleTemplate = "pi1",
      .sibling = "taktovi1demo",
      .siblingTitle = "TAKTOVI 1",
      .switchItem = "Sulje1",
      .resetItem = "ALOITAALUSTA1",
      .exitItem = "Sulje2",
      .instrumentMenu = "VALITSESOITIN1",
      .soundItem = "NI1",
      .helpItems = {"YLEISOHJE1", "SDT1", "PELAAMINEN1"},
      .helpPanel = "Panel5",
      .helpMemos = {"Memo1", "Memo3", "Memo4"},
      .helpOk = "Button6",
      .raiseHelp = true,
      .aboutPanel = "Panel6",
      .aboutOk = "Button7",
      .swatches = {"Panel1", "Panel2", "Panel3", "Panel4"},
      .tempoBar = "ScrollBar1",
      .shareBar = "ScrollBar2",
      .smileyBox = "PaintBox1",
      .pointsField = "Edit2",
      .percentField = "Edit1",
  };
  return plan;
}

}  // namespace

TimingWindow::TimingWindow(TrainerDeps deps)
    : TrainerWindow(timingPlan(), std::move(deps), hooks(this)),
      BitBtn1_(form_.get<QPushButton>("BitBtn1")),
      BitBtn2_(form_.get<QPushButton>("BitBtn2")),
      Button3_(form_.get<QPushButton>("Button3")),
      Panel8_(form_.widget("Panel8")) {
  // The creation in its order. The 30 rectangles are already built with the window, on the
  // window itself; then the sound output opens its device and sets programs, patches and
  // volumes (channel 1 too).
  sound_.startUp();
  // A beat of 1000 ms; the tone share starts at 0.6 while its bar shows 55.
  asetukset_ = TempoSettings{};
  asetukset_.aanisuhde = 0.6;
  // The round's state, and the green scheme.
  h_ = TimingRound{};
  colours_ = colourSchemes()[2];
  setBackground(colours_.taustavari);
  // The ladders; then scaled, maximised, MIDI mode with the piano and its pitch table.
  ladder_ = makeTimingLadder(designScreenWidth(deps_.screen));
  finishCreation();

  connect(BitBtn1_, &QPushButton::clicked, this, guarded(errors_, [this] { BitBtn1Click(); }));
  connect(BitBtn2_, &QPushButton::clicked, this, guarded(errors_, [this] { BitBtn2Click(); }));
  BitBtn2_->raise();  // over the start button, the key receiver and the lamp
}

// Built before the window exists; the hooks run only once it does.
PlaybackHooks TimingWindow::hooks(TimingWindow* self) {
  PlaybackHooks h;
  h.toneStarted = [self](const PlayedSlot& slot, const Tomapaneli& r, uint32_t at) {
    self->toneStarted(slot, r, at);
  };
  // A repeat's rectangles light up as their tones are heard.
  h.toneHeard = [self](int, Tomapaneli& r) {
    if (self->h_.uusinta) r.setColour(self->colours_.korostusvari);
  };
  h.toneEnded = [self](const PlayedSlot& slot, uint32_t at) {
    if (slot.last) self->h_.sulkeutuu = self->deps_.clock.nsOfMs(at);
  };
  h.ended = [self] { self->playbackEnded(); };
  h.holdLastSlotMs = kHoldLastSlotMs;
  return h;
}

void TimingWindow::preview() {
  palauta_ruutu();
  h_.tehtava = 0;
  rakenna_tehtava();
  piirra_tehtava();
}

void TimingWindow::FormKeyDown(int key) {
  if (key != Qt::Key_Right && key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Space) return;
  BitBtn2_->setEnabled(false);
  BitBtn1Click();
}

void TimingWindow::BitBtn2Click() {
  BitBtn2_->setEnabled(false);
  BitBtn1Click();
}

// During a round the key receiver holds the focus and takes every key, of which only the space
// bar answers, at the moment the key went down; otherwise, while the window holds the focus,
// arrow right, Enter and the space bar start a round. A key held down answers or starts once:
// its repetitions are no presses.
bool TimingWindow::keyPressed(QWidget* holder, const KeyPress& press) {
  const bool answerKey = holder == Button3_;
  const bool startKey = holder == this && (press.key == Qt::Key_Right || press.key == Qt::Key_Return ||
                                           press.key == Qt::Key_Enter || press.key == Qt::Key_Space);
  if (!answerKey && !startKey) return false;
  if (press.autoRepeat) return true;
  if (answerKey) {
    Button3KeyDown(press.key, press.atNs);
  } else {
    FormKeyDown(press.key);
  }
  return true;
}

}  // namespace taktovi
