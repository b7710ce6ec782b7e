#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include "support/timing_view.h"
#include "trainer/smiley.h"

using namespace taktovi;
using namespace taktovi::test;

namespace {

// Task 0, "1 1 1", at the start tempo: a round started at 0 waits until 3000; the slots start
// at 3000, 4001 and 5002 (each "strictly later than" its 1000 ms); tones sound 600 ms.
constexpr double kSlot2 = 4001, kSlot3 = 5002;

struct Round {
  Round() {
    rig.form->show();
    rig.form->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(rig.form.get()));
  }
  // A round of task `task` started by `key` at `ms`.
  void startAt(double ms, int task = 0, int key = Qt::Key_Space) {
    rig.draws.values.push_back(task);
    typeAt(rig, ms, key);
  }
  void spaceAt(double ms) { typeAt(rig, ms, Qt::Key_Space); }
  QString points() { return rig.get<QLineEdit>("Edit2")->text(); }
  QString percent() { return rig.get<QLineEdit>("Edit1")->text(); }
  size_t smileys() { return rig.get<SmileyArea>("PaintBox1")->smileys().size(); }

  TimingRig rig;
  TimingTestView v = view(rig);
};

}  // namespace

TEST(TimingRound, PressAt710MsIntoTheSecondToLastSlotIsRight) {
  Round r;
  r.startAt(0);
  r.rig.pump.observe(1000, [&] {
    // Showing: the pattern drawn, the lamp grey, nothing plays, the arrow disabled.
    EXPECT_FALSE(r.rig.slot(1)->isHidden());
    EXPECT_TRUE(r.rig.tones().empty());
    EXPECT_NE(backgroundOf(r.rig.get("Panel8")), colours::lime);
    EXPECT_FALSE(r.rig.get("BitBtn2")->isEnabled());
  });
  r.rig.pump.observe(3500, [&] { EXPECT_EQ(QApplication::focusWidget(), r.rig.get("Button3")); });
  r.spaceAt(kSlot2 + 710);
  r.rig.pump.observe(kSlot2 + 720, [&] {
    EXPECT_EQ(r.rig.form->background(), colours::lime);  // at the moment of the press
    EXPECT_EQ(r.smileys(), 1u);
    EXPECT_EQ(r.points(), "");  // the fields change only after the playback
  });
  r.rig.pump.runUntil(9000);
  const auto t = r.rig.tones();
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[1].on, kSlot2);
  EXPECT_EQ(t[2].on, kSlot3);
  EXPECT_EQ(t[2].off - t[2].on, 601);
  EXPECT_EQ(r.points(), "  1");
  EXPECT_EQ(r.percent(), "100 %");
  // Ready again: lamp lime, key receiver disabled, the window has the focus, the arrow enabled.
  EXPECT_EQ(backgroundOf(r.rig.get("Panel8")), colours::lime);
  EXPECT_FALSE(r.rig.get("Button3")->isEnabled());
  EXPECT_TRUE(r.rig.get("BitBtn2")->isEnabled());
  EXPECT_EQ(QApplication::focusWidget(), r.rig.form.get());
  EXPECT_FALSE(r.v.round().uusinta);
  EXPECT_EQ(r.rig.draws.asked, std::vector<int>{56});
}

TEST(TimingRound, PressAt690MsIsWrongAndTheTaskIsRepeatedWithHighlighting) {
  Round s;
  s.startAt(0);
  s.spaceAt(kSlot2 + 690);
  s.rig.pump.runUntil(9000);
  EXPECT_EQ(s.rig.form->background(), colours::green);
  EXPECT_EQ(s.smileys(), 0u);
  EXPECT_EQ(s.points(), "  0");
  EXPECT_EQ(s.percent(), "0 %");
  // The repeat: the same task, no new draw, each rectangle lights up as its tone starts.
  s.startAt(10000, 33);
  s.rig.pump.observe(13500, [&] {
    EXPECT_EQ(s.rig.slot(1)->colour(), colours::yellow);
    EXPECT_EQ(s.rig.slot(2)->colour(), colours::navy);
  });
  s.rig.pump.runUntil(19000);
  EXPECT_EQ(s.rig.draws.asked.size(), 1u);
  EXPECT_EQ(s.rig.tones(10000).size(), 3u);
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(s.rig.slot(i)->colour(), colours::yellow) << i;
  // A repeat changes no count, whatever its answer; the next round draws anew.
  EXPECT_EQ(s.points(), "  0");
  EXPECT_EQ(s.percent(), "0 %");
  EXPECT_FALSE(s.v.round().uusinta);
}

