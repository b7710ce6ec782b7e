#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

#include "support/form_rules.h"
#include "support/texts.h"
#include "support/timing_view.h"

using namespace taktovi;
using namespace taktovi::test;

TEST(TimingWindow, ControlsFromItsFormAndTheirStartState) {
  TimingRig rig;
  TimingWindow& f = *rig.form;
  EXPECT_EQ(f.windowTitle(), "TAKTOVI 2 DEMO");
  EXPECT_TRUE(f.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(f.windowState() & Qt::WindowMaximized);
  expectFormRules(f, ":/timing/form2.txt");
  EXPECT_EQ(rig.get("BitBtn2")->geometry(), QRect(113, 14, 85, 78));  // design units at 800 pixels
  // The green arrow lies over the start button, the key receiver and the lamp.
  QWidget* strip = rig.get("GroupBox5");
  EXPECT_EQ(strip->childAt(rig.get("Button3")->geometry().center()), rig.get("BitBtn2"));
  EXPECT_EQ(strip->childAt(rig.get("Panel8")->geometry().center()), rig.get("BitBtn2"));
  EXPECT_EQ(rig.get<QPushButton>("Button3")->text(), "Button3");
  EXPECT_EQ(backgroundOf(rig.get("Panel8")), colours::lime);
  EXPECT_EQ(backgroundOf(rig.get("Panel13")), colours::silver);
  const QColor swatch[] = {colours::navy, colours::purple, colours::green, colours::orange};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(backgroundOf(rig.get(("Panel" + std::to_string(i + 1)).c_str())), swatch[i]);
  EXPECT_EQ(rig.get<QLabel>("Label1")->text(), "TAKTOVI 2");
  EXPECT_EQ(rig.get<QLabel>("Label9")->text(), "Version 2.2, Demo");
  EXPECT_EQ(rig.get<QPushButton>("Button7")->text(), "OK");
  EXPECT_FALSE(rig.get("Panel6")->isHidden());  // the about panel is up at start
  for (const char* hidden : {"Panel5", "Panel7", "pi1", "Memo1", "Memo3", "Memo4"})
    EXPECT_TRUE(rig.get(hidden)->isHidden()) << hidden;
  // The settings: green scheme, tempo step 15, tone share 0.6 while its bar shows 55.
  EXPECT_EQ(f.background(), colours::green);
  auto* tempo = rig.get<QScrollBar>("ScrollBar1");
  EXPECT_EQ(tempo->value(), 1000);
  EXPECT_EQ(tempo->singleStep(), 15);
  EXPECT_EQ(tempo->pageStep(), 15);
  EXPECT_EQ(rig.get<QScrollBar>("ScrollBar2")->value(), 55);
  TimingTestView v = view(rig);
  EXPECT_EQ(v.settings().isku, 1000);
  EXPECT_DOUBLE_EQ(v.settings().aanisuhde, 0.6);
  rig.get<QScrollBar>("ScrollBar2")->setValue(56);
  EXPECT_DOUBLE_EQ(v.settings().aanisuhde, 0.56);
  // The pool: 30 hidden navy rectangles on the window itself.
  for (int i = 1; i <= 30; ++i) {
    EXPECT_EQ(rig.slot(i)->parentWidget(), rig.get("design")) << i;
    EXPECT_EQ(rig.slot(i)->colour(), colours::navy) << i;
  }
  EXPECT_THROW(rig.slot(31), std::runtime_error);
  for (const char* skipped : {"ScrollBar1", "ScrollBar2", "Edit1", "Edit2", "BitBtn2"})
    EXPECT_EQ(rig.get(skipped)->focusPolicy(), Qt::NoFocus) << skipped;
}

TEST(TimingWindow, MenusHelpTextsAndTheirPanel) {
  TimingRig rig;
  QMenuBar* bar = rig.form->menuBar();
  auto* file = bar->findChild<QMenu*>("Tiedosto1");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->title(), "DATEI");
  QStringList items;
  for (QAction* a : file->actions()) items << a->objectName() + "=" + a->text();
  EXPECT_EQ(items, (QStringList{"Sulje1=TAKTOVI 1", "ALOITAALUSTA1=RESET", "Sulje2=EXIT"}));
  EXPECT_EQ(bar->findChild<QMenu*>("VALITSESOITIN1")->actions().size(), 7);
  EXPECT_EQ(rig.action("NI1")->text(), "SOUND");
  EXPECT_EQ(bar->findChild<QMenu*>("Ohje1")->title(), "NUTZUNGSHINWEISE");

  EXPECT_EQ(linesOf(rig.get<QPlainTextEdit>("Memo1")), expectedLines("choice_memo1.txt"));
  EXPECT_EQ(linesOf(rig.get<QPlainTextEdit>("Memo3")), expectedLines("timing_memo3.txt"));
  EXPECT_EQ(linesOf(rig.get<QPlainTextEdit>("Memo4")), expectedLines("timing_memo4.txt"));
  EXPECT_EQ(expectedLines("timing_memo4.txt").size(), 55u);
  auto panelText = expectedLines("sound_panel.txt");
  panelText.push_back("");  // one more empty line than program 1's
  EXPECT_EQ(linesOf(rig.get<QPlainTextEdit>("Memo2")), panelText);

  // A second text joins the first; Memo4 lies over Memo3, which lies over Memo1; the panel comes
  // to the front, over the about panel.
  rig.action("YLEISOHJE1")->trigger();
  rig.action("PELAAMINEN1")->trigger();
  rig.action("SDT1")->trigger();
  QWidget* help = rig.get("Panel5");
  EXPECT_FALSE(help->isHidden());
  const auto& stack = help->children();
  EXPECT_GT(stack.indexOf(rig.get("Memo4")), stack.indexOf(rig.get("Memo3")));
  EXPECT_GT(stack.indexOf(rig.get("Memo3")), stack.indexOf(rig.get("Memo1")));
  for (const char* memo : {"Memo1", "Memo3", "Memo4"}) EXPECT_FALSE(rig.get(memo)->isHidden()) << memo;
  const auto& order = rig.get("design")->children();
  EXPECT_GT(order.indexOf(help), order.indexOf(rig.get("Panel6")));
  QTest::mouseClick(rig.get("Button6"), Qt::LeftButton);
  for (const char* hidden : {"Panel5", "Memo1", "Memo3", "Memo4"})
    EXPECT_TRUE(rig.get(hidden)->isHidden()) << hidden;
  QTest::mouseClick(rig.get("Button7"), Qt::LeftButton);
  EXPECT_TRUE(rig.get("Panel6")->isHidden());
}

