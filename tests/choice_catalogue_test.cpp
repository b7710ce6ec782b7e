#include <gtest/gtest.h>

#include <sstream>

#include <QScrollBar>

#include "support/choice_rig.h"

using namespace taktovi;
using namespace taktovi::test;

namespace {

void build(TForm1& f, int task) {
  f.h.tehtava = task;
  f.rakenna();
}

std::vector<int32_t> field(const TForm1& f, int first, int n, int32_t Tomapaneli::*m) {
  std::vector<int32_t> v;
  for (int i = 0; i < n; ++i) v.push_back(f.paneelit[first + i]->*m);
  return v;
}

}  // namespace

TEST(ChoiceCatalogue, HalfBeatTaskAtTwoScreenWidths) {
  ChoiceRig a({800, 600});
  build(*a.form, 6);  // 2 2h 2h 2
  const TForm1& f = *a.form;
  EXPECT_EQ(field(f, 1, 4, &Tomapaneli::vasen), (std::vector<int32_t>{20, 80, 110, 140}));
  EXPECT_EQ(field(f, 1, 4, &Tomapaneli::yla), (std::vector<int32_t>{72, 72, 72, 72}));
  EXPECT_EQ(field(f, 1, 4, &Tomapaneli::muoto), (std::vector<int32_t>{1, 2, 2, 1}));
  EXPECT_EQ(field(f, 1, 4, &Tomapaneli::savel), (std::vector<int32_t>{52, 52, 52, 52}));
  EXPECT_EQ(f.paneelit[1]->kesto, 1000);
  EXPECT_EQ(f.paneelit[2]->kesto, 500);
  EXPECT_EQ(f.paneelit[3]->kesto, 500);
  EXPECT_EQ(f.paneelit[4]->kesto, 1000);
  EXPECT_EQ(f.paneelit[5]->vasen, 0);

  ChoiceRig b({1024, 768});
  build(*b.form, 6);
  EXPECT_EQ(field(*b.form, 1, 4, &Tomapaneli::vasen), (std::vector<int32_t>{26, 102, 141, 179}));
  EXPECT_EQ(b.form->paneelit[1]->yla, 92);
}

TEST(ChoiceCatalogue, TasksOfEachGroupAt640_800_1024) {
  for (int width : {640, 800, 1024}) {
    ChoiceRig rig({width, width * 3 / 4});
    TForm1& f = *rig.form;
    const auto& x = f.ladder.x_askel;
    // Group 1: a rest takes one beat and is a silent slot.
    build(f, 2);  // 3 3 3 R 3 3 3
    EXPECT_EQ(f.paneelit[5]->vasen, x[9]) << width;
    EXPECT_EQ(f.paneelit[4]->savel, 0);
    EXPECT_EQ(f.paneelit[4]->kesto, 1000);
    EXPECT_EQ(f.paneelit[8]->vasen, 0);
    // Group 3: two levels, the higher on the upper line whatever the order.
    build(f, 16);  // 4 2 2
    EXPECT_EQ(field(f, 1, 3, &Tomapaneli::yla), (std::vector<int32_t>{f.ladder.y_ylempi, f.ladder.y_alempi, f.ladder.y_alempi}));
    build(f, 19);  // 5 1 5 5
    EXPECT_EQ(field(f, 21, 4, &Tomapaneli::yla),
              (std::vector<int32_t>{f.ladder.y_ylempi, f.ladder.y_alempi, f.ladder.y_ylempi, f.ladder.y_ylempi}));
    EXPECT_EQ(field(f, 21, 4, &Tomapaneli::savel), (std::vector<int32_t>{58, 50, 58, 58}));
    // Group 4: strong tones tall, codes 1 and 2.
    build(f, 44);  // S W W
    EXPECT_EQ(field(f, 1, 3, &Tomapaneli::muoto), (std::vector<int32_t>{3, 1, 1}));
    EXPECT_EQ(field(f, 1, 3, &Tomapaneli::savel), (std::vector<int32_t>{1, 2, 2}));
    EXPECT_EQ(field(f, 1, 3, &Tomapaneli::yla), (std::vector<int32_t>{f.ladder.y_alempi, f.ladder.y_alempi, f.ladder.y_alempi}));
    // Group 2: half beats on the ladder's half steps.
    build(f, 13);  // 1h 1h 1 1 1 1h 1h 1 1 1
    EXPECT_EQ(field(f, 21, 4, &Tomapaneli::vasen), (std::vector<int32_t>{x[1], x[2], x[3], x[5]})) << width;
  }
}

