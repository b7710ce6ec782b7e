#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>

#include "kit/quit_signals.h"
#include "support/choice_view.h"
#include "trainer/smiley.h"

using namespace taktovi;
using namespace taktovi::test;

namespace {

// The ms clock decides "strictly later than": a tone of 550 ms ends in the 551st ms.
constexpr double kStrict = 1;

// Schedules the start key at `ms`, with the pair and side the draws will give.
void startAt(ChoiceRig& rig, double ms, int pair, int side, int key = Qt::Key_Right) {
  rig.draws.values.push_back(pair);
  rig.draws.values.push_back(side);
  rig.keyAt(ms, key);
}

}  // namespace

TEST(ChoiceRound, CorrectAnswerBrightensCountsAndDrawsASmiley) {
  ChoiceRig rig;
  ChoiceWindow& f = *rig.form;
  ChoiceTestView v = view(rig);
  startAt(rig, 1000, 3, 0);  // pair 3: "2 2h 2h 2" above, played
  rig.pump.observe(2500, [&] {
    // During the 2000 ms wait the pair is shown and nothing plays yet.
    EXPECT_TRUE(v.playback().soi);
    EXPECT_FALSE(rig.get<QPushButton>("BitBtn1")->isEnabled());
    EXPECT_FALSE(rig.slot(1)->isHidden());
    EXPECT_FALSE(rig.slot(21)->isHidden());
    EXPECT_TRUE(rig.tones().empty());
  });
  rig.pump.runUntil(9000);
  EXPECT_EQ(rig.draws.asked, (std::vector<int>{28, 2}));
  EXPECT_FALSE(v.playback().soi);
  EXPECT_FALSE(v.round().vastattu);
  const auto t = rig.tones();
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[0].on, 3000);                                      // 2000 ms after the start
  for (const Tone& tone : t) EXPECT_EQ(tone.word, 0x00733490u);  // level 2: note 52
  // 550 of 1000 ms, 275 of 500 ms: each slot timed from its own tone's start.
  EXPECT_EQ(t[0].off - t[0].on, 550 + kStrict);
  EXPECT_EQ(t[1].on - t[0].on, 1000 + kStrict);
  EXPECT_EQ(t[1].off - t[1].on, 275 + kStrict);
  EXPECT_EQ(t[2].on - t[1].on, 500 + kStrict);
  EXPECT_EQ(t[3].on - t[2].on, 500 + kStrict);
  EXPECT_EQ(t[3].off - t[3].on, 550 + kStrict);

  rig.clickAt(9500, rig.get("GroupBox4"));
  rig.pump.runUntil(10000);
  EXPECT_EQ(f.background(), colours::blue);
  EXPECT_EQ(rig.get<SmileyArea>("PaintBox1")->smileys().size(), 1u);
  EXPECT_EQ(rig.get<QLineEdit>("Edit1")->text(), "  1");
  EXPECT_EQ(rig.get<QLineEdit>("Edit2")->text(), "100 %");
  EXPECT_TRUE(v.round().vastattu);
  EXPECT_TRUE(rig.get<QPushButton>("BitBtn1")->isEnabled());
  // The next start restores the background.
  startAt(rig, 11000, 0, 1);
  rig.pump.observe(11500, [&] { EXPECT_EQ(f.background(), colours::navy); });
  rig.pump.runUntil(18000);
  EXPECT_EQ(rig.tones(11000).size(), 4u);  // task 1: "1 1 1 1"
}

