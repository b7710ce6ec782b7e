#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>

#include "kit/services.h"

using namespace taktovi;

TEST(GermanQtTexts, QtsOwnTextsReadGermanWhileLoaded) {
  const QString cancel = QCoreApplication::translate("QPlatformTheme", "Cancel");
  {
    GermanQtTexts german;
    ASSERT_TRUE(german.loaded()) << "qt6-translations-l10n is installed by scripts/install-deps.sh";
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Abbrechen");
    // A text field's context menu, as a user would open it.
    QLineEdit field("TAKTOVI");
    std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    QStringList entries;
    for (QAction* a : menu->actions()) entries << a->text().remove('&').section('\t', 0, 0);
    EXPECT_TRUE(entries.contains("Kopieren")) << entries.join(", ").toStdString();
  }
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), cancel);  // removed again
}
