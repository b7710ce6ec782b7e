#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>

#include "sound/sound_panel.h"
#include "support/choice_rig.h"

using namespace taktovi;
using namespace taktovi::test;

namespace {

// The ms clock decides "strictly later than": a tone of 550 ms ends in the 551st ms.
constexpr double kStrict = 1;

QAction* action(TForm1& f, const char* name) { return f.menuBar()->findChild<QAction*>(name); }

}  // namespace

TEST(ChoiceExercise, CorrectAnswerBrightensCountsAndDrawsASmiley) {
  ChoiceRig rig;
  TForm1& f = *rig.form;
  rig.startAt(1000, 3, 0);  // pair 3: "2 2h 2h 2" above, played
  rig.pump.observe(2500, [&] {
    // During the 2000 ms wait the pair is shown and nothing plays yet.
    EXPECT_TRUE(f.h.soi);
    EXPECT_FALSE(f.BitBtn1->isEnabled());
    EXPECT_FALSE(f.paneelit[1]->isHidden());
    EXPECT_FALSE(f.paneelit[21]->isHidden());
    EXPECT_TRUE(rig.tones().empty());
  });
  rig.pump.runUntil(9000);
  EXPECT_EQ(rig.chooser.asked, (std::vector<int>{28, 2}));
  EXPECT_FALSE(f.h.soi);
  EXPECT_FALSE(f.h.vastattu);
  const auto t = rig.tones();
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[0].on, 3000);  // 2000 ms after the start
  for (const Tone& tone : t) EXPECT_EQ(tone.word, 0x00733490u);  // level 2: note 52
  // 550 of 1000 ms, 275 of 500 ms: each slot timed from its own tone's start.
  EXPECT_EQ(t[0].off - t[0].on, 550 + kStrict);
  EXPECT_EQ(t[1].on - t[0].on, 1000 + kStrict);
  EXPECT_EQ(t[1].off - t[1].on, 275 + kStrict);
  EXPECT_EQ(t[2].on - t[1].on, 500 + kStrict);
  EXPECT_EQ(t[3].on - t[2].on, 500 + kStrict);
  EXPECT_EQ(t[3].off - t[3].on, 550 + kStrict);

  rig.clickAt(9500, f.GroupBox4);
  rig.pump.runUntil(10000);
  EXPECT_EQ(f.background(), colours::blue);
  EXPECT_EQ(f.PaintBox1->smileys().size(), 1u);
  EXPECT_EQ(f.Edit1->text(), "  1");
  EXPECT_EQ(f.Edit2->text(), "100 %");
  EXPECT_TRUE(f.h.vastattu);
  EXPECT_TRUE(f.BitBtn1->isEnabled());
  // The next start restores the background.
  rig.startAt(11000, 0, 1);
  rig.pump.observe(11500, [&] { EXPECT_EQ(f.background(), colours::navy); });
  rig.pump.runUntil(18000);
  EXPECT_EQ(rig.tones(11000).size(), 4u);  // task 1: "1 1 1 1"
}

TEST(ChoiceExercise, WrongAnswerBlinksReplaysHighlightedAndWaitsForTheRightBox) {
  ChoiceRig rig;
  TForm1& f = *rig.form;
  rig.startAt(0, 0, 1);  // pair 0, the lower "1 1 1 1" is played
  rig.pump.runUntil(8000);
  ASSERT_EQ(rig.tones().size(), 4u);
  rig.clickAt(8000, f.GroupBox4);  // wrong
  rig.pump.observe(8100, [&] {
    EXPECT_EQ(f.Edit1->text(), "  0");
    EXPECT_EQ(f.Edit2->text(), "0 %");
    EXPECT_FALSE(f.paneelit[21]->isHidden());
  });
  rig.pump.observe(8700, [&] { EXPECT_TRUE(f.paneelit[21]->isHidden()); });  // hidden after 500 ms
  rig.pump.observe(9200, [&] { EXPECT_FALSE(f.paneelit[21]->isHidden()); });  // shown after 1000 ms
  rig.pump.observe(10500, [&] {
    // The replay started at 10000: the first rectangle lit up, the second not yet.
    EXPECT_EQ(f.paneelit[21]->colour(), colours::yellow);
    EXPECT_EQ(f.paneelit[22]->colour(), colours::lime);
    EXPECT_EQ(f.paneelit[1]->colour(), colours::lime);
  });
  // Input during the blink is handled afterwards, while the replay plays: ignored.
  rig.clickAt(8800, f.GroupBox5);
  rig.pump.runUntil(16000);
  const auto replay = rig.tones(8000);
  ASSERT_EQ(replay.size(), 4u);
  EXPECT_EQ(replay[0].on, 10000);
  for (int i = 21; i <= 24; ++i) EXPECT_EQ(f.paneelit[i]->colour(), colours::yellow) << i;
  EXPECT_EQ(f.h.yritykset, 1);
  EXPECT_TRUE(f.h.odottaa_oikeaa);
  EXPECT_TRUE(f.h.vastattu);
  EXPECT_EQ(f.background(), colours::navy);
  EXPECT_TRUE(f.PaintBox1->smileys().empty());
  // A further wrong click does nothing; the right box only brightens, no count changes.
  rig.clickAt(16100, f.GroupBox4);
  rig.pump.runUntil(16200);
  EXPECT_EQ(f.background(), colours::navy);
  EXPECT_EQ(f.h.yritykset, 1);
  rig.clickAt(16300, f.GroupBox5);
  rig.pump.runUntil(16400);
  EXPECT_EQ(f.background(), colours::blue);
  EXPECT_EQ(f.h.yritykset, 1);
  EXPECT_EQ(f.h.oikeat, 0);
  EXPECT_FALSE(f.h.odottaa_oikeaa);
}