TEST(ChoiceRound, WrongAnswerBlinksReplaysHighlightedAndWaitsForTheRightBox) {
  ChoiceRig rig;
  ChoiceWindow& f = *rig.form;
  ChoiceTestView v = view(rig);
  startAt(rig, 0, 0, 1);  // pair 0, the lower "1 1 1 1" is played
  rig.pump.runUntil(8000);
  ASSERT_EQ(rig.tones().size(), 4u);
  rig.clickAt(8000, rig.get("GroupBox4"));  // wrong
  rig.pump.observe(8100, [&] {
    EXPECT_EQ(rig.get<QLineEdit>("Edit1")->text(), "  0");
    EXPECT_EQ(rig.get<QLineEdit>("Edit2")->text(), "0 %");
    EXPECT_FALSE(rig.slot(21)->isHidden());
  });
  rig.pump.observe(8700, [&] { EXPECT_TRUE(rig.slot(21)->isHidden()); });   // hidden after 500 ms
  rig.pump.observe(9200, [&] { EXPECT_FALSE(rig.slot(21)->isHidden()); });  // shown after 1000 ms
  rig.pump.observe(10500, [&] {
    // The replay started at 10000: the first rectangle lit up, the second not yet.
    EXPECT_EQ(rig.slot(21)->colour(), colours::yellow);
    EXPECT_EQ(rig.slot(22)->colour(), colours::lime);
    EXPECT_EQ(rig.slot(1)->colour(), colours::lime);
  });
  // Input during the blink is handled afterwards, while the replay plays: ignored.
  rig.clickAt(8800, rig.get("GroupBox5"));
  rig.pump.runUntil(16000);
  const auto replay = rig.tones(8000);
  ASSERT_EQ(replay.size(), 4u);
  EXPECT_EQ(replay[0].on, 10000);
  for (int i = 21; i <= 24; ++i) EXPECT_EQ(rig.slot(i)->colour(), colours::yellow) << i;
  EXPECT_EQ(v.score().yritykset, 1);
  EXPECT_TRUE(v.round().odottaa_oikeaa);
  EXPECT_TRUE(v.round().vastattu);
  EXPECT_EQ(f.background(), colours::navy);
  EXPECT_TRUE(rig.get<SmileyArea>("PaintBox1")->smileys().empty());
  // A further wrong click does nothing; the right box only brightens, no count changes.
  rig.clickAt(16100, rig.get("GroupBox4"));
  rig.pump.runUntil(16200);
  EXPECT_EQ(f.background(), colours::navy);
  EXPECT_EQ(v.score().yritykset, 1);
  rig.clickAt(16300, rig.get("GroupBox5"));
  rig.pump.runUntil(16400);
  EXPECT_EQ(f.background(), colours::blue);
  EXPECT_EQ(v.score().yritykset, 1);
  EXPECT_EQ(v.score().oikeat, 0);
  EXPECT_FALSE(v.round().odottaa_oikeaa);
}

TEST(ChoiceRound, StartsAndAnswersAreIgnoredWhilePlayingOrUnanswered) {
  ChoiceRig rig;
  ChoiceWindow& f = *rig.form;
  ChoiceTestView v = view(rig);
  startAt(rig, 0, 0, 0);
  rig.pump.input(2500, [&] { QTest::keyClick(&f, Qt::Key_Return); });  // during the wait: deferred
  rig.pump.input(3500, [&] { QTest::keyClick(&f, Qt::Key_Right); });   // while playing
  rig.clickAt(3600, rig.get("GroupBox4"));                             // an answer while playing
  rig.pump.runUntil(7000);
  rig.pump.input(7000, [&] { QTest::keyClick(&f, Qt::Key_Enter); });  // awaiting the answer
  rig.pump.runUntil(8000);
  EXPECT_EQ(rig.draws.asked.size(), 2u);  // one pair draw, one side draw: one exercise
  EXPECT_EQ(rig.tones().size(), 3u);
  EXPECT_EQ(v.score().yritykset, 0);
  EXPECT_FALSE(v.round().vastattu);
}

