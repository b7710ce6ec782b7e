#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

#include "choice/help_texts.h"
#include "sound/sound_panel.h"
#include "support/choice_rig.h"
#include "support/expected_texts.h"

using namespace taktovi;
using namespace taktovi::test;

namespace {

QRect design(int x, int y, int w, int h, double s) {
  auto r = [s](double v) { return static_cast<int>(std::nearbyint(v * s)); };
  return {r(x), r(y), r(w), r(h)};
}

template <typename T = QWidget>
T* child(QWidget* root, const char* name) {
  T* w = root->findChild<T*>(name);
  EXPECT_NE(w, nullptr) << name;
  return w;
}

std::vector<std::string> lines(const QPlainTextEdit* m) {
  std::vector<std::string> out;
  for (const QString& l : m->toPlainText().split('\n')) out.push_back(l.toStdString());
  return out;
}

std::vector<std::string> expected(const std::vector<const char*>& v) { return {v.begin(), v.end()}; }

}  // namespace

TEST(ChoiceWindow, ControlsByNameWithTheirDesignBounds) {
  ChoiceRig rig;
  TForm1& f = *rig.form;
  EXPECT_EQ(f.windowTitle(), "TAKTOVI 1, DEMO");
  EXPECT_TRUE(f.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(f.windowState() & Qt::WindowMaximized);
  const struct {
    const char* name;
    QRect bounds;
  } controls[] = {
      {"GroupBox4", {21, 17, 761, 131}}, {"ypi1", {20, 42, 51, 21}},      {"GroupBox5", {20, 160, 761, 131}},
      {"Panel1", {20, 313, 761, 231}},   {"GroupBox1", {20, 10, 281, 81}}, {"Panel2", {10, 20, 51, 51}},
      {"Panel3", {80, 20, 51, 51}},      {"Panel4", {150, 20, 51, 51}},    {"Panel5", {220, 20, 51, 51}},
      {"GroupBox2", {20, 96, 281, 115}}, {"Image1", {25, 26, 61, 36}},     {"Image2", {185, 17, 75, 46}},
      {"ScrollBar1", {21, 70, 241, 31}}, {"GroupBox3", {540, 96, 201, 115}}, {"Image3", {25, 21, 156, 36}},
      {"ScrollBar2", {20, 70, 161, 31}}, {"PaintBox1", {320, 18, 201, 193}}, {"Edit1", {540, 20, 101, 31}},
      {"Edit2", {540, 60, 101, 31}},     {"BitBtn1", {652, 19, 87, 73}},   {"Panel6", {211, 19, 571, 276}},
      {"Memo1", {12, 15, 411, 241}},     {"Memo3", {11, 14, 414, 243}},    {"Memo4", {13, 13, 415, 245}},
      {"Button3", {460, 185, 89, 66}},   {"Panel7", {20, 20, 762, 276}},   {"Image4", {518, 65, 19, 21}},
      {"Panel8", {289, 109, 201, 286}},  {"label1", {34, 31, 130, 29}},    {"Label10", {36, 66, 127, 16}},
      {"Button6", {99, 225, 89, 51}},
  };
  for (const auto& c : controls) {
    QWidget* w = child(&f, c.name);
    if (w != nullptr) {
      EXPECT_EQ(w->geometry(), c.bounds) << c.name;
    }
  }
  // Colours, captions, scroll bars, start state of the overlays and fields.
  EXPECT_EQ(f.background(), colours::navy);
  EXPECT_EQ(child(&f, "Panel8")->palette().color(QPalette::Window), colours::lime);
  EXPECT_EQ(child(&f, "Panel5")->palette().color(QPalette::Window), QColor(255, 128, 0));
  EXPECT_EQ(child<QLabel>(&f, "label1")->text(), "TAKTOVI 1");
  EXPECT_EQ(child<QLabel>(&f, "Label10")->text(), "Version 2.2, Demo");
  EXPECT_EQ(child<QPushButton>(&f, "Button3")->text(), "OK");
  EXPECT_EQ(child<QPushButton>(&f, "Button6")->text(), "OK");
  EXPECT_TRUE(f.BitBtn1->text().isEmpty());
  EXPECT_FALSE(f.Panel8->isHidden());
  EXPECT_TRUE(f.Panel6->isHidden());
  EXPECT_TRUE(f.Panel7->isHidden());
  EXPECT_TRUE(f.ypi1->isHidden());
  EXPECT_EQ(f.Edit1->text(), "");
  EXPECT_EQ(f.Edit2->text(), "");
  EXPECT_EQ(f.ScrollBar1->minimum(), 200);
  EXPECT_EQ(f.ScrollBar1->maximum(), 1800);
  EXPECT_EQ(f.ScrollBar1->value(), 1000);
  EXPECT_EQ(f.ScrollBar1->singleStep(), 10);
  EXPECT_EQ(f.ScrollBar2->minimum(), 30);
  EXPECT_EQ(f.ScrollBar2->maximum(), 80);
  EXPECT_EQ(f.ScrollBar2->value(), 55);
  EXPECT_EQ(f.font().pixelSize(), 13);
  EXPECT_TRUE(f.font().bold());
  // The pool: 20 rectangles in the upper box, 12 in the lower, hidden, in the rectangle colour.
  for (int i = 1; i <= 32; ++i) {
    EXPECT_EQ(f.paneelit[i]->parentWidget(), i <= 20 ? static_cast<QWidget*>(f.GroupBox4) : f.GroupBox5);
    EXPECT_TRUE(f.paneelit[i]->isHidden());
    EXPECT_EQ(f.paneelit[i]->colour(), colours::lime);
    EXPECT_EQ(f.paneelit[i]->size(), QSize(51, 21));
  }
  // Start values.
  EXPECT_EQ(f.asetukset.isku, 1000);
  EXPECT_EQ(f.asetukset.puoli_isku, 500);
  EXPECT_DOUBLE_EQ(f.asetukset.aanisuhde, 0.55);
  EXPECT_TRUE(f.sound.midi_tila);
  EXPECT_EQ(f.sound.korkeudet[1], 50);
  EXPECT_FALSE(f.h.soi);
  EXPECT_TRUE(f.h.vastattu);
}

TEST(ChoiceWindow, MenusWithTheirCaptions) {
  ChoiceRig rig;
  QMenuBar* bar = rig.form->menuBar();
  const struct {
    const char* menu;
    const char* caption;
    std::vector<std::pair<const char*, const char*>> items;
  } menus[] = {
      {"TIEDOSTO1", "DATEI", {{"SIIRRYPELIIN21", "TAKTOVI 2"}, {"ALOITAALUSTA1", "RESET"}, {"LOPETA1", "EXIT"}}},
      {"VALITSESOITIN1", "INSTRUMENTE",
       {{"PIANO1", "KLAVIER"}, {"MARIMBA1", "MARIMBA"}, {"TRUMPETTI1", "TROMPETE"}, {"KLARINETTI1", "KLARINETTE"},
        {"ELEKTRONINEN11", "KEYBOARD 1"}, {"ELEKTRONINEN21", "KEYBOARD 2"}, {"KOTO1", "KOTO"}}},
      {"OHJE1", "NUTZUNGSHINWEISE",
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
  rig.form->PanelClick(0);
  EXPECT_EQ(bar->palette().color(QPalette::Window), colours::silver);
}

TEST(ChoiceWindow, HelpTextsLineByLine) {
  ChoiceRig rig;
  TForm1& f = *rig.form;
  EXPECT_EQ(lines(f.Memo1), expected(kExpectedMemo1));
  EXPECT_EQ(lines(f.Memo3), expected(kExpectedMemo3));
  EXPECT_EQ(lines(f.Memo4), expected(kExpectedMemo4));
  EXPECT_EQ(kExpectedMemo1.size(), 31u);
  EXPECT_EQ(kExpectedMemo3.size(), 58u);
  EXPECT_EQ(kExpectedMemo4.size(), 45u);
  EXPECT_EQ(lines(f.Panel7->Memo2), expected(kExpectedMemo2));
  EXPECT_TRUE(f.Memo1->isReadOnly());
  EXPECT_EQ(f.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  // A help item shows its text; another item adds its own; "OK" hides them all.
  f.SDT1Click();
  EXPECT_FALSE(f.Panel6->isHidden());
  EXPECT_FALSE(f.Memo3->isHidden());
  EXPECT_TRUE(f.Memo1->isHidden());
  f.PELAAMINEN1Click();
  EXPECT_FALSE(f.Memo3->isHidden());
  EXPECT_FALSE(f.Memo4->isHidden());
  QTest::mouseClick(child<QPushButton>(&f, "Button3"), Qt::LeftButton);
  for (QWidget* w : {static_cast<QWidget*>(f.Panel6), static_cast<QWidget*>(f.Memo1), static_cast<QWidget*>(f.Memo3),
                     static_cast<QWidget*>(f.Memo4)})
    EXPECT_TRUE(w->isHidden());
  // The texts are longer than their fields: they scroll.
  f.show();
  f.YLEISOHJE1Click();
  QCoreApplication::processEvents();
  EXPECT_GT(f.Memo1->verticalScrollBar()->maximum(), 0);
  QTest::mouseClick(f.Button6, Qt::LeftButton);
  EXPECT_TRUE(f.Panel8->isHidden());
}

TEST(ChoiceWindow, ScalingOnFourByThreeScreens) {
  for (int width : {640, 800, 1024}) {
    ChoiceRig rig({width, width * 3 / 4});
    const double s = width / 800.0;
    TForm1& f = *rig.form;
    EXPECT_DOUBLE_EQ(f.ladder.skaala, width * 0.00125);
    EXPECT_EQ(f.GroupBox5->geometry(), design(20, 160, 761, 131, s)) << width;
    EXPECT_EQ(f.Panel1->geometry(), design(20, 313, 761, 231, s)) << width;
    EXPECT_EQ(f.ypi1->size(), design(0, 0, 51, 21, s).size()) << width;
    EXPECT_EQ(f.font().pixelSize(), static_cast<int>(std::nearbyint(13 * s)));
  }
  ChoiceRig r640({640, 480});
  EXPECT_EQ(r640.form->ladder.x_askel[1], 16);
  EXPECT_EQ(r640.form->ladder.x_askel[2], 40);
  EXPECT_EQ(r640.form->ladder.x_askel[18], 424);
  EXPECT_EQ(r640.form->ladder.y_ylempi, 34);
  EXPECT_EQ(r640.form->ladder.y_alempi, 58);
  ChoiceRig r1024({1024, 768});
  const std::array<int32_t, 18> at1024 = {26, 64, 102, 141, 179, 218, 256, 294, 333, 371, 410, 448, 486, 525, 563, 602, 640, 678};
  for (int i = 1; i <= 18; ++i) EXPECT_EQ(r1024.form->ladder.x_askel[i], at1024[i - 1]) << i;
  EXPECT_EQ(r1024.form->ladder.y_ylempi, 54);
  EXPECT_EQ(r1024.form->ladder.y_alempi, 92);
}

TEST(ChoiceWindow, WideScreensShowTheWholeDesign) {
  // Scaling by the width alone would put the control strip below the bottom of the screen.
  for (QSize screen : {QSize(1920, 1080), QSize(1280, 800), QSize(1366, 768)}) {
    ChoiceRig rig(screen);
    TForm1& f = *rig.form;
    const double s = std::min(screen.width(), static_cast<int>(std::nearbyint(screen.height() * 4.0 / 3))) / 800.0;
    EXPECT_DOUBLE_EQ(f.ladder.skaala, s * 800 * 0.00125);
    const int menu = f.menuBar()->sizeHint().height();
    const QRect strip = f.Panel1->geometry().translated(f.design->pos());
    EXPECT_LE(strip.bottom() + menu, screen.height()) << screen.width() << "x" << screen.height();
    EXPECT_GE(f.design->x(), 0);
    EXPECT_LE(f.design->geometry().right(), screen.width());
  }
}