TEST(ChoiceExercise, StartsAndAnswersAreIgnoredWhilePlayingOrUnanswered) {
  ChoiceRig rig;
  TForm1& f = *rig.form;
  rig.startAt(0, 0, 0);
  rig.pump.input(2500, [&] { QTest::keyClick(&f, Qt::Key_Return); });  // during the wait: deferred
  rig.pump.input(3500, [&] { QTest::keyClick(&f, Qt::Key_Right); });   // while playing
  rig.clickAt(3600, f.GroupBox4);                                      // an answer while playing
  rig.pump.runUntil(7000);
  rig.pump.input(7000, [&] { QTest::keyClick(&f, Qt::Key_Enter); });   // awaiting the answer
  rig.pump.runUntil(8000);
  EXPECT_EQ(rig.chooser.asked.size(), 2u);  // one pair draw, one side draw: one exercise
  EXPECT_EQ(rig.tones().size(), 3u);
  EXPECT_EQ(f.h.yritykset, 0);
  EXPECT_FALSE(f.h.vastattu);
}

TEST(ChoiceExercise, KeysReachTheWindowWhateverHasTheFocus) {
  ChoiceRig rig;
  TForm1& f = *rig.form;
  f.show();
  f.Button6->setFocus();  // the about overlay's "OK" holds the focus at start
  QCoreApplication::processEvents();
  rig.chooser.values = {0, 1};
  rig.pump.input(0, [&] { QTest::keyClick(f.Button6, Qt::Key_Right); });
  rig.pump.runUntil(8000);
  EXPECT_EQ(rig.tones().size(), 4u);
  EXPECT_EQ(QApplication::focusWidget(), f.Button6);
  // Arrow down answers (lower is right); it does not move the focus.
  rig.pump.input(8000, [&] { QTest::keyClick(f.Button6, Qt::Key_Down); });
  rig.pump.runUntil(8100);
  EXPECT_EQ(f.h.oikeat, 1);
  EXPECT_EQ(QApplication::focusWidget(), f.Button6);
  // Enter starts even while the start button is disabled: the start's own guard decides.
  f.BitBtn1->setEnabled(false);
  rig.chooser.values = {1, 0};
  rig.pump.input(9000, [&] { QTest::keyClick(&f, Qt::Key_Enter); });
  rig.pump.runUntil(30000);
  EXPECT_EQ(rig.tones(9000).size(), 7u);  // task 2: six tones and a rest
  rig.pump.input(30000, [&] { QTest::keyClick(f.Button6, Qt::Key_Up); });
  rig.pump.runUntil(30100);
  EXPECT_EQ(f.h.oikeat, 2);
  EXPECT_EQ(f.Edit2->text(), "100 %");
}

TEST(ChoiceExercise, AClickOnARectangleCountsForItsBox) {
  ChoiceRig rig;
  TForm1& f = *rig.form;
  f.show();
  rig.startAt(0, 0, 0);
  rig.pump.runUntil(7000);
  // A real click on the screen position of the first upper rectangle.
  Tomapaneli* r = f.paneelit[1];
  ASSERT_FALSE(r->isHidden());
  const QPoint at = r->mapTo(&f, r->rect().center());
  rig.pump.input(7000, [&] { QTest::mouseClick(f.windowHandle(), Qt::LeftButton, {}, at); });
  rig.pump.runUntil(7100);
  EXPECT_EQ(f.h.oikeat, 1);
}