TEST(ChoiceRound, KeysReachTheWindowWhileItHoldsTheFocus) {
  ChoiceRig rig;
  ChoiceWindow& f = *rig.form;
  ChoiceTestView v = view(rig);
  f.show();
  f.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  EXPECT_EQ(QApplication::focusWidget(), &f);  // the window holds the focus at start
  rig.draws.values = {0, 1};
  rig.pump.input(0, [&] { QTest::keyClick(&f, Qt::Key_Right); });
  rig.pump.runUntil(8000);
  EXPECT_EQ(rig.tones().size(), 4u);
  // Arrow down answers (lower is right).
  rig.pump.input(8000, [&] { QTest::keyClick(&f, Qt::Key_Down); });
  rig.pump.runUntil(8100);
  EXPECT_EQ(v.score().oikeat, 1);
  // A button with the focus keeps the keys: Enter presses the sound panel's MIDI button, and
  // starts nothing; its "OK" closes the panel and gives the focus back to the window.
  rig.action("MIDINI1")->trigger();
  rig.get("Button9")->setFocus();
  QTest::keyClick(rig.get("Button9"), Qt::Key_Enter);
  EXPECT_EQ(rig.get<QLineEdit>("Edit3")->text(), "MIDI MODE");
  QTest::keyClick(rig.get("Button9"), Qt::Key_Right);  // moves the focus, answers nothing
  EXPECT_EQ(rig.draws.asked.size(), 2u);
  QTest::mouseClick(rig.get("Button5"), Qt::LeftButton);
  EXPECT_EQ(QApplication::focusWidget(), &f);
  // Enter starts even while the start button is disabled: the start's own guard decides.
  rig.get<QPushButton>("BitBtn1")->setEnabled(false);
  rig.draws.values = {1, 0};
  rig.pump.input(9000, [&] { QTest::keyClick(&f, Qt::Key_Enter); });
  rig.pump.runUntil(30000);
  EXPECT_EQ(rig.tones(9000).size(), 7u);  // task 2: six tones and a rest
  rig.pump.input(30000, [&] { QTest::keyClick(&f, Qt::Key_Up); });
  rig.pump.runUntil(30100);
  EXPECT_EQ(v.score().oikeat, 2);
  EXPECT_EQ(rig.get<QLineEdit>("Edit2")->text(), "100 %");
}

TEST(ChoiceRound, AClickOnARectangleCountsForItsBox) {
  ChoiceRig rig;
  ChoiceWindow& f = *rig.form;
  ChoiceTestView v = view(rig);
  f.show();
  startAt(rig, 0, 0, 0);
  rig.pump.runUntil(7000);
  // A real click on the screen position of the first upper rectangle.
  Tomapaneli* r = rig.slot(1);
  ASSERT_FALSE(r->isHidden());
  const QPoint at = r->mapTo(&f, r->rect().center());
  rig.pump.input(7000, [&] { QTest::mouseClick(f.windowHandle(), Qt::LeftButton, {}, at); });
  rig.pump.runUntil(7100);
  EXPECT_EQ(v.score().oikeat, 1);
}

TEST(ChoiceRound, ResetInTheMiddleCountsTheNextAnswerAsTheFirst) {
  ChoiceRig rig;
  ChoiceTestView v = view(rig);
  v.score().oikeat = 3;
  v.score().yritykset = 8;
  startAt(rig, 0, 0, 0);
  rig.pump.input(3200, [&] { rig.action("ALOITAALUSTA1")->trigger(); });
  rig.pump.observe(3300, [&] {
    EXPECT_EQ(rig.get<QLineEdit>("Edit1")->text(), " ");
    EXPECT_EQ(rig.get<QLineEdit>("Edit2")->text(), " ");
    EXPECT_TRUE(v.playback().soi);  // the exercise goes on
  });
  rig.pump.runUntil(7000);
  EXPECT_EQ(rig.tones().size(), 3u);
  rig.clickAt(7000, rig.get("GroupBox5"));  // wrong
  rig.pump.runUntil(14000);
  EXPECT_EQ(rig.get<QLineEdit>("Edit1")->text(), "  0");
  EXPECT_EQ(rig.get<QLineEdit>("Edit2")->text(), "0 %");
}