TEST(TimingRound, PressesInTheFirstSlotAreIgnoredAndLateOnesWrong) {
  Round r;
  r.startAt(0);
  r.spaceAt(3500);  // the first slot: ignored, the answer is not used up
  r.spaceAt(kSlot2 + 720);
  r.rig.pump.runUntil(9000);
  EXPECT_EQ(r.points(), "  1");

  // After the last tone stopped, while the playback still runs.
  Round late;
  late.startAt(0);
  late.spaceAt(kSlot3 + 601);
  late.rig.pump.observe(kSlot3 + 650, [&] { EXPECT_TRUE(late.v.playback().soi); });
  late.rig.pump.runUntil(9000);
  EXPECT_EQ(late.points(), "  0");
  EXPECT_TRUE(late.v.round().uusinta);
  // The last moment the tone sounds is still inside.
  Round edge;
  edge.startAt(0);
  edge.spaceAt(kSlot3 + 600);
  edge.rig.pump.runUntil(9000);
  EXPECT_EQ(edge.points(), "  1");
}

TEST(TimingRound, TwoSlotPatternOpensInTheFirstSlotButCountsFromTheSecond) {
  Round r;
  r.startAt(0);
  r.rig.pump.observe(1000, [&] { r.rig.slot(3)->vasen = 0; });  // task 0 cut to two slots
  r.spaceAt(3800);  // the window is open (70 % of slot 1) but slot 2 has not begun: ignored
  r.spaceAt(kSlot2 + 100);
  r.rig.pump.runUntil(8000);
  EXPECT_EQ(r.rig.tones().size(), 2u);
  EXPECT_EQ(r.points(), "  1");
  // Playback ends at the later of the last slot's end and 2000 ms after its start.
  const auto& calls = r.rig.midi.calls;
  EXPECT_EQ(calls.back().b, kAllNotesOff);
  EXPECT_EQ(backgroundOf(r.rig.get("Panel8")), colours::lime);
}

TEST(TimingRound, PlaybackEndsTwoSecondsAfterTheLastStart) {
  Round r;
  r.startAt(0);
  r.spaceAt(kSlot3 + 1500);  // a press handled during the hold does not end the playback early
  r.rig.pump.observe(kSlot3 + 2000, [&] { EXPECT_TRUE(r.v.playback().soi); });
  r.rig.pump.observe(kSlot3 + 2002, [&] { EXPECT_FALSE(r.v.playback().soi); });
  r.rig.pump.runUntil(9000);
  // At the fastest tempo the last slot ends sooner still: the 2000 ms hold.
  Round fast;
  fast.rig.get<QScrollBar>("ScrollBar1")->setValue(1800);
  fast.startAt(0);
  fast.rig.pump.runUntil(9000);
  const auto t = fast.rig.tones();
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[2].on, 3000 + 2 * 201);
  EXPECT_EQ(t[2].off - t[2].on, 121);
}

TEST(TimingRound, RightAnswerInTheRepeatBrightensOnly) {
  Round r;
  r.v.score() = {1, 7};
  r.startAt(0);
  r.rig.pump.runUntil(9000);       // no press: wrong
  EXPECT_EQ(r.percent(), "12 %");  // 1 of 8, halves to even
  r.startAt(10000);
  r.spaceAt(10000 + kSlot2 + 710);
  r.rig.pump.observe(10000 + kSlot2 + 720, [&] { EXPECT_EQ(r.rig.form->background(), colours::lime); });
  r.rig.pump.runUntil(19000);
  EXPECT_EQ(r.smileys(), 0u);
  EXPECT_EQ(r.points(), "  1");
  EXPECT_EQ(r.percent(), "12 %");  // rewritten with the same value
}

TEST(TimingRound, ResetWithARepeatPending) {
  Round r;
  r.startAt(0);
  r.rig.pump.runUntil(9000);
  EXPECT_EQ(r.points(), "  0");
  r.rig.action("ALOITAALUSTA1")->trigger();
  EXPECT_EQ(r.points(), " ");
  EXPECT_EQ(r.percent(), " ");
  r.startAt(10000);
  r.rig.pump.runUntil(19000);
  EXPECT_EQ(r.rig.tones(10000).size(), 3u);  // the repeat still follows
  EXPECT_EQ(r.v.score().oikeat, 0);
  EXPECT_EQ(r.v.score().yritykset, 0);
  EXPECT_EQ(r.points(), "  0");
  EXPECT_EQ(r.percent(), " ");  // as RESET left it
}

TEST(TimingRound, ToneShareBarDuringAPendingRepeatRepeatsTask0) {
  Round r;
  r.startAt(0, 36);  // 1 2 3 4 1 2 3 4
  r.rig.pump.runUntil(16000);
  ASSERT_TRUE(r.v.round().uusinta);
  r.rig.get<QScrollBar>("ScrollBar2")->setValue(70);
  r.startAt(17000);
  r.rig.pump.runUntil(27000);
  const auto t = r.rig.tones(17000);
  ASSERT_EQ(t.size(), 3u);  // task 0's three tones
  EXPECT_EQ(t[0].word, 0x00733290u);
  EXPECT_EQ(t[0].off - t[0].on, 701);
}