TEST(ChoiceExercise, ResetInTheMiddleCountsTheNextAnswerAsTheFirst) {
  ChoiceRig rig;
  TForm1& f = *rig.form;
  f.h.oikeat = 3;
  f.h.yritykset = 8;
  rig.startAt(0, 0, 0);
  rig.pump.input(3200, [&] { action(f, "ALOITAALUSTA1")->trigger(); });
  rig.pump.observe(3300, [&] {
    EXPECT_EQ(f.Edit1->text(), " ");
    EXPECT_EQ(f.Edit2->text(), " ");
    EXPECT_TRUE(f.h.soi);  // the exercise goes on
  });
  rig.pump.runUntil(7000);
  EXPECT_EQ(rig.tones().size(), 3u);
  rig.clickAt(7000, f.GroupBox5);  // wrong
  rig.pump.runUntil(14000);
  EXPECT_EQ(f.Edit1->text(), "  0");
  EXPECT_EQ(f.Edit2->text(), "0 %");
}

TEST(ChoiceExercise, PercentRoundsHalvesToEven) {
  ChoiceRig rig;
  TForm1& f = *rig.form;
  const struct {
    int right, tries;
    const char* shown;
  } cases[] = {{1, 8, "12 %"}, {3, 8, "38 %"}, {2, 3, "67 %"}, {5, 8, "62 %"}};
  for (const auto& c : cases) {
    f.h.oikeat = c.right - 1;
    f.h.yritykset = c.tries - 1;
    f.h.vastattu = false;
    f.reagoi_oikeaan();
    EXPECT_EQ(f.Edit2->text(), c.shown) << c.right << "/" << c.tries;
  }
}

TEST(ChoiceExercise, TempoChangeDuringAMelodyWaitsForTheNextBuild) {
  ChoiceRig rig;
  TForm1& f = *rig.form;
  rig.startAt(0, 0, 1);  // "1 1 1 1" below; the melody starts at 2000
  rig.pump.input(2500, [&] { f.ScrollBar1->setValue(200); });
  rig.pump.runUntil(8000);
  const auto t = rig.tones();
  ASSERT_EQ(t.size(), 4u);
  for (int i = 1; i < 4; ++i) EXPECT_EQ(t[i].on - t[i - 1].on, 1000 + kStrict);  // slots keep the built tempo
  EXPECT_EQ(f.asetukset.isku, 1800);
  rig.clickAt(8000, f.GroupBox5);
  rig.startAt(9000, 0, 1);
  rig.pump.runUntil(30000);
  const auto next = rig.tones(9000);
  ASSERT_EQ(next.size(), 4u);
  EXPECT_EQ(next[1].on - next[0].on, 1800 + kStrict);
  EXPECT_EQ(next[0].off - next[0].on, 990 + kStrict);
}

TEST(ChoiceExercise, ToneShareChangeDuringAMelodyRebuildsThePreviewPair) {
  ChoiceRig rig;
  TForm1& f = *rig.form;
  rig.startAt(0, 0, 1);
  rig.pump.input(3700, [&] { f.ScrollBar2->setValue(80); });  // in the second slot's pause
  rig.pump.observe(3800, [&] {
    EXPECT_FALSE(f.paneelit[1]->isHidden());  // tasks 0 and 1 shown, 51 wide at 0.80
    EXPECT_EQ(f.paneelit[21]->width(), 51);
  });
  rig.pump.runUntil(9000);
  const auto t = rig.tones();
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[1].off - t[1].on, 550 + kStrict);
  EXPECT_EQ(t[2].off - t[2].on, 800 + kStrict);  // the melody goes on over the new contents
  EXPECT_EQ(t[3].off - t[3].on, 800 + kStrict);
  EXPECT_FALSE(f.h.soi);
}

TEST(ChoiceExercise, ColourSwatchIgnoredWhilePlayingAndRectanglesRecolourAtTheNextStart) {
  ChoiceRig rig;
  TForm1& f = *rig.form;
  auto* swatch = f.findChild<ClickPanel*>("Panel4");
  rig.startAt(0, 0, 0);
  rig.clickAt(3500, swatch);
  rig.pump.runUntil(7000);
  EXPECT_EQ(f.background(), colours::navy);
  EXPECT_EQ(f.asetukset.colours.suorakaidevari, colours::lime);
  rig.clickAt(7000, swatch);
  rig.pump.runUntil(7100);
  EXPECT_EQ(f.background(), colours::green);
  EXPECT_EQ(f.paneelit[1]->colour(), colours::lime);  // only at the next reset of the display
  rig.clickAt(7200, f.GroupBox4);
  rig.startAt(8000, 0, 0);
  rig.pump.runUntil(8500);
  EXPECT_EQ(f.paneelit[1]->colour(), colours::navy);
  EXPECT_EQ(f.background(), colours::green);
}