TEST(ChoiceRound, PercentRoundsHalvesToEven) {
  ChoiceRig rig;
  ChoiceTestView v = view(rig);
  const struct {
    int right, tries;
    const char* shown;
  } cases[] = {{1, 8, "12 %"}, {3, 8, "38 %"},   {2, 3, "67 %"},
               {5, 8, "62 %"}, {23, 40, "58 %"}, {109, 200, "54 %"}};
  for (const auto& c : cases) {
    v.score().oikeat = c.right - 1;
    v.score().yritykset = c.tries - 1;
    v.reagoi_oikeaan();
    EXPECT_EQ(rig.get<QLineEdit>("Edit2")->text(), c.shown) << c.right << "/" << c.tries;
  }
}

TEST(ChoiceRound, TempoChangeDuringAMelodyWaitsForTheNextBuild) {
  ChoiceRig rig;
  ChoiceTestView v = view(rig);
  startAt(rig, 0, 0, 1);  // "1 1 1 1" below; the melody starts at 2000
  rig.pump.input(2500, [&] { rig.get<QScrollBar>("ScrollBar1")->setValue(200); });
  rig.pump.runUntil(8000);
  const auto t = rig.tones();
  ASSERT_EQ(t.size(), 4u);
  for (int i = 1; i < 4; ++i) EXPECT_EQ(t[i].on - t[i - 1].on, 1000 + kStrict);  // slots keep the built tempo
  EXPECT_EQ(v.settings().isku, 1800);
  rig.clickAt(8000, rig.get("GroupBox5"));
  startAt(rig, 9000, 0, 1);
  rig.pump.runUntil(30000);
  const auto next = rig.tones(9000);
  ASSERT_EQ(next.size(), 4u);
  EXPECT_EQ(next[1].on - next[0].on, 1800 + kStrict);
  EXPECT_EQ(next[0].off - next[0].on, 990 + kStrict);
}

TEST(ChoiceRound, ToneShareChangeDuringAMelodyRebuildsThePreviewPair) {
  ChoiceRig rig;
  ChoiceTestView v = view(rig);
  startAt(rig, 0, 0, 1);
  rig.pump.input(3700,
                 [&] { rig.get<QScrollBar>("ScrollBar2")->setValue(80); });  // in the second slot's pause
  rig.pump.observe(3800, [&] {
    EXPECT_FALSE(rig.slot(1)->isHidden());  // tasks 0 and 1 shown, 51 wide at 0.80
    EXPECT_EQ(rig.slot(21)->width(), 51);
  });
  rig.pump.runUntil(9000);
  const auto t = rig.tones();
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[1].off - t[1].on, 550 + kStrict);
  EXPECT_EQ(t[2].off - t[2].on, 800 + kStrict);  // the melody goes on over the new contents
  EXPECT_EQ(t[3].off - t[3].on, 800 + kStrict);
  EXPECT_FALSE(v.playback().soi);
}

TEST(ChoiceRound, ColourSwatchIgnoredWhilePlayingAndRectanglesRecolourAtTheNextStart) {
  ChoiceRig rig;
  ChoiceWindow& f = *rig.form;
  QWidget* swatch = rig.get("Panel4");
  startAt(rig, 0, 0, 0);
  rig.clickAt(3500, swatch);
  rig.pump.runUntil(7000);
  EXPECT_EQ(f.background(), colours::navy);
  rig.clickAt(7000, swatch);
  rig.pump.runUntil(7100);
  EXPECT_EQ(f.background(), colours::green);
  EXPECT_EQ(rig.slot(1)->colour(), colours::lime);  // only at the next reset of the display
  rig.clickAt(7200, rig.get("GroupBox4"));
  startAt(rig, 8000, 0, 0);
  rig.pump.runUntil(8500);
  EXPECT_EQ(rig.slot(1)->colour(), colours::navy);
  EXPECT_EQ(f.background(), colours::green);
}

