#include <gtest/gtest.h>

#include <QScrollBar>
#include <sstream>

#include "support/timing_view.h"

using namespace taktovi;
using namespace taktovi::test;

namespace {

// A pool of 30 rectangles and what a build reads, without a window.
struct TimingTaskPool {
  explicit TimingTaskPool(int width = 800) : ladder(makeTimingLadder(width)) {
    for (int i = 0; i < kTimingPool; ++i) {
      owned.push_back(std::make_unique<Tomapaneli>());
      pool.add(owned.back().get());
    }
  }
  void build(int task) { rakenna_tehtava(task, ladder, {isku, isku * 0.5, korkeudet}, pool); }
  std::vector<int32_t> field(int n, int32_t Tomapaneli::*m) const {
    std::vector<int32_t> v;
    for (int i = 1; i <= n; ++i) v.push_back(pool[i]->*m);
    return v;
  }
  std::vector<std::unique_ptr<Tomapaneli>> owned;
  RectanglePool pool;
  TimingLadder ladder;
  double isku = 1000;
  std::array<int32_t, 10> korkeudet = {0, 50, 52, 54, 56, 58, 60, 1, 2, 0};
};

}  // namespace

TEST(TimingCatalogue, LaddersAtTwoScreenWidths) {
  const TimingLadder l800 = makeTimingLadder(800);
  EXPECT_EQ(l800.x_askel[0], 32);
  EXPECT_EQ(l800.x_askel[17], 712);
  EXPECT_EQ(l800.y_askel, (std::array<int32_t, 4>{232, 192, 152, 112}));
  const TimingLadder l1024 = makeTimingLadder(1024);
  EXPECT_DOUBLE_EQ(l1024.skaala, 1.28);
  EXPECT_EQ(std::vector<int32_t>(l1024.x_askel.begin(), l1024.x_askel.begin() + 3),
            (std::vector<int32_t>{41, 92, 143}));
  EXPECT_EQ(l1024.y_askel, (std::array<int32_t, 4>{297, 246, 195, 143}));
}

TEST(TimingCatalogue, Task4At800And1024) {
  TimingTaskPool a(800);
  a.build(4);  // 2 2h 2h 2 2
  EXPECT_EQ(a.field(5, &Tomapaneli::vasen), (std::vector<int32_t>{32, 112, 152, 192, 272}));
  EXPECT_EQ(a.field(5, &Tomapaneli::yla), std::vector<int32_t>(5, 192));
  EXPECT_EQ(a.field(5, &Tomapaneli::muoto), (std::vector<int32_t>{1, 2, 2, 1, 1}));
  EXPECT_EQ(a.field(5, &Tomapaneli::savel), std::vector<int32_t>(5, 52));
  const double kesto[] = {1000, 500, 500, 1000, 1000};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(a.pool[i + 1]->kesto, kesto[i]) << i;
  EXPECT_EQ(a.pool[6]->vasen, 0);
  TimingTaskPool b(1024);
  b.build(4);
  EXPECT_EQ(b.field(5, &Tomapaneli::vasen), (std::vector<int32_t>{41, 143, 195, 246, 348}));
  EXPECT_EQ(b.pool[1]->yla, 246);
}

TEST(TimingCatalogue, RowsFollowTheLevelsNotTheOrder) {
  TimingTaskPool c;
  c.build(27);  // 6 5 4 3: falling from left to right
  EXPECT_EQ(c.field(4, &Tomapaneli::yla), (std::vector<int32_t>{112, 152, 192, 232}));
  c.build(23);  // 3 4 5
  EXPECT_EQ(c.field(3, &Tomapaneli::yla), (std::vector<int32_t>{232, 192, 152}));
  c.build(22);  // 2 4 4
  EXPECT_EQ(c.field(3, &Tomapaneli::yla), (std::vector<int32_t>{192, 152, 152}));
  c.build(36);  // 1 2 3 4 1 2 3 4
  EXPECT_EQ(c.field(4, &Tomapaneli::yla), (std::vector<int32_t>{232, 192, 152, 112}));
  // A rest takes a beat: the tone after it at design x 352.
  c.build(2);  // 3 3 3 R 3 3 3
  EXPECT_EQ(c.pool[5]->vasen, 352);
  EXPECT_EQ(c.pool[4]->savel, 0);
  // Strong tones tall, on the row of 192.
  c.build(42);  // W S W
  EXPECT_EQ(c.field(3, &Tomapaneli::muoto), (std::vector<int32_t>{1, 3, 1}));
  EXPECT_EQ(c.field(3, &Tomapaneli::savel), (std::vector<int32_t>{2, 1, 2}));
  EXPECT_EQ(c.field(3, &Tomapaneli::yla), std::vector<int32_t>(3, 192));
}

