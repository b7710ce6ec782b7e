#pragma once
// Ends the program on SIGTERM, SIGINT and SIGHUP the way the program chooses, from Qt's event
// loop. The signal handler only writes the signal's number into a socket pair; a socket
// notifier reads it on the UI thread and calls the callback there, so the callback may do
// anything a menu handler does (end the melody, close MIDI, release the mixer, quit).
//
// One instance at a time (the handler reaches it through the one static write end); it
// needs a QCoreApplication. The callback runs once per signal received, also from inside
// nested event loops (a melody's waits). The destructor puts the previous handlers back,
// unless the program has begun to end (ignoreUntilExit).

#include <signal.h>

#include <QObject>
#include <array>
#include <functional>

class QSocketNotifier;

namespace taktovi {

class QuitSignals final : public QObject {
 public:
  static constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};

  // Installs the handlers; throws std::runtime_error when another instance is active or the
  // socket pair cannot be made.
  explicit QuitSignals(std::function<void(int signal)> onSignal, QObject* parent = nullptr);
  ~QuitSignals() override;
  QuitSignals(const QuitSignals&) = delete;
  QuitSignals& operator=(const QuitSignals&) = delete;

  // The event loop has returned and the program tears down: from now on, also after this
  // object is gone, the signals are ignored. A signal then asks for what is happening anyway,
  // and must not end the process with its own status instead of the program's.
  void ignoreUntilExit();

 private:
  void readPending();

  std::function<void(int)> onSignal_;
  int fds_[2] = {-1, -1};
  std::array<struct sigaction, kSignals.size()> previous_{};
  QSocketNotifier* notifier_ = nullptr;
  bool ignoring_ = false;
};

}  // namespace taktovi