TEST(ChoiceCatalogue, LongestLowerTaskFillsItsBoxAndLeavesTheUpperAlone) {
  ChoiceRig rig;
  TForm1& f = *rig.form;
  build(f, 0);
  const auto upper = field(f, 1, 4, &Tomapaneli::vasen);
  build(f, 15);  // 11 elements
  EXPECT_GT(f.paneelit[31]->vasen, 0);
  EXPECT_EQ(f.paneelit[32]->vasen, 0);
  EXPECT_EQ(field(f, 1, 4, &Tomapaneli::vasen), upper);
  build(f, 1);
  EXPECT_EQ(field(f, 1, 4, &Tomapaneli::vasen), upper);  // task 0 as it was
  EXPECT_EQ(upper, (std::vector<int32_t>{20, 80, 140, 0}));
}

TEST(ChoiceCatalogue, BuildCopiesTempoAndPitchOfTheMoment) {
  ChoiceRig rig;
  TForm1& f = *rig.form;
  build(f, 8);  // 6 6h 6h 6 6
  f.ScrollBar1->setValue(200);
  EXPECT_EQ(f.asetukset.isku, 1800);
  EXPECT_EQ(f.asetukset.puoli_isku, 900);
  EXPECT_EQ(f.paneelit[1]->kesto, 1000);  // built before: unchanged
  build(f, 8);
  EXPECT_EQ(f.paneelit[1]->kesto, 1800);
  EXPECT_EQ(f.paneelit[2]->kesto, 900);
  f.ScrollBar1->setValue(1800);
  EXPECT_EQ(f.asetukset.isku, 200);
  EXPECT_EQ(f.asetukset.puoli_isku, 100);
  // A task built in WAV mode holds rates.
  f.sound.midi_tila = false;
  f.sound.MaaritaKorkeudet();
  build(f, 8);
  EXPECT_EQ(f.paneelit[1]->savel, 44100);
}

TEST(ChoiceCatalogue, NumbersOutsideTheCatalogueBuildNothing) {
  ChoiceRig rig;
  TForm1& f = *rig.form;
  build(f, 0);
  build(f, 1);
  std::vector<int32_t> before;
  for (int i = 1; i <= 32; ++i) before.push_back(f.paneelit[i]->vasen);
  for (int t : {56, -1, 1000}) {
    build(f, t);
    for (int i = 1; i <= 32; ++i) EXPECT_EQ(f.paneelit[i]->vasen, before[i - 1]) << t;
  }
}

TEST(ChoiceCatalogue, EveryTaskKeepsTheCataloguesRules) {
  for (int t = 0; t < kChoiceTasks; ++t) {
    std::istringstream in(choiceTaskPattern(t));
    std::vector<std::string> tokens;
    for (std::string s; in >> s;) tokens.push_back(s);
    EXPECT_GE(tokens.size(), 3u) << t;
    EXPECT_LE(tokens.size(), t % 2 == 0 ? 19u : 11u) << t;
    EXPECT_NE(tokens.front(), "R") << t;
    EXPECT_NE(tokens.back(), "R") << t;
    EXPECT_EQ(tokens.back().find('h'), std::string::npos) << t;
    EXPECT_LE(std::count(tokens.begin(), tokens.end(), "R"), 1) << t;
    int beats2 = 0;
    for (const auto& s : tokens) beats2 += s.size() > 1 ? 1 : 2;
    EXPECT_EQ(beats2 % 2, 0) << t;
    EXPECT_LE(beats2 / 2, 9) << t;
  }
}

