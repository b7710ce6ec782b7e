#pragma once
// Real program processes, as the install checks see them through /proc: which file a process
// runs, whether it has started up, and an end that leaves nothing behind.

#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace taktovi::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Runs a program with arguments, stdout to `out` (-1: this process's); its pid, or 0.
inline pid_t spawnProgram(std::vector<std::string> args, int out = -1) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (out >= 0) posix_spawn_file_actions_adddup2(&actions, out, 1);
  pid_t pid = 0;
  const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return failed != 0 ? 0 : pid;
}

// The file the process runs, as the kernel names it (symbolic links resolved).
inline fs::path executableOf(pid_t pid) {
  std::error_code ec;
  return fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
}

inline std::string procFile(pid_t pid, const char* name) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/" + name);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// State letter, parent and CPU ticks of a process's main thread, from its stat file.
struct ProcStat {
  char state = '?';
  pid_t parent = 0;
  long long ticks = -1;
};
inline ProcStat statOf(pid_t pid) {
  const std::string s = procFile(pid, ("task/" + std::to_string(pid) + "/stat").c_str());
  const auto close = s.rfind(')');  // the name may hold spaces
  if (close == std::string::npos) return {};
  std::istringstream rest(s.substr(close + 2));
  ProcStat st;
  std::string skip;
  long long utime = 0, stime = 0;
  rest >> st.state >> st.parent;
  for (int field = 5; field <= 13; ++field) rest >> skip;
  rest >> utime >> stime;
  st.ticks = utime + stime;
  return st;
}

// Starts a program with no arguments in the given working directory, with this process's
// environment; its pid, or 0.
inline pid_t spawnIn(const fs::path& program, const fs::path& workingDir) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());
  std::string path = program.string();
  char* argv[] = {path.data(), nullptr};
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  return failed != 0 ? 0 : pid;
}

// Orphaned descendants become this process's children, so a program started detached can be
// found by its parent and reaped.
inline void adoptOrphans() {
  prctl(PR_SET_CHILD_SUBREAPER, 1);
}

// A child of this process that runs another program than this one, once one appears; 0 if
// none within the time.
inline pid_t waitForChildProgram(std::chrono::milliseconds limit) {
  const fs::path self = executableOf(getpid());
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
      const std::string name = entry.path().filename().string();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      const pid_t pid = std::stoi(name);
      if (statOf(pid).parent == getpid() && executableOf(pid) != self) return pid;
    }
    std::this_thread::sleep_for(20ms);
  }
  return 0;
}

// A trainer has started when its Qt platform (offscreen) is loaded and its main thread waits
// for events: asleep, with no CPU time spent over a few checks.
inline bool waitUntilStarted(pid_t pid, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  long long lastTicks = -1;
  int quiet = 0;
  while (std::chrono::steady_clock::now() < end) {
    const ProcStat st = statOf(pid);
    if (st.ticks < 0 || st.state == 'Z') return false;  // it has ended
    const bool platformUp = procFile(pid, "maps").find("libqoffscreen.so") != std::string::npos;
    quiet = platformUp && st.state == 'S' && st.ticks == lastTicks ? quiet + 1 : 0;
    if (quiet >= 5) return true;
    lastTicks = st.ticks;
    std::this_thread::sleep_for(100ms);
  }
  return false;
}

// Ends a child with SIGTERM and reaps it; true when the signal ended it, that is, it was still
// running.
inline bool terminateAndReap(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, WNOHANG) != 0) return false;  // it has ended already
  kill(pid, SIGTERM);
  if (waitpid(pid, &status, 0) != pid) return false;
  // The trainers end on SIGTERM as EXIT does, with status 0; other programs die of it.
  return (WIFEXITED(status) && WEXITSTATUS(status) == 0) ||
         (WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
}

}  // namespace taktovi::test