TEST(ChoiceRound, TheTimeLimitEndsAMelodyAsItsEndWould) {
  ChoiceRig rig;
  ChoiceTestView v = view(rig);
  v.settings().isku = 3000;  // 9 beats of 3000 ms: longer than the limit
  v.settings().puoli_isku = 1500;
  startAt(rig, 0, 13, 0);  // task 26: "5 4 5 5 R 5 5 4 5"
  rig.pump.runUntil(40000);
  EXPECT_FALSE(v.playback().soi);
  EXPECT_FALSE(v.round().vastattu);
  const auto t = rig.tones();
  ASSERT_FALSE(t.empty());
  EXPECT_LE(t.back().on, 2000 + 20001);
  EXPECT_GT(t.back().off, 0);  // the last tone was ended
  EXPECT_LE(t.back().off, 2000 + 20002);
  rig.clickAt(40000, rig.get("GroupBox4"));
  rig.pump.runUntil(40100);
  EXPECT_EQ(v.score().oikeat, 1);  // answers are taken again
}

TEST(ChoiceRound, ExitDuringAMelodyEndsItBeforeTheDevicesClose) {
  ChoiceRig rig;
  ChoiceWindow& f = *rig.form;
  ChoiceTestView v = view(rig);
  f.show();
  rig.dir.write("piano.wav", pcmWave(pcm16(std::vector<int16_t>(100, 9))));
  v.sound().LuoDirectsound();
  v.sound().midiMode();  // MIDI plays; the mixer objects exist
  startAt(rig, 0, 0, 0);
  rig.pump.input(3200, [&] { rig.action("LOPETA1")->trigger(); });
  rig.pump.runUntil(10000);
  EXPECT_FALSE(f.isVisible());
  const auto& calls = rig.midi.calls;
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls.back().op, "close");
  EXPECT_EQ(calls[calls.size() - 2].b, kAllNotesOff);  // the tone ended first
  EXPECT_EQ(rig.tones().size(), 2u);                   // the melody went no further
  EXPECT_EQ(rig.mixer.log.calls.back(), "release mixer");
  EXPECT_FALSE(v.sound().hasMixer());
}

TEST(ChoiceRound, WhatStopsOrChangesAMelodyLeavesNothingHandedOverSoundingAfterIt) {
  // The melody is handed over whole at its start. At 3200 ms, in its second tone: EXIT, the
  // switch and closing the window end it; a change of sound mode, instrument or device goes on
  // with the rest of it in the new way. Nothing handed over before the moment sounds after it, and
  // no MIDI tone is left without its end. RESET leaves the melody alone.
  struct Case {
    const char* what;
    std::function<void(ChoiceRig&)> act;
    bool goesOn;
  };
  const Case cases[] = {
      {"EXIT", [](ChoiceRig& r) { r.action("LOPETA1")->trigger(); }, false},
      {"switch", [](ChoiceRig& r) { r.action("SIIRRYPELIIN21")->trigger(); }, false},
      {"close", [](ChoiceRig& r) { r.form->close(); }, false},
      {"WAV mode", [](ChoiceRig& r) { r.get<QPushButton>("Button8")->click(); }, true},
      {"instrument", [](ChoiceRig& r) { r.action("MARIMBA1")->trigger(); }, true},
      {"device", [](ChoiceRig& r) { emit r.get<QComboBox>("ComboBox1")->activated(0); }, true},
      {"RESET", [](ChoiceRig& r) { r.action("ALOITAALUSTA1")->trigger(); }, true},
  };
  constexpr double kAt = 3200;
  for (const Case& c : cases) {
    ChoiceRig rig;
    rig.form->show();
    rig.dir.write("piano.wav", pcmWave(pcm16(std::vector<int16_t>(100, 9))));
    rig.action("MIDINI1")->trigger();
    startAt(rig, 0, 0, 0);  // pair 0: four tones from 2000 ms on
    rig.pump.input(kAt, [&] { c.act(rig); });
    rig.pump.runUntil(10000);
    double lastOn = -1, lastOff = -1;
    int handedAfter = 0;  // handed over before the moment, for after it
    for (const MidiCall& m : rig.midi.calls) {
      if (m.op != "msg") continue;
      handedAfter += m.atMs > kAt && m.timeMs < kAt;
      if ((m.b & 0xF0) == 0x90) lastOn = std::max(lastOn, m.atMs);
      if (m.b == kAllNotesOff) lastOff = std::max(lastOff, m.atMs);
    }
    EXPECT_GT(lastOff, lastOn) << c.what << ": a tone left sounding";
    const bool reset = std::string(c.what) == "RESET";
    EXPECT_EQ(handedAfter > 0, reset) << c.what;  // RESET: the rest of the melody as handed over
    const bool wentOn = lastOn > kAt || rig.mixer.log.count("pos 0") > 0;
    EXPECT_EQ(wentOn, c.goesOn) << c.what;
  }
}

