#include <gtest/gtest.h>

#include <QScrollBar>
#include <sstream>

#include "support/choice_view.h"
#include "trainer/smiley.h"

using namespace taktovi;
using namespace taktovi::test;

namespace {

// A pool of 32 rectangles and what a build reads, without a window.
struct ChoiceTaskPool {
  explicit ChoiceTaskPool(int width = 800) : ladder(makeChoiceLadder(width)) {
    for (int i = 0; i < kChoicePool; ++i) {
      owned.push_back(std::make_unique<Tomapaneli>());
      pool.add(owned.back().get());
    }
  }
  void build(int task) { rakenna_tehtava(task, ladder, {isku, puoli_isku, korkeudet}, pool); }
  std::vector<int32_t> field(int first, int n, int32_t Tomapaneli::*m) const {
    std::vector<int32_t> v;
    for (int i = 0; i < n; ++i) v.push_back(pool[first + i]->*m);
    return v;
  }
  std::vector<std::unique_ptr<Tomapaneli>> owned;
  RectanglePool pool;
  ChoiceLadder ladder;
  double isku = 1000, puoli_isku = 500;
  std::array<int32_t, 10> korkeudet = {0, 50, 52, 54, 56, 58, 60, 1, 2, 0};
};

}  // namespace

TEST(ChoiceCatalogue, HalfBeatTaskAtTwoScreenWidths) {
  ChoiceTaskPool a(800);
  a.build(6);  // 2 2h 2h 2
  EXPECT_EQ(a.field(1, 4, &Tomapaneli::vasen), (std::vector<int32_t>{20, 80, 110, 140}));
  EXPECT_EQ(a.field(1, 4, &Tomapaneli::yla), (std::vector<int32_t>{72, 72, 72, 72}));
  EXPECT_EQ(a.field(1, 4, &Tomapaneli::muoto), (std::vector<int32_t>{1, 2, 2, 1}));
  EXPECT_EQ(a.field(1, 4, &Tomapaneli::savel), (std::vector<int32_t>{52, 52, 52, 52}));
  EXPECT_EQ(a.pool[1]->kesto, 1000);
  EXPECT_EQ(a.pool[2]->kesto, 500);
  EXPECT_EQ(a.pool[3]->kesto, 500);
  EXPECT_EQ(a.pool[4]->kesto, 1000);
  EXPECT_EQ(a.pool[5]->vasen, 0);

  ChoiceTaskPool b(1024);
  b.build(6);
  EXPECT_EQ(b.field(1, 4, &Tomapaneli::vasen), (std::vector<int32_t>{26, 102, 141, 179}));
  EXPECT_EQ(b.pool[1]->yla, 92);
}

TEST(ChoiceCatalogue, TasksOfEachGroupAt640_800_1024) {
  for (int width : {640, 800, 1024}) {
    ChoiceTaskPool c(width);
    const auto& x = c.ladder.x_askel;
    const int32_t up = c.ladder.y_ylempi, low = c.ladder.y_alempi;
    // Group 1: a rest takes one beat and is a silent slot.
    c.build(2);  // 3 3 3 R 3 3 3
    EXPECT_EQ(c.pool[5]->vasen, x[9]) << width;
    EXPECT_EQ(c.pool[4]->savel, 0);
    EXPECT_EQ(c.pool[4]->kesto, 1000);
    EXPECT_EQ(c.pool[8]->vasen, 0);
    // Group 3: two levels, the higher on the upper line whatever the order.
    c.build(16);  // 4 2 2
    EXPECT_EQ(c.field(1, 3, &Tomapaneli::yla), (std::vector<int32_t>{up, low, low}));
    c.build(19);  // 5 1 5 5
    EXPECT_EQ(c.field(21, 4, &Tomapaneli::yla), (std::vector<int32_t>{up, low, up, up}));
    EXPECT_EQ(c.field(21, 4, &Tomapaneli::savel), (std::vector<int32_t>{58, 50, 58, 58}));
    // Group 4: strong tones tall, codes 1 and 2.
    c.build(44);  // S W W
    EXPECT_EQ(c.field(1, 3, &Tomapaneli::muoto), (std::vector<int32_t>{3, 1, 1}));
    EXPECT_EQ(c.field(1, 3, &Tomapaneli::savel), (std::vector<int32_t>{1, 2, 2}));
    EXPECT_EQ(c.field(1, 3, &Tomapaneli::yla), (std::vector<int32_t>{low, low, low}));
    // Group 2: half beats on the ladder's half steps.
    c.build(13);  // 1h 1h 1 1 1 1h 1h 1 1 1
    EXPECT_EQ(c.field(21, 4, &Tomapaneli::vasen), (std::vector<int32_t>{x[1], x[2], x[3], x[5]})) << width;
  }
}