TEST(TimingRound, TimeLimitEndsTheRoundAsThePlaybacksEndWould) {
  Round r;
  r.v.settings().tempo(-4000);  // a beat of 6000 ms, beyond the bar's range
  r.startAt(0, 1);              // 4 4 4 4: 24 s
  r.rig.pump.runUntil(30000);
  const auto t = r.rig.tones();
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[3].off, 3000 + 20001);  // the sounding tone is ended at the limit
  EXPECT_FALSE(r.v.playback().soi);
  EXPECT_EQ(backgroundOf(r.rig.get("Panel8")), colours::lime);
  EXPECT_TRUE(r.rig.get("BitBtn2")->isEnabled());
  EXPECT_TRUE(r.v.round().uusinta);  // judged as no press
  EXPECT_EQ(r.points(), "  0");
}

TEST(TimingRound, StartKeysAndTheHeldSpaceBar) {
  // Enter and arrow right start as the space bar does, also with the about panel up; during a
  // round no start key starts another.
  for (int key : {Qt::Key_Return, Qt::Key_Right}) {
    Round r;
    ASSERT_FALSE(r.rig.get("Panel6")->isHidden());
    r.startAt(0, 0, key);
    typeAt(r.rig, 500, Qt::Key_Space);  // in the wait: deferred, then an answer in slot 1
    typeAt(r.rig, 3500, Qt::Key_Return);
    r.rig.pump.runUntil(9000);
    EXPECT_EQ(r.rig.draws.asked.size(), 1u) << key;
    EXPECT_EQ(r.rig.tones().size(), 3u) << key;
  }
  // The green arrow starts a round too.
  Round arrow;
  arrow.rig.draws.values.push_back(0);
  arrow.rig.clickAt(0, arrow.rig.get("BitBtn2"));
  arrow.rig.pump.runUntil(9000);
  EXPECT_EQ(arrow.rig.tones().size(), 3u);
  // A held space bar: its repetitions are no presses, neither in the first slot nor later.
  Round held;
  held.startAt(0);
  for (double ms = 3500; ms < kSlot3 + 500; ms += 33) {
    held.rig.pump.input(ms, [&] {
      QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ", true);
      QCoreApplication::sendEvent(QApplication::focusWidget(), &repeat);
    });
  }
  held.rig.pump.runUntil(9000);
  EXPECT_EQ(held.smileys(), 0u);
  EXPECT_TRUE(held.v.round().uusinta);
  EXPECT_EQ(held.rig.draws.asked.size(), 1u);
  // A button with the focus keeps the space bar: it presses the sound panel's MIDI button.
  Round panel;
  panel.rig.action("NI1")->trigger();
  panel.rig.get("Button8")->setFocus();
  typeAt(panel.rig, 0, Qt::Key_Space);
  panel.rig.pump.runUntil(5000);
  EXPECT_TRUE(panel.rig.tones().empty());
  EXPECT_EQ(panel.rig.get<QLineEdit>("Edit3")->text(), "MIDI MODE");
}

TEST(TimingRound, PressesAreJudgedAgainstTheTonesAsHeard) {
  // Tones are heard 40 ms after they are started: the window opens and closes 40 ms later too.
  for (const auto& [press, right] : std::vector<std::pair<double, bool>>{
           {kSlot2 + 730, false}, {kSlot2 + 742, true}, {kSlot3 + 640, true}, {kSlot3 + 641, false}}) {
    Round r;
    r.rig.midi.latencyNs = 40'000'000;
    r.startAt(0);
    r.spaceAt(press);
    r.rig.pump.runUntil(9000);
    EXPECT_EQ(r.points(), right ? "  1" : "  0") << press;
  }
  // A press heard before the second slot is no answer: a right one may follow.
  Round r;
  r.rig.midi.latencyNs = 40'000'000;
  r.startAt(0);
  r.spaceAt(kSlot2 + 20);
  r.spaceAt(kSlot2 + 760);
  r.rig.pump.runUntil(9000);
  EXPECT_EQ(r.points(), "  1");
}

TEST(TimingRound, ColourSwatchIgnoredDuringARound) {
  Round r;
  r.startAt(0);
  r.rig.clickAt(3500, r.rig.get("Panel1"));
  r.rig.pump.runUntil(9000);
  EXPECT_EQ(r.rig.form->background(), colours::green);
  QTest::mouseClick(r.rig.get("Panel4"), Qt::LeftButton);
  EXPECT_EQ(r.rig.form->background(), colours::orange);
}

