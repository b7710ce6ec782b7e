#include <gtest/gtest.h>

#include <sys/wait.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>

#include "kit/program_start.h"
#include "kit/services.h"
#include "kit/start_messages.h"
#include "support/processes.h"
#include "support/wav_builder.h"

using namespace taktovi;
namespace fs = std::filesystem;

namespace {

// The probe prints executableDirectory() after a line on its standard input; `between` runs
// once it has started and before that line.
std::string probeDirectory(
    const fs::path& program, const fs::path& workingDir, const std::function<void()>& between = [] {}) {
  QProcess probe;
  probe.setWorkingDirectory(QString::fromStdString(workingDir.string()));
  probe.start(QString::fromStdString(program.string()), {});
  if (!probe.waitForStarted(10000)) return "not started";
  between();
  probe.write("\n");
  probe.closeWriteChannel();
  if (!probe.waitForFinished(10000)) return "no end";
  return probe.readAllStandardOutput().trimmed().toStdString();
}

const fs::path kProbe = fs::canonical(TAKTOVI_PROBE);

void writeProgram(const test::TempDir& dir, const std::string& name, const test::Bytes& bytes) {
  fs::permissions(dir.write(name, bytes), fs::perms::owner_all);
}

// This process has no child left, running or unreaped.
bool noChildren() {
  return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

}  // namespace

TEST(ExecutableDirectory, IsWhereTheFileIsWhateverLinkStartedIt) {
  test::TempDir elsewhere;
  EXPECT_EQ(probeDirectory(kProbe, elsewhere.path()), kProbe.parent_path().string() + "/");
  // A link in another directory, and a link to that link, as bin/ links to lib/taktovi/.
  fs::create_symlink(kProbe, elsewhere.path() / "probe");
  fs::create_directory(elsewhere.path() / "bin");
  fs::create_symlink("../probe", elsewhere.path() / "bin" / "probe");
  EXPECT_EQ(probeDirectory(elsewhere.path() / "probe", "/"), kProbe.parent_path().string() + "/");
  EXPECT_EQ(probeDirectory(elsewhere.path() / "bin" / "probe", "/"), kProbe.parent_path().string() + "/");
}

TEST(ExecutableDirectory, StaysAfterTheFileWasReplaced) {
  // An upgrade replaces the file of a running program; its directory is still where the other
  // program and the samples are.
  test::TempDir dir;
  const fs::path copy = dir.path() / "probe";
  fs::copy_file(kProbe, copy);
  EXPECT_EQ(probeDirectory(copy, "/", [&] { fs::remove(copy); }), dir.path().string() + "/");
}

TEST(ExecutableDirectory, WithoutProcItIsWhereTheStartingPathLeadsNeverTheCurrentDirectory) {
  const std::string noProc = "/nonexistent/proc/self/exe";
  test::TempDir dir;
  fs::create_directories(dir.path() / "lib");
  fs::create_directories(dir.path() / "bin");
  writeProgram(dir, "lib/probe", {'#', '!'});
  fs::create_symlink("../lib/probe", dir.path() / "bin" / "probe");
  const std::string lib = dir.path().string() + "/lib/";
  // A path, absolute or from the current directory, through a link.
  EXPECT_EQ(executableDirectory((dir.path() / "bin/probe").string(), noProc), lib);
  const fs::path before = fs::current_path();
  fs::current_path(dir.path());
  EXPECT_EQ(executableDirectory("bin/probe", noProc), lib);
  // A bare name, on PATH; one of that name in the current directory is not ours.
  writeProgram(dir, "probe", {'#', '!'});
  const std::string path = std::getenv("PATH");
  setenv("PATH", (dir.path().string() + "/nothing:" + dir.path().string() + "/bin").c_str(), 1);
  EXPECT_EQ(executableDirectory("probe", noProc), lib);
  setenv("PATH", "/nonexistent", 1);
  EXPECT_EQ(executableDirectory("probe", noProc), kNowhere);
  setenv("PATH", path.c_str(), 1);
  fs::current_path(before);
  EXPECT_FALSE(fs::exists(std::string(kNowhere) + "probe"));
}

TEST(SiblingProgramStarter, FailsForAMissingOrNonExecutableProgramAndSaysWhereItLooked) {
  test::TempDir dir;
  SiblingProgramStarter starter(dir.path().string() + "/");
  EXPECT_EQ(starter.location("taktovi2demo"), dir.path().string() + "/taktovi2demo");
  EXPECT_FALSE(starter.start("taktovi2demo"));  // missing
  dir.write("taktovi2demo", {'#', '!'});
  EXPECT_FALSE(starter.start("taktovi2demo"));  // not executable
}

TEST(SiblingProgramStarter, AProgramThatDiesOrNeverReportsFailsAndIsEnded) {
  test::TempDir dir;
  // A damaged copy: the first 4096 bytes of a real program, which dies as it starts.
  std::ifstream real(kProbe, std::ios::binary);
  test::Bytes head(4096);
  real.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  writeProgram(dir, "damaged", head);
  const std::string script = "#!/bin/sh\ntrap '' TERM\nexec sleep 600\n";  // ignores SIGTERM
  writeProgram(dir, "silent", test::Bytes(script.begin(), script.end()));

  QElapsedTimer t;
  t.start();
  SiblingProgramStarter patient(dir.path().string() + "/", std::chrono::seconds(30));
  EXPECT_FALSE(patient.start("damaged"));
  EXPECT_LT(t.elapsed(), 10000);  // its end is noticed at once, not once the patience is over
  EXPECT_TRUE(noChildren());

  // Another process's report does not count as the child's.
  QTimer::singleShot(100, [] { reportStartedTo(getpid()); });
  SiblingProgramStarter brief(dir.path().string() + "/", std::chrono::milliseconds(800));
  EXPECT_FALSE(brief.start("silent"));
  EXPECT_TRUE(noChildren());
}

TEST(SiblingProgramStarter, AProgramThatReportsUpIsLeftRunning) {
  const fs::path probe = fs::canonical(TAKTOVI_STARTED_PROBE);
  SiblingProgramStarter starter(probe.parent_path().string() + "/", std::chrono::seconds(60));
  ASSERT_TRUE(starter.start(probe.filename().string()));
  const pid_t pid = test::waitForChildProgram(std::chrono::seconds(5));
  ASSERT_GT(pid, 0);
  EXPECT_EQ(test::executableOf(pid), probe);
  EXPECT_TRUE(test::terminateAndReap(pid));
}

TEST(NoDesktop, TheProgramSaysSoInGermanAndEndsWithStatusOne) {
  for (const char* display : {"", ":99"}) {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    program.setProcessEnvironment(env);
    program.start(TAKTOVI_CHOICE_PROGRAM, {});
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
    // The German line first, then Qt's own reason: no display, or none it could connect to.
    const QStringList err = QString::fromUtf8(program.readAllStandardError()).split('\n');
    EXPECT_EQ(err.first(), QString("taktovi1demo: ") + QString::fromUtf8(kNoDesktopText)) << display;
    const QString reason = err.mid(1).join('\n');
    EXPECT_TRUE(reason.contains("could not connect to display")) << display << reason.toStdString();
    EXPECT_TRUE(reason.contains("no Qt platform plugin could be initialized"))
        << display << reason.toStdString();
  }
  // Where Qt finds another platform after all, its warnings on the way are shown as ever.
  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("DISPLAY", "");
  env.insert("QT_QPA_PLATFORM", "xcb;offscreen");
  program.setProcessEnvironment(env);
  program.start(TAKTOVI_CHOICE_PROGRAM, {});
  ASSERT_TRUE(program.waitForStarted(10000));
  ASSERT_TRUE(test::waitUntilStarted(static_cast<pid_t>(program.processId()), std::chrono::seconds(60)));
  program.terminate();
  ASSERT_TRUE(program.waitForFinished(30000));
  EXPECT_EQ(program.exitCode(), 0);
  EXPECT_TRUE(program.readAllStandardError().contains("could not connect to display"));
}