TEST(ChoiceExercise, TheTimeLimitEndsAMelodyAsItsEndWould) {
  ChoiceRig rig;
  TForm1& f = *rig.form;
  f.asetukset.isku = 3000;  // 9 beats of 3000 ms: longer than the limit
  f.asetukset.puoli_isku = 1500;
  rig.startAt(0, 13, 0);  // task 26: "5 4 5 5 R 5 5 4 5"
  rig.pump.runUntil(40000);
  EXPECT_FALSE(f.h.soi);
  EXPECT_FALSE(f.h.vastattu);
  const auto t = rig.tones();
  ASSERT_FALSE(t.empty());
  EXPECT_LE(t.back().on, 2000 + 20001);
  EXPECT_GT(t.back().off, 0);  // the last tone was ended
  EXPECT_LE(t.back().off, 2000 + 20002);
  rig.clickAt(40000, f.GroupBox4);
  rig.pump.runUntil(40100);
  EXPECT_EQ(f.h.oikeat, 1);  // answers are taken again
}

TEST(ChoiceExercise, ExitDuringAMelodyEndsItBeforeTheDevicesClose) {
  ChoiceRig rig;
  TForm1& f = *rig.form;
  f.show();
  rig.dir.write("piano.wav", pcmWave(pcm16(std::vector<int16_t>(100, 9))));
  f.sound.LuoDirectsound();
  f.sound.midi_tila = true;  // MIDI plays; the mixer objects exist
  f.sound.MaaritaKorkeudet();
  rig.startAt(0, 0, 0);
  rig.pump.input(3200, [&] { action(f, "LOPETA1")->trigger(); });
  rig.pump.runUntil(10000);
  EXPECT_FALSE(f.isVisible());
  const auto& calls = rig.midi.calls;
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls.back().op, "close");
  EXPECT_EQ(calls[calls.size() - 2].b, kAllNotesOff);  // the tone ended first
  EXPECT_EQ(rig.tones().size(), 2u);                   // the melody went no further
  EXPECT_EQ(rig.mixer.log.calls.back(), "release mixer");
  EXPECT_FALSE(f.sound.Directsound);
}

TEST(ChoiceExercise, ClosingTheWindowDuringAMelodyEndsTheTone) {
  ChoiceRig rig;
  TForm1& f = *rig.form;
  f.show();
  rig.startAt(0, 0, 0);
  rig.pump.input(2200, [&] { f.close(); });
  rig.pump.runUntil(10000);
  EXPECT_FALSE(f.isVisible());
  EXPECT_FALSE(f.h.soi);
  const auto t = rig.tones();
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0].off, 2200);  // ended at once, not at its 550 ms
  EXPECT_NE(rig.midi.calls.back().op, "close");  // the frame's close leaves the device to the system
}

TEST(ChoiceExercise, SwitchToTheTimingTrainer) {
  ChoiceRig rig;
  TForm1& f = *rig.form;
  f.show();
  rig.startAt(0, 0, 0);
  rig.pump.input(4100, [&] { action(f, "SIIRRYPELIIN21")->trigger(); });
  rig.pump.runUntil(10000);
  EXPECT_EQ(rig.starter.started, std::vector<std::string>{"taktovi2demo"});
  EXPECT_FALSE(f.isVisible());
  EXPECT_EQ(rig.midi.calls.back().op, "close");
  EXPECT_FALSE(f.h.soi);
}

TEST(ChoiceExercise, InstrumentMenuInMidiAndWavMode) {
  ChoiceRig rig;
  TForm1& f = *rig.form;
  action(f, "ELEKTRONINEN11")->trigger();
  EXPECT_EQ(rig.midi.messages().back(), 0x007F58C0u);  // program 88
  // In WAV mode a missing sample reaches the error display; the mode stays.
  f.sound.midi_tila = false;
  action(f, "KOTO1")->trigger();
  EXPECT_EQ(rig.errors.shown, std::vector<std::string>{"Assertion failure"});
  EXPECT_EQ(f.sound.soitintiedosto, "koto.wav");
}