TEST(TimingRound, SwitchToTheChoiceTrainerAndWhenItIsMissing) {
  Round r;
  r.rig.starter.succeed = false;
  r.rig.action("Sulje1")->trigger();
  EXPECT_EQ(r.rig.starter.started, std::vector<std::string>{"taktovi1demo"});
  ASSERT_EQ(r.rig.errors.shown.size(), 1u);
  EXPECT_NE(r.rig.errors.shown[0].find("TAKTOVI 1 KANN NICHT GESTARTET WERDEN"), std::string::npos);
  EXPECT_NE(r.rig.errors.shown[0].find("/opt/fake/taktovi1demo"), std::string::npos);
  EXPECT_TRUE(r.rig.form->isVisible());  // still open, the device too
  EXPECT_NE(r.rig.midi.calls.back().op, "close");
  r.rig.starter.succeed = true;
  r.startAt(0);
  r.rig.pump.input(4100, [&] { r.rig.action("Sulje1")->trigger(); });
  r.rig.pump.runUntil(9000);
  EXPECT_FALSE(r.rig.form->isVisible());
  EXPECT_EQ(r.rig.midi.calls.back().op, "close");
  const auto t = r.rig.tones();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[1].off, 4100);  // the melody ended before the device closed
}

TEST(TimingRound, AnswerWindowEdgesToTheMillisecond) {
  struct Press {
    int task;
    double share;  // 0: the start value
    double at;     // clock ms; the round starts at 0, its melody at 3000
    bool right;
  };
  const Press presses[] = {
      {0, 0, kSlot2 + 700, false},   {0, 0, kSlot2 + 701, true},      // 70 % of a beat
      {7, 0, 4502 + 350, false},     {7, 0, 4502 + 351, true},        // of a half beat
      {0, 0.55, kSlot3 + 550, true}, {0, 0.55, kSlot3 + 551, false},  // the last tone's end
      {0, 0, kSlot3 + 600, true},    {0, 0, kSlot3 + 601, false},     // at the start share
      {-1, 0, kSlot2, true},         {-1, 0, kSlot2 - 1, false},      // slot 2's first ms
  };
  for (const Press& p : presses) {
    Round r;
    if (p.share > 0) r.v.settings().aanisuhde = p.share;
    r.startAt(0, std::max(p.task, 0));
    if (p.task < 0) r.rig.pump.observe(1000, [&] { r.rig.slot(3)->vasen = 0; });  // task 0 cut to two slots
    r.spaceAt(p.at);
    r.rig.pump.runUntil(9000);
    EXPECT_EQ(r.points(), p.right ? "  1" : "  0") << p.task << " at " << p.at;
  }
}

TEST(TimingRound, APressCountsAtTheMomentTheKeyWentDownOnTheEventsOwnClock) {
  // Pressed inside the window, handled only after it closed: judged by the key's own time, on
  // the clock the windowing system stamps its events with (ours, 5 s behind or 3 s ahead), as
  // earlier events showed it. Events handled late by a busy stretch do not move our own clock; a
  // press that carries no time counts when it is handled.
  struct Press {
    int64_t eventClockMs;  // the events' clock against ours
    double historyLagMs;   // how late the earlier events were handled
    bool stamped;
    double handled;
    bool right;
  };
  const Press presses[] = {{0, 0, true, kSlot3 + 700, true},       {-5000, 0, true, kSlot3 + 700, true},
                           {3000, 0, true, kSlot3 + 700, true},    {0, 950, true, kSlot3 + 700, true},
                           {-5000, 0, false, kSlot3 + 700, false}, {-5000, 0, false, kSlot2 + 720, true}};
  const double pressed = kSlot2 + 710;
  auto stamp = [](const Press& p, double at) { return static_cast<uint64_t>(10000 + at + p.eventClockMs); };
  for (const Press& p : presses) {
    Round r;
    for (double at = -4000; at < 0; at += 500) {  // before the round: the mouse moved
      r.rig.pump.input(10000 + at + p.historyLagMs, [&, at] {
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        move.setTimestamp(stamp(p, at));
        QCoreApplication::sendEvent(r.rig.form.get(), &move);
      });
    }
    r.rig.pump.runUntil(10000);
    r.startAt(10000);
    r.rig.pump.input(10000 + p.handled, [&] {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
      press.setTimestamp(p.stamped ? stamp(p, pressed) : 0);
      QCoreApplication::sendEvent(QApplication::focusWidget(), &press);
    });
    r.rig.pump.runUntil(19000);
    EXPECT_EQ(r.points(), p.right ? "  1" : "  0")
        << p.eventClockMs << " " << p.historyLagMs << " " << p.handled;
  }
}
