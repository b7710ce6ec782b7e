#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

#include "support/choice_view.h"
#include "support/form_rules.h"
#include "support/texts.h"
#include "trainer/smiley.h"

using namespace taktovi;
using namespace taktovi::test;

namespace {

QRect design(int x, int y, int w, int h, double s) {
  auto r = [s](double v) { return static_cast<int>(std::nearbyint(v * s)); };
  return {r(x), r(y), r(w), r(h)};
}

}  // namespace

TEST(ChoiceWindow, ControlsFromItsFormAndTheirStartState) {
  ChoiceRig rig;
  ChoiceWindow& f = *rig.form;
  EXPECT_EQ(f.windowTitle(), "TAKTOVI 1, DEMO");
  EXPECT_TRUE(f.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(f.windowState() & Qt::WindowMaximized);
  expectFormRules(f, ":/choice/form1.txt");
  EXPECT_EQ(rig.get("BitBtn1")->geometry(), QRect(652, 19, 87, 73));  // design units at 800 pixels
  // Colours, captions, scroll bars, start state of the overlays and fields.
  EXPECT_EQ(f.background(), colours::navy);
  EXPECT_EQ(backgroundOf(rig.get("Panel8")), colours::lime);
  EXPECT_EQ(backgroundOf(rig.get("Panel5")), QColor(255, 128, 0));
  EXPECT_EQ(rig.get<QLabel>("label1")->text(), "TAKTOVI 1");
  EXPECT_EQ(rig.get<QLabel>("Label10")->text(), "Version 2.2, Demo");
  EXPECT_EQ(rig.get<QPushButton>("Button3")->text(), "OK");
  EXPECT_EQ(rig.get<QPushButton>("Button6")->text(), "OK");
  EXPECT_TRUE(rig.get<QPushButton>("BitBtn1")->text().isEmpty());
  EXPECT_FALSE(rig.get("Panel8")->isHidden());
  for (const char* hidden : {"Panel6", "Panel7", "ypi1", "Image4"})
    EXPECT_TRUE(rig.get(hidden)->isHidden()) << hidden;
  EXPECT_EQ(rig.get<QLineEdit>("Edit1")->text(), "");
  EXPECT_EQ(rig.get<QLineEdit>("Edit2")->text(), "");
  auto* tempo = rig.get<QScrollBar>("ScrollBar1");
  EXPECT_EQ(tempo->minimum(), 200);
  EXPECT_EQ(tempo->maximum(), 1800);
  EXPECT_EQ(tempo->value(), 1000);
  EXPECT_EQ(tempo->singleStep(), 10);
  auto* share = rig.get<QScrollBar>("ScrollBar2");
  EXPECT_EQ(share->minimum(), 30);
  EXPECT_EQ(share->maximum(), 80);
  EXPECT_EQ(share->value(), 55);
  for (const char* skipped : {"ScrollBar1", "ScrollBar2", "Edit1", "Edit2", "BitBtn1"})
    EXPECT_EQ(rig.get(skipped)->focusPolicy(), Qt::NoFocus) << skipped;
  EXPECT_EQ(f.font().pixelSize(), 13);
  EXPECT_TRUE(f.font().bold());
  // The pool: 20 rectangles in the upper box, 12 in the lower, hidden, in the rectangle colour.
  for (int i = 1; i <= 32; ++i) {
    EXPECT_EQ(rig.slot(i)->parentWidget(), rig.get(i <= 20 ? "GroupBox4" : "GroupBox5"));
    EXPECT_TRUE(rig.slot(i)->isHidden());
    EXPECT_EQ(rig.slot(i)->colour(), colours::lime);
    EXPECT_EQ(rig.slot(i)->size(), QSize(51, 21));
  }
  // Start values: a beat of 1000 ms, tone share 0.55, MIDI mode with its pitch table, Ready.
  ChoiceTestView v = view(rig);
  EXPECT_EQ(v.settings().isku, 1000);
  EXPECT_EQ(v.settings().puoli_isku, 500);
  EXPECT_DOUBLE_EQ(v.settings().aanisuhde, 0.55);
  EXPECT_TRUE(v.sound().midi_tila());
  EXPECT_EQ(v.sound().korkeudet()[1], 50);
  EXPECT_FALSE(v.playback().soi);
  EXPECT_TRUE(v.round().vastattu);
}

TEST(ChoiceWindow, MenusWithTheirCaptions) {
  ChoiceRig rig;
  QMenuBar* bar = rig.form->menuBar();
  const struct {
    const char* menu;
    const char* caption;
    std::vector<std::pair<const char*, const char*>> items;
  } menus[] = {
      {"TIEDOSTO1",
       "DATEI",
       {{"SIIRRYPELIIN21", "TAKTOVI 2"}, {"ALOITAALUSTA1", "RESET"}, {"LOPETA1", "EXIT"}}},
      {"VALITSESOITIN1",
       "INSTRUMENTE",
       {{"PIANO1", "KLAVIER"},
        {"MARIMBA1", "MARIMBA"},
        {"TRUMPETTI1", "TROMPETE"},
        {"KLARINETTI1", "KLARINETTE"},
        {"ELEKTRONINEN11", "KEYBOARD 1"},
        {"ELEKTRONINEN21", "KEYBOARD 2"},
        {"KOTO1", "KOTO"}}},
      {"OHJE1",
       "NUTZUNGSHINWEISE",
       {{"YLEISOHJE1", "ALLGEMEINE HINWEISE"}, {"SDT1", "EINSTELLUNGEN"}, {"PELAAMINEN1", "BEDIENUNG"}}},
  };
  for (const auto& m : menus) {
    auto* menu = bar->findChild<QMenu*>(m.menu);
    ASSERT_NE(menu, nullptr) << m.menu;
    EXPECT_EQ(menu->title(), m.caption);
    ASSERT_EQ(menu->actions().size(), static_cast<qsizetype>(m.items.size()));
    for (size_t i = 0; i < m.items.size(); ++i) {
      EXPECT_EQ(menu->actions()[i]->objectName(), m.items[i].first);
      EXPECT_EQ(menu->actions()[i]->text(), m.items[i].second);
    }
  }
  const auto top = bar->actions();
  ASSERT_EQ(top.size(), 4);
  EXPECT_EQ(top[2]->objectName(), "MIDINI1");
  EXPECT_EQ(top[2]->text(), "SOUND");
  EXPECT_EQ(top[2]->menu(), nullptr);  // a title without items
  // Readable whatever the window's colour.
  QTest::mouseClick(rig.get("Panel2"), Qt::LeftButton);
  EXPECT_EQ(backgroundOf(bar), colours::silver);
}

TEST(ChoiceWindow, HelpTextsLineByLine) {
  ChoiceRig rig;
  auto* memo1 = rig.get<QPlainTextEdit>("Memo1");
  auto* memo3 = rig.get<QPlainTextEdit>("Memo3");
  auto* memo4 = rig.get<QPlainTextEdit>("Memo4");
  QWidget* panel = rig.get("Panel6");
  EXPECT_EQ(linesOf(memo1), expectedLines("choice_memo1.txt"));
  EXPECT_EQ(linesOf(memo3), expectedLines("choice_memo3.txt"));
  EXPECT_EQ(linesOf(memo4), expectedLines("choice_memo4.txt"));
  EXPECT_EQ(expectedLines("choice_memo1.txt").size(), 31u);
  EXPECT_EQ(expectedLines("choice_memo3.txt").size(), 58u);
  EXPECT_EQ(expectedLines("choice_memo4.txt").size(), 45u);
  EXPECT_EQ(linesOf(rig.get<QPlainTextEdit>("Memo2")), expectedLines("sound_panel.txt"));
  EXPECT_TRUE(memo1->isReadOnly());
  EXPECT_EQ(memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  // A help item shows its text; another item adds its own; "OK" hides them all.
  rig.action("SDT1")->trigger();
  EXPECT_FALSE(panel->isHidden());
  EXPECT_FALSE(memo3->isHidden());
  EXPECT_TRUE(memo1->isHidden());
  rig.action("PELAAMINEN1")->trigger();
  EXPECT_FALSE(memo3->isHidden());
  EXPECT_FALSE(memo4->isHidden());
  QTest::mouseClick(rig.get("Button3"), Qt::LeftButton);
  for (QWidget* w :
       {panel, static_cast<QWidget*>(memo1), static_cast<QWidget*>(memo3), static_cast<QWidget*>(memo4)})
    EXPECT_TRUE(w->isHidden());
  // The texts are longer than their fields: they scroll.
  rig.form->show();
  rig.action("YLEISOHJE1")->trigger();
  QCoreApplication::processEvents();
  EXPECT_GT(memo1->verticalScrollBar()->maximum(), 0);
  QTest::mouseClick(rig.get("Button6"), Qt::LeftButton);
  EXPECT_TRUE(rig.get("Panel8")->isHidden());
}

TEST(ChoiceWindow, ScalingOnFourByThreeScreens) {
  for (int width : {640, 800, 1024}) {
    ChoiceRig rig({width, width * 3 / 4});
    const double s = width / 800.0;
    EXPECT_DOUBLE_EQ(view(rig).ladder().skaala, width * 0.00125);
    EXPECT_EQ(rig.get("GroupBox5")->geometry(), design(20, 160, 761, 131, s)) << width;
    EXPECT_EQ(rig.get("Panel1")->geometry(), design(20, 313, 761, 231, s)) << width;
    EXPECT_EQ(rig.get("ypi1")->size(), design(0, 0, 51, 21, s).size()) << width;
    EXPECT_EQ(rig.form->font().pixelSize(), static_cast<int>(std::nearbyint(13 * s)));
    EXPECT_EQ(rig.get("label1")->font().pixelSize(),
              static_cast<int>(std::nearbyint(24 * s)));  // fits unshrunk
  }
  ChoiceRig r640({640, 480});
  const ChoiceLadder& l640 = view(r640).ladder();
  EXPECT_EQ(l640.x_askel[1], 16);
  EXPECT_EQ(l640.x_askel[2], 40);
  EXPECT_EQ(l640.x_askel[18], 424);
  EXPECT_EQ(l640.y_ylempi, 34);
  EXPECT_EQ(l640.y_alempi, 58);
  ChoiceRig r1024({1024, 768});
  const ChoiceLadder& l1024 = view(r1024).ladder();
  const std::array<int32_t, 18> at1024 = {26,  64,  102, 141, 179, 218, 256, 294, 333,
                                          371, 410, 448, 486, 525, 563, 602, 640, 678};
  for (int i = 1; i <= 18; ++i)
    EXPECT_EQ(l1024.x_askel[static_cast<size_t>(i)], at1024[static_cast<size_t>(i - 1)]) << i;
  EXPECT_EQ(l1024.y_ylempi, 54);
  EXPECT_EQ(l1024.y_alempi, 92);
}

TEST(ChoiceWindow, WideScreensShowTheWholeDesign) {
  // Scaling by the width alone would put the control strip below the bottom of the screen.
  for (QSize screen : {QSize(1920, 1080), QSize(1280, 800), QSize(1366, 768)}) {
    ChoiceRig rig(screen);
    const double s =
        std::min(screen.width(), static_cast<int>(std::nearbyint(screen.height() * 4.0 / 3))) / 800.0;
    EXPECT_DOUBLE_EQ(view(rig).ladder().skaala, s * 800 * 0.00125);
    const int menu = rig.form->menuBar()->sizeHint().height();
    QWidget* area = rig.get("design");
    const QRect strip = rig.get("Panel1")->geometry().translated(area->pos());
    EXPECT_LE(strip.bottom() + menu, screen.height()) << screen.width() << "x" << screen.height();
    EXPECT_GE(area->x(), 0);
    EXPECT_LE(area->geometry().right(), screen.width());
  }
}
