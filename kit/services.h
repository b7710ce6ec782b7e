#pragma once
// Small platform services the windows use: the standard error display, starting the other
// program, and the random draws.

#include <QString>
#include <exception>
#include <functional>
#include <memory>
#include <string>

class QTranslator;
class QWidget;

namespace taktovi {

// Shows the message of an error that escaped a handler; the program goes on.
class ErrorDisplay {
 public:
  virtual ~ErrorDisplay() = default;
  virtual void show(const std::string& message) = 0;
  // The window the display belongs to, once it exists.
  virtual void setParentWindow(QWidget*) {}
};

class MessageBoxErrorDisplay final : public ErrorDisplay {
 public:
  explicit MessageBoxErrorDisplay(QWidget* parent = nullptr) : parent_(parent) {}
  void setParentWindow(QWidget* parent) override { parent_ = parent; }
  void show(const std::string& message) override;

 private:
  QWidget* parent_;
};

// Wraps a handler so that an exception leaving it reaches the error display. The handler's
// argument types are given explicitly (guarded<int>(...)) so signals can connect to it.
template <typename... Args, typename F>
auto guarded(ErrorDisplay& display, F f) {
  return [&display, f](Args... args) {
    try {
      f(args...);
    } catch (const std::exception& e) {
      display.show(e.what());
    }
  };
}

// Starts a program by file name from the running executable's directory, no arguments
// (program_start.h).
class ProgramStarter {
 public:
  virtual ~ProgramStarter() = default;
  // True once the program is up, its window shown. A program that does not come up is ended:
  // false, and nothing of it runs.
  virtual bool start(const std::string& fileName) = 0;
  // Where the program is looked for, for messages.
  virtual std::string location(const std::string& fileName) const = 0;
};

// Uniform draws from 0 to n - 1; the system's generator is seeded from the time of day
// before each draw.
class RandomDraws {
 public:
  virtual ~RandomDraws() = default;
  virtual int draw(int n) = 0;
};

class TimeSeededDraws final : public RandomDraws {
 public:
  int draw(int n) override;
};

// Qt's own texts (message-box buttons, the context menus of text fields and scroll bars) in
// German while this lives, from the translations Qt is installed with. Needs the application.
class GermanQtTexts {
 public:
  GermanQtTexts();
  ~GermanQtTexts();
  GermanQtTexts(const GermanQtTexts&) = delete;
  GermanQtTexts& operator=(const GermanQtTexts&) = delete;
  bool loaded() const { return loaded_; }

 private:
  std::unique_ptr<QTranslator> translator_;
  bool loaded_ = false;
};

// A directory in which nothing is ever found: a path through a file.
inline constexpr const char* kNowhere = "/dev/null/";

// The directory of the running executable, ending with '/': where the file really is, also when
// the program was started through a symbolic link. The kernel's link `selfLink` tells; where it
// cannot be read, `startedAs` (argv[0]) does: a path, from the current directory if relative, or
// a bare name, found on PATH as the shell found it. Failing both, kNowhere, never the current
// directory: what lies there is not ours.
std::string executableDirectory(const std::string& startedAs, const std::string& selfLink = "/proc/self/exe");

}  // namespace taktovi
