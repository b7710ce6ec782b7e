#include "kit/services.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string_view>

namespace taktovi {

void MessageBoxErrorDisplay::show(const std::string& message) {
  QString text = QString::fromStdString(message);
  text.replace('\r', '\n');  // messages keep their carriage returns; the box shows them as lines
  QMessageBox::critical(parent_, QCoreApplication::applicationName(), text.trimmed());
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

namespace {

// The file a shell ran for `startedAs`: a path as it stands; a bare name, the first executable
// file of that name on PATH (an empty entry is the current directory, as for the shell).
std::filesystem::path startedFile(const std::string& startedAs) {
  if (startedAs.find('/') != std::string::npos) return startedAs;
  if (startedAs.empty()) return {};
  const char* path = std::getenv("PATH");
  std::string_view rest = path != nullptr ? path : "/bin:/usr/bin";
  for (;;) {
    const size_t colon = rest.find(':');
    const std::string_view entry = rest.substr(0, colon);
    const std::filesystem::path file = std::filesystem::path(entry.empty() ? "." : entry) / startedAs;
    std::error_code ec;
    if (std::filesystem::is_regular_file(file, ec) && ::access(file.c_str(), X_OK) == 0) return file;
    if (colon == std::string_view::npos) return {};
    rest.remove_prefix(colon + 1);
  }
}

}  // namespace

std::string executableDirectory(const std::string& startedAs, const std::string& selfLink) {
  // The kernel's link names the executable itself, whatever link it was started through. Once
  // the file has been replaced (a package upgrade while the program runs), the name ends in
  // " (deleted)" and no longer resolves, but its directory is still the right one.
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink(selfLink, ec);
  if (!ec && exe.is_absolute()) return exe.parent_path().string() + "/";
  const std::filesystem::path started = startedFile(startedAs);
  if (started.empty()) return kNowhere;
  const auto file = std::filesystem::canonical(started, ec);
  if (ec) return kNowhere;
  return file.parent_path().string() + "/";
}

}  // namespace taktovi
