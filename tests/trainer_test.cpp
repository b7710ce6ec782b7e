#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QWheelEvent>

#include "kit/form.h"
#include "trainer/pattern.h"
#include "trainer/score.h"

using namespace taktovi;

TEST(Pattern, NotationAndLevels) {
  const auto p = parsePattern("3h 3h 5 R S W 1");
  ASSERT_EQ(p.size(), 7u);
  EXPECT_EQ(p[0].kind, Element::Kind::Pitch);
  EXPECT_EQ(p[0].level, 3);
  EXPECT_TRUE(p[0].half);
  EXPECT_FALSE(p[2].half);
  EXPECT_EQ(p[3].kind, Element::Kind::Rest);
  EXPECT_EQ(p[4].kind, Element::Kind::Strong);
  EXPECT_EQ(p[5].kind, Element::Kind::Weak);
  EXPECT_EQ(levelsOf(p), (std::vector<int>{1, 3, 5}));
  EXPECT_TRUE(levelsOf(parsePattern("S W W")).empty());
}

TEST(Pattern, WritesFieldsFromTheGivenPlacesAndLeavesTheRestAlone) {
  std::vector<std::unique_ptr<Tomapaneli>> owned;
  RectanglePool pool;
  for (int i = 0; i < 8; ++i) {
    owned.push_back(std::make_unique<Tomapaneli>());
    owned.back()->vasen = 99;
    pool.add(owned.back().get());
  }
  const std::array<int32_t, 10> pitches = {0, 50, 52, 54, 56, 58, 60, 1, 2, 0};
  const std::vector<int32_t> x = {10, 15, 20, 25, 30, 35, 40, 45, 50, 55};
  PatternPlace place{x, {0, 101, 102, 103, 104, 105, 106}, 200};
  writePattern(parsePattern("2 4h 4h R S W"), place, {800, 400, pitches}, pool, 2);
  EXPECT_EQ(pool[1]->vasen, 99);  // before the first slot: untouched
  const int32_t vasen[] = {10, 20, 25, 30, 40, 50};
  const int32_t yla[] = {102, 104, 104, 200, 200, 200};
  const int32_t muoto[] = {1, 2, 2, 1, 3, 1};
  const int32_t savel[] = {52, 56, 56, 0, 1, 2};
  const double kesto[] = {800, 400, 400, 800, 800, 800};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(pool[2 + i]->vasen, vasen[i]) << i;
    EXPECT_EQ(pool[2 + i]->yla, yla[i]) << i;
    EXPECT_EQ(pool[2 + i]->muoto, muoto[i]) << i;
    EXPECT_EQ(pool[2 + i]->savel, savel[i]) << i;
    EXPECT_EQ(pool[2 + i]->kesto, kesto[i]) << i;
  }
  EXPECT_EQ(pool[8]->vasen, 0);  // the end marker
}

TEST(Score, PercentRoundsHalvesToEvenExactly) {
  EXPECT_EQ(percentOf(1, 8), 12);  // 12.5
  EXPECT_EQ(percentOf(3, 8), 38);  // 37.5
  EXPECT_EQ(percentOf(2, 3), 67);
  EXPECT_EQ(percentOf(23, 40), 58);    // 57.5: floating point would say 57
  EXPECT_EQ(percentOf(109, 200), 54);  // 54.5
  EXPECT_EQ(percentOf(0, 5), 0);
  EXPECT_EQ(percentOf(7, 7), 100);
  // For every count up to 400: at most half a per cent off, and an exact half goes to even.
  for (int32_t y = 1; y <= 400; ++y) {
    for (int32_t o = 0; o <= y; ++o) {
      const int32_t p = percentOf(o, y);
      const int64_t twiceOff = 2 * (int64_t{100} * o - int64_t{p} * y);  // 2 y (exact - p)
      ASSERT_LE(std::abs(twiceOff), y) << o << "/" << y;
      if (std::abs(twiceOff) == y) {
        ASSERT_EQ(p % 2, 0) << o << "/" << y;
      }
    }
  }
  Score s{3, 5};
  EXPECT_EQ(pointsText(s), "  3");
  EXPECT_EQ(percentText(s), "60 %");
  EXPECT_EQ(percentText(Score{}), "");
}

TEST(Form, BuildsScaledControlsAndMenusFromItsDescription) {
  QMainWindow window;
  auto* root = new QWidget(&window);
  Placer placer(1.28);
  Form form(root, window.menuBar(), placer);
  form.build(R"(# a comment line
panel     Strip  -      10 20 100 50 colour=192,192,192
label     Title  Strip   5  5  60 20 text="TAKTOVI 2" font=24 centre
scrollbar Bar    Strip   5 30  80 10 range=30..80 pos=55 step=1
field     Score  Strip  70  5  20 20 nofocus hidden
button    Ok     -       0  0  30 20 text="OK"
menu      FILE   -      text="DATEI"
item      QUIT   FILE   text="EXIT"
action    SND    -      text="SOUND"
)");
  EXPECT_EQ(form.widget("Strip")->geometry(), QRect(13, 26, 128, 64));
  EXPECT_EQ(form.widget("Strip")->palette().color(QPalette::Window), QColor(192, 192, 192));
  auto* title = form.get<QLabel>("Title");
  EXPECT_EQ(title->parentWidget(), form.widget("Strip"));
  EXPECT_EQ(title->text(), "TAKTOVI 2");
  EXPECT_EQ(title->font().pixelSize(), 31);
  EXPECT_EQ(title->alignment(), Qt::AlignCenter);
  auto* bar = form.get<QScrollBar>("Bar");
  EXPECT_EQ(bar->minimum(), 30);
  EXPECT_EQ(bar->maximum(), 80);
  EXPECT_EQ(bar->value(), 55);
  EXPECT_EQ(bar->focusPolicy(), Qt::NoFocus);
  EXPECT_TRUE(form.get<QLineEdit>("Score")->isReadOnly());
  EXPECT_TRUE(form.widget("Score")->isHidden());
  EXPECT_EQ(form.get<QPushButton>("Ok")->text(), "OK");
  EXPECT_EQ(form.action("QUIT")->text(), "EXIT");
  EXPECT_EQ(form.menu("FILE")->title(), "DATEI");
  EXPECT_EQ(window.menuBar()->actions().size(), 2);
  EXPECT_THROW(form.get<QLabel>("Ok"), std::runtime_error);
  EXPECT_THROW(form.widget("Nothing"), std::runtime_error);
  EXPECT_THROW(form.build("dial Knob - 0 0 1 1"), std::runtime_error);
  EXPECT_THROW(form.build("label Orphan Nowhere 0 0 1 1"), std::runtime_error);
  EXPECT_THROW(form.build("label Short -"), std::runtime_error);

  // The wheel does not move a bar: the original's bars never had the focus.
  window.show();
  QWheelEvent wheel(QPointF(5, 5), bar->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, -120), Qt::NoButton, {},
                    Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(bar, &wheel);
  EXPECT_EQ(bar->value(), 55);
}
