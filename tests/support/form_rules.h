#pragma once
// The rules a window's form description keeps, checked on the window built from it: every line
// built into a control or menu entry of its name, names given once, and every control inside
// its parent at the design size (what lies outside would be cut off or hidden).

#include <gtest/gtest.h>

#include <QAction>
#include <QMainWindow>
#include <QMenuBar>
#include <QRegularExpression>
#include <QWidget>
#include <set>
#include <string>

#include "kit/widget_kit.h"

namespace taktovi::test {

inline void expectFormRules(const QMainWindow& window, const char* formResource) {
  std::set<std::string> names;
  for (const QString& line : resourceText(formResource).split('\n')) {
    const QStringList words = line.trimmed().split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    if (words.size() < 3 || words[0].startsWith('#')) continue;
    const std::string name = words[1].toStdString();
    EXPECT_TRUE(names.insert(name).second) << name << " is given twice";
    const bool menuEntry = words[0] == "menu" || words[0] == "item" || words[0] == "action";
    if (menuEntry) {
      EXPECT_NE(window.menuBar()->findChild<QAction*>(words[1]), nullptr) << name;
      continue;
    }
    const auto found = window.findChildren<QWidget*>(words[1]);
    ASSERT_EQ(found.size(), 1) << name;
    const QWidget* w = found.front();
    const QWidget* parent = w->parentWidget();
    EXPECT_EQ(parent->objectName(), words[2] == "-" ? QString("design") : words[2]) << name;
    EXPECT_TRUE(QRect(QPoint(), parent->size()).contains(w->geometry()))
        << name << " lies outside its parent";
  }
}

}  // namespace taktovi::test