TEST(TimingWindow, SoundOfProgram2) {
  TimingRig rig({800, 600}, {{"Synth A"}});
  // Start-up: controller 7 on channel 1, then on channel 0.
  const auto words = rig.midi.messages();
  ASSERT_GE(words.size(), 2u);
  EXPECT_EQ(std::vector<uint32_t>(words.end() - 2, words.end()),
            (std::vector<uint32_t>{0x007F07B1, 0x007F07B0}));
  // The panel in program 2's places and names, brought to the front.
  rig.action("NI1")->trigger();
  QWidget* panel = rig.get("Panel7");
  EXPECT_FALSE(panel->isHidden());
  EXPECT_EQ(rig.get("design")->children().last(), panel);
  const struct {
    const char* name;
    QRect bounds;
    const char* text;
  } controls[] = {{"Button8", {464, 96, 105, 57}, "MIDI"},
                  {"Button9", {616, 96, 113, 57}, "WAV"},
                  {"Button2", {462, 216, 107, 53}, "SOUND TEST"},
                  {"Button4", {616, 216, 115, 52}, "OK"}};
  for (const auto& c : controls) {
    EXPECT_EQ(rig.get(c.name)->geometry(), c.bounds) << c.name;
    EXPECT_EQ(rig.get<QPushButton>(c.name)->text(), c.text);
  }
  EXPECT_EQ(rig.get("Edit3")->geometry(), QRect(463, 174, 266, 24));
  for (const char* other : {"Edit3", "ComboBox1", "Button8", "Button9", "Button2", "Button4", "Memo2"})
    EXPECT_FALSE(rig.get("AudioNote")->geometry().intersects(rig.get(other)->geometry())) << other;
  EXPECT_FALSE(rig.get("Memo2")->font().bold());
  // WAV mode: the fade, then the all-notes-off as well.
  rig.dir.write("piano.wav", pcmWave(pcm16(std::vector<int16_t>(100, 9))));
  QTest::mouseClick(rig.get("Button9"), Qt::LeftButton);
  EXPECT_EQ(rig.get<QLineEdit>("Edit3")->text(), "WAV MODE");
  TimingTestView v = view(rig);
  v.sound().aloita_savel(29300);
  rig.midi.calls.clear();
  v.sound().lopeta_savel();
  EXPECT_EQ(rig.mixer.log.calls.back(), "fade");
  EXPECT_EQ(rig.midi.messages(), std::vector<uint32_t>{kAllNotesOff});
  QTest::mouseClick(rig.get("Button8"), Qt::LeftButton);
  EXPECT_EQ(rig.get<QLineEdit>("Edit3")->text(), "MIDI MODE");
  QTest::mouseClick(rig.get("Button4"), Qt::LeftButton);
  EXPECT_TRUE(panel->isHidden());
}

TEST(TimingWindow, WideScreensKeepTheStripAndTheArrowOnScreen) {
  for (QSize screen : {QSize(1920, 1080), QSize(1366, 768), QSize(1024, 768)}) {
    TimingRig rig(screen);
    const int width = std::min(screen.width(), static_cast<int>(std::nearbyint(screen.height() * 4.0 / 3)));
    EXPECT_DOUBLE_EQ(view(rig).ladder().skaala, width * 0.00125);
    QWidget* area = rig.get("design");
    const QRect arrow = rig.get("BitBtn2")
                            ->geometry()
                            .translated(rig.get("GroupBox5")->pos())
                            .translated(rig.get("Panel13")->pos() + area->pos());
    EXPECT_LE(arrow.bottom() + rig.form->menuBar()->sizeHint().height(), screen.height()) << screen.width();
    EXPECT_LE(arrow.right(), screen.width());
  }
}
