// taktovi1demo: the choice trainer.
#include <QApplication>
#include <QScreen>

#include "choice/app.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(taktovi::kChoiceApplicationTitle);
  taktovi::ChoiceApp trainer(QGuiApplication::primaryScreen()->geometry().size());
  trainer.form->show();
  return QApplication::exec();
}