TEST(ChoiceCatalogue, LongestLowerTaskFillsItsBoxAndLeavesTheUpperAlone) {
  ChoiceTaskPool c;
  c.build(0);
  const auto upper = c.field(1, 4, &Tomapaneli::vasen);
  c.build(15);  // 11 elements
  EXPECT_GT(c.pool[31]->vasen, 0);
  EXPECT_EQ(c.pool[32]->vasen, 0);
  EXPECT_EQ(c.field(1, 4, &Tomapaneli::vasen), upper);
  c.build(1);
  EXPECT_EQ(c.field(1, 4, &Tomapaneli::vasen), upper);  // task 0 as it was
  EXPECT_EQ(upper, (std::vector<int32_t>{20, 80, 140, 0}));
}

TEST(ChoiceCatalogue, BuildCopiesTempoAndPitchOfTheMoment) {
  ChoiceRig rig;
  ChoiceTestView v = view(rig);
  auto* tempo = rig.get<QScrollBar>("ScrollBar1");
  v.build(8);  // 6 6h 6h 6 6
  tempo->setValue(200);
  EXPECT_EQ(v.settings().isku, 1800);
  EXPECT_EQ(v.settings().puoli_isku, 900);
  EXPECT_EQ(rig.slot(1)->kesto, 1000);  // built before: unchanged
  v.build(8);
  EXPECT_EQ(rig.slot(1)->kesto, 1800);
  EXPECT_EQ(rig.slot(2)->kesto, 900);
  tempo->setValue(1800);
  EXPECT_EQ(v.settings().isku, 200);
  EXPECT_EQ(v.settings().puoli_isku, 100);
  // A task built in WAV mode holds rates.
  rig.dir.write("piano.wav", pcmWave(pcm16(std::vector<int16_t>(100, 9))));
  v.sound().LuoDirectsound();
  v.build(8);
  EXPECT_EQ(rig.slot(1)->savel, 44100);
}

TEST(ChoiceCatalogue, NumbersOutsideTheCatalogueBuildNothing) {
  ChoiceTaskPool c;
  c.build(0);
  c.build(1);
  const auto before = c.field(1, 32, &Tomapaneli::vasen);
  for (int t : {56, -1, 1000}) {
    c.build(t);
    EXPECT_EQ(c.field(1, 32, &Tomapaneli::vasen), before) << t;
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
  ChoiceTestView v = view(rig);
  v.build(6);  // 2 2h 2h 2
  v.draw(true);
  EXPECT_EQ(rig.slot(1)->geometry(), QRect(20, 72, 38, 21));
  EXPECT_EQ(rig.slot(2)->size(), QSize(17, 21));
  EXPECT_FALSE(rig.slot(1)->isHidden());
  EXPECT_TRUE(rig.slot(5)->isHidden());  // the end marker
  v.build(44);                           // S W W
  v.draw(true);
  EXPECT_EQ(rig.slot(1)->size(), QSize(38, 32));  // 31.5 to even
  rig.get<QScrollBar>("ScrollBar2")->setValue(80);
  EXPECT_DOUBLE_EQ(v.settings().aanisuhde, 0.80);
  // The preview pair replaces what was shown: tasks 0 and 1, 51 wide at 0.80.
  EXPECT_EQ(rig.slot(1)->size(), QSize(51, 21));
  EXPECT_EQ(rig.slot(4)->vasen, 0);
  EXPECT_FALSE(rig.slot(21)->isHidden());
  EXPECT_EQ(rig.slot(25)->vasen, 0);
  rig.get<QScrollBar>("ScrollBar2")->setValue(30);
  EXPECT_DOUBLE_EQ(v.settings().aanisuhde, 0.30);
}

TEST(ChoiceDrawing, RestsAreSkippedAndOtherShapesKeepTheirSize) {
  ChoiceRig rig;
  ChoiceTestView v = view(rig);
  v.build(2);  // 3 3 3 R 3 3 3
  rig.slot(2)->muoto = 7;
  v.draw(true);
  EXPECT_TRUE(rig.slot(4)->isHidden());
  EXPECT_FALSE(rig.slot(5)->isHidden());
  EXPECT_EQ(rig.slot(2)->size(), QSize(51, 21));
  // A second rectangle with vasen 0 shows exactly one.
  v.palauta_ruutu();
  rig.slot(2)->vasen = 0;
  v.draw(true);
  EXPECT_FALSE(rig.slot(1)->isHidden());
  EXPECT_TRUE(rig.slot(3)->isHidden());
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
  auto* box = rig.get<SmileyArea>("PaintBox1");
  for (int i = 0; i < 88; ++i) box->piirranaama();
  EXPECT_EQ(box->smileys().size(), 88u);
  EXPECT_EQ(box->smileys()[10], QPoint(170, 0));
  EXPECT_EQ(box->smileys()[11], QPoint(0, 22));
  EXPECT_EQ(box->smileys().back(), QPoint(170, 154));
  box->piirranaama();  // the 89th clears the area and starts at the top left
  EXPECT_EQ(box->smileys().size(), 1u);
  EXPECT_EQ(box->smileys()[0], QPoint(0, 0));
  box->piirranaama();
  rig.action("ALOITAALUSTA1")->trigger();
  EXPECT_TRUE(box->smileys().empty());
  box->piirranaama();
  EXPECT_EQ(box->smileys(), std::vector<QPoint>{QPoint(0, 0)});
}
