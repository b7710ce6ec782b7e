// The timing trainer on a live Wayland compositor (sway's headless backend, wayland_session.sh):
// a press is judged at the compositor's time of the key, mapped onto our clock, also when the UI
// thread handles it late, whether the compositor's clock is ours or runs 5 s behind it. Keys come
// from a virtual keyboard that stamps them as a physical one is stamped (virtual_keyboard.cpp).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "kit/event_pump.h"
#include "support/processes.h"
#include "support/timing_view.h"

using namespace taktovi;
using namespace taktovi::test;
using namespace std::chrono_literals;

// Leaks of Qt's Wayland plugin and of libwayland-client (an activation token's request and
// what it holds), not of our code.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libwayland-client.so.0\nleak:libxdg-shell.so\nleak:libQt6WaylandClient.so.6\nleak:libQt6Core."
         "so.6\n";
}

namespace {

// Runs a command; what it printed, and whether it succeeded.
bool run(const std::string& command, std::string& out) {
  out.clear();
  FILE* p = popen(command.c_str(), "r");
  for (char line[512]; p != nullptr && fgets(line, sizeof line, p) != nullptr;) out += line;
  return p != nullptr && pclose(p) == 0;
}

class WaylandSession {
 public:
  WaylandSession() {
    char name[] = "/tmp/wl.XXXXXX";
    dir_ = mkdtemp(name) != nullptr ? name : "";
    std::string env;
    ok_ = run(std::string(TAKTOVI_WAYLAND_SESSION) + " start " + dir_, env);
    std::istringstream lines(env);
    for (std::string line; std::getline(lines, line);) {
      const auto eq = line.find('=');
      if (eq != std::string::npos) setenv(line.substr(0, eq).c_str(), line.substr(eq + 1).c_str(), 1);
    }
  }
  ~WaylandSession() {
    std::string out;
    run(std::string(TAKTOVI_WAYLAND_SESSION) + " stop " + dir_, out);
    std::filesystem::remove_all(dir_);
  }
  WaylandSession(const WaylandSession&) = delete;
  WaylandSession& operator=(const WaylandSession&) = delete;
  bool ok() const { return ok_; }

 private:
  std::string dir_;
  bool ok_ = false;
};

// The window handles its events until `done` holds, at most `limit`.
template <typename F>
void handleEventsUntil(F done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done() && std::chrono::steady_clock::now() < end) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(5ms);
  }
}

// The compositor's virtual keyboard, its keys stamped `offsetMs` off our clock.
class Keyboard {
 public:
  explicit Keyboard(int64_t offsetMs) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    const std::string offset = std::to_string(offsetMs);
    char* argv[] = {const_cast<char*>(TAKTOVI_VIRTUAL_KEYBOARD), const_cast<char*>(offset.c_str()), nullptr};
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv, environ) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    to_ = in[1];
    from_ = out[0];
  }
  ~Keyboard() {
    close(to_);
    close(from_);
    if (pid_ != 0) waitpid(pid_, nullptr, 0);
  }
  Keyboard(const Keyboard&) = delete;
  Keyboard& operator=(const Keyboard&) = delete;

  // Types `key`; with `handle`, the window handles what arrives meanwhile (a round it starts runs
  // in here, and may type keys of its own). The moment (steady ns) the key went down, 0 if it did not.
  int64_t type(const std::string& key, bool handle) {
    const size_t mine = written_++;
    const std::string line = key + "\n";
    if (write(to_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return 0;
    while (moments_.size() <= mine) {
      if (handle) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      pollfd p{from_, POLLIN, 0};
      if (poll(&p, 1, handle ? 5 : 5000) <= 0) {
        if (handle) continue;
        return 0;
      }
      char text[256];
      const ssize_t n = read(from_, text, sizeof text);
      if (n <= 0) return 0;
      pending_.append(text, static_cast<size_t>(n));
      for (size_t end; (end = pending_.find('\n')) != std::string::npos; pending_.erase(0, end + 1))
        moments_.push_back(std::atoll(pending_.substr(0, end).c_str()));
    }
    return moments_[mine];
  }

 private:
  pid_t pid_ = 0;
  int to_ = -1;
  int from_ = -1;
  size_t written_ = 0;            // keys asked for
  std::string pending_;           // what the keyboard printed, not yet a whole line
  std::vector<int64_t> moments_;  // the keys' moments, in the order they were asked for
};

// One window in a session of its own, in a process of its own (as ctest runs each test): a
// process's second window comes up on sway late or not at all.
void expectJudgedAtTheCompositorsTime(int64_t offsetMs) {
  if (std::system("command -v sway >/dev/null 2>&1") != 0) GTEST_SKIP() << "sway is not installed";
  WaylandSession session;
  ASSERT_TRUE(session.ok()) << "sway did not start";
  setenv("QT_QPA_PLATFORM", "wayland", 1);
  int argc = 1;
  char name[] = "wayland_tests";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  SteadyClock clock;
  QtEventPump pump(clock);
  RecordingMidiOut midi({{"Synth A"}}, &clock);
  RecordingMixer mixer;
  RecordingErrorDisplay errors;
  RecordingStarter starter;
  ScriptedDraws draws;
  TimingWindow form(
      TrainerDeps{midi, mixer, "/nonexistent/", clock, pump, errors, starter, draws, {1024, 768}});
  form.show();
  handleEventsUntil([&] { return form.isActiveWindow(); }, 10s);
  ASSERT_TRUE(form.isActiveWindow()) << "the compositor gave the window no focus";
  Keyboard keyboard(offsetMs);
  keyboard.type("shift", true);  // the compositor hands over the keymap, and a first time
  // In slot 2 the space bar goes down while the UI thread is held busy.
  int64_t pressed = 0, handledAfter = 0;
  QTimer::singleShot(std::chrono::milliseconds(kWaitBeforeRoundMs + 1600), [&] {
    pressed = keyboard.type("space", false);
    std::this_thread::sleep_for(400ms);
    handledAfter = clock.nowNs();
  });
  keyboard.type("return", true);  // the round runs in here, or in the loop below
  const TimingTestView view{form};
  handleEventsUntil([&] { return handledAfter != 0 && !view.playback().soi; }, 30s);
  const auto& round = view.round();
  ASSERT_GT(pressed, 0) << offsetMs;
  ASSERT_TRUE(round.painallus.has_value()) << offsetMs << ": the press did not count";
  EXPECT_NEAR(static_cast<double>(*round.painallus), static_cast<double>(pressed), 3e6) << offsetMs;
  EXPECT_LT(*round.painallus, handledAfter - 300'000'000) << offsetMs;
  std::printf(
      "[ figures  ] events %lld ms off our clock: press judged %+.2f ms from when the key went down, "
      "%.0f ms before it was handled\n",
      static_cast<long long>(offsetMs), static_cast<double>(*round.painallus - pressed) / 1e6,
      static_cast<double>(handledAfter - *round.painallus) / 1e6);
}

}  // namespace

TEST(Wayland, APressIsJudgedAtTheCompositorsTimeOnOurClock) {
  expectJudgedAtTheCompositorsTime(0);
}

TEST(Wayland, APressIsJudgedAtTheCompositorsTimeOnAClock5sBehind) {
  expectJudgedAtTheCompositorsTime(-5000);
}
