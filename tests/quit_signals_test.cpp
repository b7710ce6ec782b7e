#include "kit/quit_signals.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <memory>
#include <stdexcept>
#include <vector>

#include "audio/audio_engine.h"

using namespace taktovi;

namespace {

// Runs Qt's event loop until `done` or two seconds have passed.
template <typename Done>
void runEventsUntil(Done done) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
}

sighandler_t disposition(int signal) {
  struct sigaction sa {};
  sigaction(signal, nullptr, &sa);
  return sa.sa_handler;
}

AudioEngine::Options dummyDevice() {
  AudioEngine::Options o;
  o.output = AudioEngine::Output::Device;
  o.loadSynth = false;
  return o;
}

}  // namespace

TEST(QuitSignals, EachSignalReachesTheCallbackFromTheEventLoopNotFromTheHandler) {
  std::vector<int> received;
  QuitSignals quit([&](int s) { received.push_back(s); });
  for (int s : {SIGTERM, SIGINT, SIGHUP}) {
    ASSERT_EQ(raise(s), 0);
    EXPECT_TRUE(received.empty() || received.back() != s);  // nothing runs inside the handler
    const size_t before = received.size();
    runEventsUntil([&] { return received.size() > before; });
  }
  EXPECT_EQ(received, (std::vector<int>{SIGTERM, SIGINT, SIGHUP}));
}

TEST(QuitSignals, OnlyOneAtATimeAndThePreviousHandlersComeBack) {
  signal(SIGHUP, SIG_IGN);
  {
    QuitSignals quit([](int) {});
    EXPECT_NE(disposition(SIGHUP), SIG_IGN);
    EXPECT_THROW(QuitSignals([](int) {}), std::runtime_error);
  }
  EXPECT_EQ(disposition(SIGHUP), SIG_IGN);
  EXPECT_EQ(disposition(SIGTERM), SIG_DFL);
  // Once the first is gone, another may start.
  int count = 0;
  QuitSignals again([&](int) { ++count; });
  raise(SIGTERM);
  runEventsUntil([&] { return count > 0; });
  EXPECT_EQ(count, 1);
  signal(SIGHUP, SIG_DFL);
}

TEST(QuitSignals, ACallbackThatEndsEverythingMayDeleteTheService) {
  int calls = 0;
  std::unique_ptr<QuitSignals> owned;
  owned = std::make_unique<QuitSignals>([&](int) {
    ++calls;
    owned.reset();  // as the program's end does: the service goes with the window
  });
  raise(SIGINT);
  raise(SIGTERM);  // pending as well when the first one ends everything
  runEventsUntil([&] { return owned == nullptr; });
  QCoreApplication::processEvents();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(disposition(SIGTERM), SIG_DFL);
}

TEST(QuitSignals, OnceTheProgramEndsASignalNeitherReachesTheCallbackNorKillsIt) {
  int calls = 0;
  {
    QuitSignals quit([&](int) { ++calls; });
    raise(SIGTERM);  // received as the event loop returned; no loop handles it any more
    quit.ignoreUntilExit();
    for (int s : QuitSignals::kSignals) ASSERT_EQ(raise(s), 0);  // this process goes on
    QCoreApplication::processEvents();
  }
  for (int s : QuitSignals::kSignals) ASSERT_EQ(raise(s), 0);  // also once the service is gone
  QCoreApplication::processEvents();
  EXPECT_EQ(calls, 0);
  for (int s : QuitSignals::kSignals) signal(s, SIG_DFL);
}

TEST(QuitSignals, AnOpenAudioDeviceLeavesTheSignalsToTheProgram) {
  // SDL's audio brings its event subsystem, whose handlers would take SIGINT and SIGTERM.
  SteadyClock clock;
  AudioEngine engine(clock, dummyDevice());
  ASSERT_TRUE(engine.hasDevice());
  EXPECT_EQ(disposition(SIGTERM), SIG_DFL);
  EXPECT_EQ(disposition(SIGINT), SIG_DFL);
  std::vector<int> received;
  QuitSignals quit([&](int s) { received.push_back(s); });
  raise(SIGTERM);
  runEventsUntil([&] { return !received.empty(); });
  EXPECT_EQ(received, std::vector<int>{SIGTERM});
}

TEST(QuitSignals, ADeviceOpenedAfterwardsDoesNotTakeThemEither) {
  std::vector<int> received;
  QuitSignals quit([&](int s) { received.push_back(s); });
  {
    SteadyClock clock;
    AudioEngine engine(clock, dummyDevice());
    ASSERT_TRUE(engine.hasDevice());
    raise(SIGINT);
    runEventsUntil([&] { return !received.empty(); });
  }
  raise(SIGTERM);  // and closing the device leaves them alone as well
  runEventsUntil([&] { return received.size() > 1; });
  EXPECT_EQ(received, (std::vector<int>{SIGINT, SIGTERM}));
}
