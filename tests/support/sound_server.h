#pragma once
// A private sound server (tests/sound_server.sh) that a test starts, stops and starts again
// while it goes on with its work, and a recording of the server's sink as a listener hears it.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "support/processes.h"

namespace taktovi::test {

class SoundServer {
 public:
  enum class Kind { Pulse, PipeWire };

  // Makes the server's directory and gives this process its clients' environment (before any
  // engine or recording starts, as they read it).
  explicit SoundServer(Kind kind) : kind_(kind) {
    char name[] = "/tmp/snd.XXXXXX";
    dir_ = mkdtemp(name) != nullptr ? name : "";
    std::string env;
    FILE* p = popen((std::string(TAKTOVI_SOUND_SERVER) + " env " + dir_).c_str(), "r");
    for (char line[512]; p != nullptr && fgets(line, sizeof line, p) != nullptr;) env += line;
    if (p != nullptr) pclose(p);
    std::istringstream lines(env);
    for (std::string line; std::getline(lines, line);) {
      const auto eq = line.find('=');
      if (eq == std::string::npos) continue;
      const std::string name = line.substr(0, eq), value = line.substr(eq + 1);
      if (value.empty())
        unsetenv(name.c_str());
      else
        setenv(name.c_str(), value.c_str(), 1);
    }
  }
  ~SoundServer() {
    wait();
    run("destroy");
    wait();
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  SoundServer(const SoundServer&) = delete;
  SoundServer& operator=(const SoundServer&) = delete;

  // Start and stop in the background; done() tells when the last one has ended.
  void startAsync() { run("start", kind_ == Kind::Pulse ? "pulse" : "pipewire"); }
  void stopAsync() { run("stop"); }
  bool done() {
    if (pid_ == 0) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
    pid_ = 0;
    ok_ = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return true;
  }
  // Waits for the last start or stop; whether it succeeded.
  bool wait() {
    if (pid_ != 0) {
      int status = 0;
      waitpid(pid_, &status, 0);
      pid_ = 0;
      ok_ = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return ok_;
  }
  bool start() {
    startAsync();
    return wait();
  }
  bool ok() const { return ok_; }
  // The pid of one of the server's programs ("pulseaudio", "pipewire", "pipewire-pulse"), 0 if
  // none runs.
  pid_t pid(const std::string& program) const {
    std::ifstream in(dir_ + "/" + program + ".pid");
    pid_t p = 0;
    in >> p;
    return p;
  }

 private:
  void run(const char* command, const char* kind = nullptr) {
    std::vector<std::string> args = {TAKTOVI_SOUND_SERVER, command};
    if (kind != nullptr) args.emplace_back(kind);
    args.push_back(dir_);
    pid_ = spawnProgram(args);
    ok_ = pid_ != 0;
  }

  Kind kind_;
  std::string dir_;
  pid_t pid_ = 0;
  bool ok_ = false;
};

// parec on the monitor of the sink "cap" (float, 48000 Hz, stereo; it ends with the server). A
// reader thread keeps the left channel and when each piece arrived.
class SinkRecording {
 public:
  static constexpr int kRate = 48000;
  struct Onset {
    int64_t frame;
    int64_t ns;  // steady clock, estimated from when its piece arrived
  };

  explicit SinkRecording(const Clock& clock) : clock_(clock) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    pid_ = spawnProgram({"parec", "--device=cap.monitor", "--format=float32le", "--rate=48000",
                         "--channels=2", "--raw", "--latency-msec=20"},
                        fds[1]);
    close(fds[1]);
    reader_ = std::thread([this, fd = fds[0]] { read(fd); });
  }
  ~SinkRecording() {
    if (pid_ != 0) kill(pid_, SIGTERM);
    if (reader_.joinable()) reader_.join();
    if (pid_ != 0) waitpid(pid_, nullptr, 0);
  }
  SinkRecording(const SinkRecording&) = delete;
  SinkRecording& operator=(const SinkRecording&) = delete;

  // Where tones begin: a frame above the threshold after at least 30 ms below it.
  std::vector<Onset> onsets() const {
    std::lock_guard<std::mutex> l(m_);
    std::vector<Onset> out;
    int64_t quiet = 0;
    for (size_t f = 0; f < left_.size(); ++f) {
      if (std::fabs(left_[f]) < kThreshold) {
        ++quiet;
        continue;
      }
      if (quiet >= kRate * 30 / 1000)
        out.push_back({static_cast<int64_t>(f), timeOf(static_cast<int64_t>(f))});
      quiet = 0;
    }
    return out;
  }
  // When the first frame above the threshold left the server (0: none yet).
  int64_t firstSoundNs() const {
    std::lock_guard<std::mutex> l(m_);
    for (size_t f = 0; f < left_.size(); ++f)
      if (std::fabs(left_[f]) >= kThreshold) return timeOf(static_cast<int64_t>(f));
    return 0;
  }
  // When the first frame recorded left the server (0: none yet). A new recording on PulseAudio's
  // null sink waits up to about 2 s for the sink's current block, whatever else plays.
  int64_t startNs() const {
    std::lock_guard<std::mutex> l(m_);
    return arrivals_.empty() ? 0 : timeOf(0);
  }
  // The pitch of the tone beginning at `frame`, from its zero crossings over 50 ms.
  double pitchAt(int64_t frame) const {
    std::lock_guard<std::mutex> l(m_);
    const auto from = static_cast<size_t>(frame + kRate / 100), to = from + kRate / 20;
    if (to > left_.size()) return 0;
    int crossings = 0;
    for (size_t f = from + 1; f < to; ++f) crossings += (left_[f - 1] < 0) != (left_[f] < 0);
    return crossings / 2.0 / 0.05;
  }

 private:
  static constexpr float kThreshold = 0.01f;

  void read(int fd) {
    std::vector<char> buffer(1 << 16);
    std::string carry;
    for (ssize_t n; (n = ::read(fd, buffer.data(), buffer.size())) > 0;) {
      const int64_t now = clock_.nowNs();
      carry.append(buffer.data(), static_cast<size_t>(n));
      const size_t frames = carry.size() / 8;
      std::lock_guard<std::mutex> l(m_);
      for (size_t f = 0; f < frames; ++f) {
        float v;
        std::memcpy(&v, carry.data() + 8 * f, sizeof v);
        left_.push_back(v);
      }
      carry.erase(0, frames * 8);
      arrivals_.push_back({static_cast<int64_t>(left_.size()), now});
    }
    close(fd);
  }
  // A frame left the server about when the piece holding it arrived, less what followed it.
  int64_t timeOf(int64_t frame) const {
    for (const auto& a : arrivals_)
      if (a.frame > frame) return a.ns - (a.frame - frame) * 1'000'000'000 / kRate;
    return 0;
  }

  const Clock& clock_;
  pid_t pid_ = 0;
  std::thread reader_;
  mutable std::mutex m_;
  std::vector<float> left_;
  std::vector<Onset> arrivals_;  // frames received so far, and when
};

}  // namespace taktovi::test