TEST(TimingCatalogue, LongestTaskThenAShortOneAndNumbersOutside) {
  TimingTaskPool c;
  c.build(17);  // 11 elements
  EXPECT_GT(c.pool[11]->vasen, 0);
  EXPECT_EQ(c.pool[12]->vasen, 0);
  const int32_t behind = c.pool[5]->vasen;
  c.build(0);
  EXPECT_EQ(c.pool[4]->vasen, 0);
  EXPECT_EQ(c.pool[5]->vasen, behind);  // behind the end marker, as it was
  const auto before = c.field(30, &Tomapaneli::vasen);
  for (int t : {56, -1}) {
    c.build(t);
    EXPECT_EQ(c.field(30, &Tomapaneli::vasen), before) << t;
  }
  // Building twice gives the same slots; a tempo change reaches only the next build.
  c.build(9);
  const auto once = c.field(12, &Tomapaneli::vasen);
  c.build(9);
  EXPECT_EQ(c.field(12, &Tomapaneli::vasen), once);
  c.isku = 1800;
  EXPECT_EQ(c.pool[1]->kesto, 1000);
  c.build(9);
  EXPECT_EQ(c.pool[1]->kesto, 1800);
}

TEST(TimingCatalogue, EveryTaskKeepsTheCataloguesRules) {
  // The number of levels of every task, as the catalogue's row table lists them.
  std::map<int, size_t> levels;
  for (int t : {22, 24, 25, 26, 28, 30, 31, 32, 33, 34, 35, 37, 38, 39, 40}) levels[t] = 2;
  for (int t : {23, 29}) levels[t] = 3;
  for (int t : {27, 36}) levels[t] = 4;
  for (int t = 0; t < kTimingTasks; ++t) {
    const auto elements = parsePattern(timingTaskPattern(t));
    const size_t want = t <= 21 ? 1 : t <= 40 ? (levels.count(t) != 0 ? levels[t] : 1) : 0;
    EXPECT_EQ(levelsOf(elements).size(), want) << t;
    EXPECT_GE(elements.size(), 3u) << t;
    EXPECT_LE(elements.size(), 11u) << t;
    EXPECT_NE(elements.front().kind, Element::Kind::Rest) << t;
    EXPECT_NE(elements.back().kind, Element::Kind::Rest) << t;
    EXPECT_FALSE(elements.back().half) << t;
    int halves = 0, rests = 0;
    for (const Element& e : elements) {
      halves += e.half ? 1 : 2;
      rests += e.kind == Element::Kind::Rest;
    }
    EXPECT_LE(rests, 1) << t;
    EXPECT_EQ(halves % 2, 0) << t;
    EXPECT_LE(halves - (elements.back().half ? 1 : 2), 16) << t;  // the last at entry 16 at most
  }
  EXPECT_EQ(timingTaskPattern(56), nullptr);
}

TEST(TimingDrawing, SizesFromTheTemplateAndThePreviewTask) {
  TimingRig rig;
  TimingTestView v = view(rig);
  v.settings().aanisuhde = 0.55;
  v.build(4);  // 2 2h 2h 2 2
  v.draw();
  EXPECT_EQ(rig.slot(1)->geometry(), QRect(32, 192, 49, 25));
  EXPECT_EQ(rig.slot(2)->size(), QSize(21, 25));
  EXPECT_TRUE(rig.slot(6)->isHidden());
  v.build(42);  // W S W
  v.draw();
  EXPECT_EQ(rig.slot(2)->size(), QSize(49, 38));  // 37.5 to even
  // The tone/pause bar shows task 0 at once, in the rectangle colour.
  rig.get<QScrollBar>("ScrollBar2")->setValue(80);
  EXPECT_EQ(rig.slot(1)->size(), QSize(65, 25));
  EXPECT_FALSE(rig.slot(3)->isHidden());
  EXPECT_TRUE(rig.slot(4)->isHidden());
  EXPECT_EQ(rig.slot(1)->colour(), colours::navy);
}