TEST(ChoiceDrawing, RectangleSizesFromTheTemplate) {
  ChoiceRig rig;
  TForm1& f = *rig.form;
  build(f, 6);  // 2 2h 2h 2
  f.piirra_tehtava(true);
  EXPECT_EQ(f.paneelit[1]->geometry(), QRect(20, 72, 38, 21));
  EXPECT_EQ(f.paneelit[2]->size(), QSize(17, 21));
  EXPECT_FALSE(f.paneelit[1]->isHidden());
  EXPECT_TRUE(f.paneelit[5]->isHidden());  // the end marker
  build(f, 44);  // S W W
  f.piirra_tehtava(true);
  EXPECT_EQ(f.paneelit[1]->size(), QSize(38, 32));  // 31.5 to even
  f.ScrollBar2->setValue(80);
  EXPECT_DOUBLE_EQ(f.asetukset.aanisuhde, 0.80);
  // The preview pair replaces what was shown: tasks 0 and 1, 51 wide at 0.80.
  EXPECT_EQ(f.paneelit[1]->size(), QSize(51, 21));
  EXPECT_EQ(f.paneelit[4]->vasen, 0);
  EXPECT_FALSE(f.paneelit[21]->isHidden());
  EXPECT_EQ(f.paneelit[25]->vasen, 0);
  f.ScrollBar2->setValue(30);
  EXPECT_DOUBLE_EQ(f.asetukset.aanisuhde, 0.30);
}

TEST(ChoiceDrawing, RestsAreSkippedAndOtherShapesKeepTheirSize) {
  ChoiceRig rig;
  TForm1& f = *rig.form;
  build(f, 2);  // 3 3 3 R 3 3 3
  f.paneelit[2]->muoto = 7;
  f.piirra_tehtava(true);
  EXPECT_TRUE(f.paneelit[4]->isHidden());
  EXPECT_FALSE(f.paneelit[5]->isHidden());
  EXPECT_EQ(f.paneelit[2]->size(), QSize(51, 21));
  // A second rectangle with vasen 0 shows exactly one.
  f.palauta_ruutu();
  f.paneelit[2]->vasen = 0;
  f.piirra_tehtava(true);
  EXPECT_FALSE(f.paneelit[1]->isHidden());
  EXPECT_TRUE(f.paneelit[3]->isHidden());
}

TEST(ChoiceDrawing, SmileyBitmapAndGrid) {
  const QImage img = smileyImage();
  ASSERT_EQ(img.size(), QSize(18, 20));
  EXPECT_EQ(img.pixelColor(0, 0), QColor(192, 192, 192));
  EXPECT_EQ(img.pixelColor(4, 2), QColor(0, 0, 0));
  EXPECT_EQ(img.pixelColor(6, 6), QColor(0, 0, 0));  // an eye
  EXPECT_EQ(img.pixelColor(5, 6), QColor(0, 255, 0));
  EXPECT_EQ(img.pixelColor(8, 14), QColor(0, 0, 0));  // the mouth

  ChoiceRig rig;
  TForm1& f = *rig.form;
  for (int i = 0; i < 88; ++i) f.piirranaama();
  EXPECT_EQ(f.PaintBox1->smileys().size(), 88u);
  EXPECT_EQ(f.PaintBox1->smileys()[10], QPoint(170, 0));
  EXPECT_EQ(f.PaintBox1->smileys()[11], QPoint(0, 22));
  EXPECT_EQ(f.PaintBox1->smileys().back(), QPoint(170, 154));
  f.piirranaama();  // the 89th clears the area and starts at the top left
  EXPECT_EQ(f.PaintBox1->smileys().size(), 1u);
  EXPECT_EQ(f.PaintBox1->smileys()[0], QPoint(0, 0));
  f.piirranaama();
  f.nollaa_peli();
  EXPECT_TRUE(f.PaintBox1->smileys().empty());
  f.piirranaama();
  EXPECT_EQ(f.PaintBox1->smileys(), std::vector<QPoint>{QPoint(0, 0)});
}