TEST(ChoiceRound, ClosingTheWindowDuringAMelodyEndsTheTone) {
  ChoiceRig rig;
  ChoiceWindow& f = *rig.form;
  ChoiceTestView v = view(rig);
  f.show();
  startAt(rig, 0, 0, 0);
  rig.pump.input(2200, [&] { f.close(); });
  rig.pump.runUntil(10000);
  EXPECT_FALSE(f.isVisible());
  EXPECT_FALSE(v.playback().soi);
  const auto t = rig.tones();
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0].off, 2200);                     // ended at once, not at its 550 ms
  EXPECT_NE(rig.midi.calls.back().op, "close");  // the frame's close leaves the device to the system
}

TEST(ChoiceRound, SwitchToTheTimingTrainer) {
  ChoiceRig rig;
  ChoiceWindow& f = *rig.form;
  ChoiceTestView v = view(rig);
  f.show();
  startAt(rig, 0, 0, 0);
  rig.pump.input(4100, [&] { rig.action("SIIRRYPELIIN21")->trigger(); });
  rig.pump.runUntil(10000);
  EXPECT_EQ(rig.starter.started, std::vector<std::string>{"taktovi2demo"});
  EXPECT_FALSE(f.isVisible());
  EXPECT_EQ(rig.midi.calls.back().op, "close");
  // Where program 2 is missing, this one stays open and says so.
  ChoiceRig alone;
  alone.form->show();
  alone.starter.succeed = false;
  alone.action("SIIRRYPELIIN21")->trigger();
  ASSERT_EQ(alone.errors.shown.size(), 1u);
  EXPECT_EQ(alone.errors.shown[0],
            "TAKTOVI 2 KANN NICHT GESTARTET WERDEN.\r\rDAS PROGRAMM \"/opt/fake/taktovi2demo\" FEHLT ODER "
            "IST NICHT "
            "AUSFÜHRBAR.");
  EXPECT_TRUE(alone.form->isVisible());
  EXPECT_NE(alone.midi.calls.back().op, "close");
  EXPECT_FALSE(v.playback().soi);
}

TEST(ChoiceRound, InstrumentMenuInMidiAndWavMode) {
  ChoiceRig rig;
  ChoiceTestView v = view(rig);
  rig.action("ELEKTRONINEN11")->trigger();
  EXPECT_EQ(rig.midi.messages().back(), 0x007F58C0u);  // program 88
  // In WAV mode a missing sample reaches the error display; the mode stays.
  rig.dir.write("solosynth.wav", pcmWave(pcm16(std::vector<int16_t>(100, 9))));
  v.sound().LuoDirectsound();
  rig.action("KOTO1")->trigger();
  ASSERT_EQ(rig.errors.shown.size(), 1u);
  EXPECT_EQ(rig.errors.shown[0],
            "DIE KLANGDATEI \"" + rig.dir.path().string() +
                "/koto.wav\" KANN NICHT BENUTZT WERDEN: SIE WURDE NICHT GEFUNDEN.\r\rAssertion failure");
  EXPECT_EQ(v.sound().soitintiedosto(), "koto.wav");
  EXPECT_FALSE(v.sound().midi_tila());
}

