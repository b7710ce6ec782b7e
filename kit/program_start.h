#pragma once
// Starting the other program so that this one closes only once the other is really up.
//
// The starter listens on a Linux abstract unix socket named after its own pid, starts the
// program as its child (no arguments) and waits until that child connects to it: the child
// does so with reportStarted() once its window shows. Meanwhile the window stays painted and
// user input waits, as in the blocking waits. A child that dies, or does not report within
// the patience, has not come up: it is ended (SIGTERM, SIGKILL after a grace) and reaped.
// Only the child's own connection counts (the peer's pid). A program started any other way
// (a shell, the desktop's menu) finds no listener, and its report does nothing.

#include <sys/types.h>

#include <chrono>
#include <string>

#include "kit/services.h"

namespace taktovi {

class SiblingProgramStarter final : public ProgramStarter {
 public:
  static constexpr std::chrono::milliseconds kPatience{10000};

  explicit SiblingProgramStarter(std::string executableDir, std::chrono::milliseconds patience = kPatience)
      : dir_(std::move(executableDir)), patience_(patience) {}
  bool start(const std::string& fileName) override;
  std::string location(const std::string& fileName) const override { return dir_ + fileName; }

 private:
  std::string dir_;
  std::chrono::milliseconds patience_;
};

// Tells the program that started this one, if it waits for that, that this one is up.
void reportStarted();
// The same report to the starter with the given pid (tests).
void reportStartedTo(pid_t starter);

}  // namespace taktovi
