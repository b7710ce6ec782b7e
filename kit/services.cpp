#include "kit/services.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QProcess>
#include <QTranslator>
#include <chrono>
#include <filesystem>
#include <random>

namespace taktovi {

void MessageBoxErrorDisplay::show(const std::string& message) {
  QString text = QString::fromStdString(message);
  text.replace('\r', '\n');  // messages keep their carriage returns; the box shows them as lines
  QMessageBox::critical(parent_, QCoreApplication::applicationName(), text.trimmed());
}

bool SiblingProgramStarter::start(const std::string& fileName) {
  return QProcess::startDetached(QString::fromStdString(dir_ + fileName), {});
}

int TimeSeededDraws::draw(int n) {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  std::mt19937 generator(
      static_cast<unsigned>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()));
  return std::uniform_int_distribution<int>(0, n - 1)(generator);
}

GermanQtTexts::GermanQtTexts() : translator_(std::make_unique<QTranslator>()) {
  loaded_ = translator_->load(QLocale(QLocale::German, QLocale::Germany), "qtbase", "_",
                              QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  if (loaded_) QCoreApplication::installTranslator(translator_.get());
}

GermanQtTexts::~GermanQtTexts() {
  if (loaded_) QCoreApplication::removeTranslator(translator_.get());
}

std::string executableDirectory() {
  // The kernel's link names the executable itself, whatever link it was started through. Once
  // the file has been replaced (a package upgrade while the program runs), the name ends in
  // " (deleted)" and no longer resolves, but its directory is still the right one.
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || !exe.is_absolute()) return "./";
  return exe.parent_path().string() + "/";
}

}  // namespace taktovi