TEST(ChoiceRound, AnErrorShownDuringAMelodyEndsTheSoundingToneFirst) {
  ChoiceRig rig;
  rig.form->show();
  rig.action("MIDINI1")->trigger();
  startAt(rig, 0, 0, 0);
  // A failed switch to WAV mode (no sample) while the first tone sounds.
  rig.clickAt(2200, rig.get("Button8"));
  rig.pump.runUntil(7000);
  ASSERT_EQ(rig.errors.shown.size(), 1u);
  const auto t = rig.tones();
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[0].off, 2200);  // ended when the message came, not at its 550 ms
  EXPECT_EQ(t[1].on, 3001);   // the melody goes on in time
}

TEST(ChoiceRound, ATerminationSignalEndsTheProgramAsExitDoes) {
  ChoiceRig rig;
  rig.form->show();
  rig.dir.write("piano.wav", pcmWave(pcm16(std::vector<int16_t>(100, 9))));
  view(rig).sound().LuoDirectsound();
  view(rig).sound().midiMode();
  QuitSignals quit([&](int) { rig.form->exitProgram(); });
  startAt(rig, 0, 0, 0);
  rig.pump.observe(3200, [] {
    raise(SIGTERM);
    QCoreApplication::processEvents();  // the event loop, not the handler, ends the program
  });
  rig.pump.runUntil(10000);
  EXPECT_FALSE(rig.form->isVisible());
  const auto& calls = rig.midi.calls;
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls.back().op, "close");
  EXPECT_EQ(calls[calls.size() - 2].b, kAllNotesOff);
  EXPECT_EQ(rig.tones().size(), 2u);
  EXPECT_EQ(rig.mixer.log.calls.back(), "release mixer");
}

TEST(ChoiceRound, ClosingDuringTheWaitsEndsAtOnce) {
  // The frame's close comes from the window system, not from user input: it is handled inside
  // the waits, and every wait after it returns at once.
  for (double closeAt : {1000.0, 8700.0}) {  // the wait before the melody; the blink
    ChoiceRig rig;
    rig.form->show();
    startAt(rig, 0, 0, 1);
    double returned = -1;
    rig.pump.input(7900, [&] {
      QTest::mouseClick(rig.get("GroupBox4"), Qt::LeftButton);  // wrong: the blink and the replay follow
      returned = rig.clock.timeGetTime();
    });
    rig.pump.observe(closeAt, [&] { rig.form->close(); });
    rig.pump.runUntil(20000);
    EXPECT_FALSE(rig.form->isVisible()) << closeAt;
    if (closeAt > 8000) {
      EXPECT_EQ(returned, closeAt);  // the blink's later waits did not run
      EXPECT_EQ(rig.tones(8000).size(), 0u);
    } else {
      EXPECT_TRUE(rig.tones().empty());  // the melody never started
    }
  }
}

TEST(ChoiceRound, OnlyALeftClickOnTheControlAnswersOrPicksAColour) {
  ChoiceRig rig;
  rig.form->show();
  QWidget* swatch = rig.get("Panel3");
  QTest::mouseClick(swatch, Qt::RightButton);
  QTest::mouseClick(swatch, Qt::MiddleButton);
  EXPECT_EQ(rig.form->background(), colours::navy);
  QTest::mousePress(swatch, Qt::LeftButton);
  QTest::mouseRelease(swatch, Qt::LeftButton, {}, QPoint(-5, -5));  // released off the swatch
  EXPECT_EQ(rig.form->background(), colours::navy);
  QTest::mouseClick(swatch, Qt::LeftButton);
  EXPECT_EQ(rig.form->background(), colours::purple);
  // An answer box likewise: a right click is no answer.
  startAt(rig, 0, 0, 0);
  rig.pump.runUntil(7000);
  QTest::mouseClick(rig.get("GroupBox4"), Qt::RightButton);
  EXPECT_EQ(view(rig).score().yritykset, 0);
  QTest::mouseClick(rig.get("GroupBox4"), Qt::LeftButton);
  EXPECT_EQ(view(rig).score().oikeat, 1);
}
