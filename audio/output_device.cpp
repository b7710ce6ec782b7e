#include "audio/output_device.h"

#include <SDL.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

namespace taktovi {

namespace {

using Steady = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How often the watcher looks at the device (and, without one, runs idle()).
constexpr auto kPoll = 100ms;
// Callbacks silent this long on the native PipeWire driver: the output is lost. Far beyond a
// callback's period (43 ms) and any stall a live server has; within a second with the poll.
constexpr auto kHeartbeat = 500ms;
// A sound server's socket must have accepted connections this long before a stream is opened:
// pipewire-pulse accepts before WirePlumber has set up the graph, and a stream opened then
// waits 30 s for it.
constexpr auto kSettle = 500ms;
// Between attempts to open (or to initialise SDL's audio) while none succeeds.
constexpr auto kRetry = 1000ms;
// How long the destructor waits for the watcher before leaving it behind.
constexpr auto kStopWait = 2000ms;

enum class Server { Unknown, Down, Up };

// Whether a sound server accepts connections on the socket at `path` (empty: not known where
// it is). Makes no stream and never blocks.
Server probe(const std::string& path) {
  sockaddr_un address{};
  if (path.empty() || path.size() >= sizeof address.sun_path) return Server::Unknown;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return Server::Unknown;
  const bool accepted = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return accepted ? Server::Up : Server::Down;
}

// How long the server has listened on the socket at `path`: since it made the socket (its
// change time; 0 when that cannot be read).
Steady::duration listeningFor(const std::string& path) {
  struct stat st {};
  timespec now{};
  if (stat(path.c_str(), &st) != 0 || clock_gettime(CLOCK_REALTIME, &now) != 0) return {};
  const auto age = std::chrono::seconds(now.tv_sec - st.st_ctim.tv_sec) +
                   std::chrono::nanoseconds(now.tv_nsec - st.st_ctim.tv_nsec);
  return std::max(Steady::duration{}, std::chrono::duration_cast<Steady::duration>(age));
}

// Where libpulse and libpipewire look for their server first, from the environment.
std::string pulseSocket() {
  const char* server = std::getenv("PULSE_SERVER");
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (server != nullptr && *server != '\0') {
    if (std::strncmp(server, "unix:", 5) == 0) return server + 5;
    return server[0] == '/' ? server : "";  // a TCP server or a list: not watched
  }
  return runtime != nullptr ? std::string(runtime) + "/pulse/native" : "";
}

std::string pipewireSocket() {
  const char* remote = std::getenv("PIPEWIRE_REMOTE");
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (remote != nullptr && remote[0] == '/') return remote;
  if (runtime == nullptr) return "";
  return std::string(runtime) + "/" + (remote != nullptr && *remote != '\0' ? remote : "pipewire-0");
}

}  // namespace

std::string outputStreamName() {
  return "taktovi " + std::to_string(getpid());
}

struct OutputDevice::Shared {
  OutputHooks hooks;
  OutputFormat want;
  // Read once on the constructing thread: the watcher never reads the environment itself.
  std::string pulseSocket = taktovi::pulseSocket();
  std::string pipewireSocket = taktovi::pipewireSocket();
  bool driverForced = std::getenv("SDL_AUDIODRIVER") != nullptr;
  std::string streamName = outputStreamName();

  std::mutex m;
  std::condition_variable cv;
  bool quit = false;      // the owner is going; no hook may be called any more
  bool starting = true;   // the owner waits in waitForStart()
  bool started = false;   // the first attempt has ended
  bool finished = false;  // the watcher has closed everything

  std::atomic<bool> open{false};
  std::atomic<uint64_t> callbacks{0};
  // render() runs / may no longer run: checked against each other (sequentially consistent),
  // so the destructor can wait out a callback that began before it.
  std::atomic<bool> rendering{false};
  std::atomic<bool> gone{false};
};

namespace {

void SDLCALL outputCallback(void* user, Uint8* stream, int len) {
  auto* s = static_cast<OutputDevice::Shared*>(user);
  s->rendering.store(true);
  if (!s->gone.load())
    s->hooks.render(reinterpret_cast<float*>(stream), len / static_cast<int>(2 * sizeof(float)));
  else
    std::memset(stream, 0, static_cast<size_t>(len));
  s->rendering.store(false);
  s->callbacks.fetch_add(1, std::memory_order_relaxed);
}

// The watcher's own state; lives on its thread.
class Watcher {
 public:
  explicit Watcher(OutputDevice::Shared& s) : s_(s) {}

  void run() {
    init();
    // The first attempt is bound like every later one: a server still starting settles first.
    if (const auto now = Steady::now(); !inited_ || readyToOpen(now)) attempt(now);
    while (sleep()) {
      const auto now = Steady::now();
      if (dev_ != 0 && lost(now)) close();
      if (dev_ != 0) continue;
      if (!callUnlessQuit([this] { s_.hooks.idle(); })) break;
      if (!readyToOpen(now)) continue;
      if (!inited_) {
        init();  // the first init failed (no driver at all at start)
      } else if (!everOpened_ && !s_.driverForced && driver_ != "pulseaudio" && driver_ != "pipewire" &&
                 server_ == Server::Up) {
        // Started without a sound server, SDL settled on another driver that has opened
        // nothing since; now a server is up, and SDL picks it when started again.
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        init();
      }
      attempt(now);
    }
    if (dev_ != 0) close();
    if (inited_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    SDL_TLSCleanup();  // SDL's per-thread data (its error text) of a thread it did not start
    {
      std::lock_guard<std::mutex> l(s_.m);
      s_.finished = true;
    }
    s_.cv.notify_all();
  }

 private:
  // Sleeps one poll; false when the owner has asked the watcher to end.
  bool sleep() {
    std::unique_lock<std::mutex> l(s_.m);
    return !s_.cv.wait_for(l, kPoll, [this] { return s_.quit; });
  }

  // One attempt to open; the next comes kRetry later at the earliest. The first ends the
  // owner's wait in waitForStart().
  void attempt(Steady::time_point now) {
    nextOpen_ = now + kRetry;
    if (inited_) open(now);
    if (announced_) return;
    announced_ = true;
    {
      std::lock_guard<std::mutex> l(s_.m);
      s_.started = true;
    }
    s_.cv.notify_all();
  }

  template <typename F>
  bool callUnlessQuit(F f) {
    std::lock_guard<std::mutex> l(s_.m);
    if (s_.quit) return false;
    f();
    return true;
  }

  void init() {
    inited_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    const char* driver = inited_ ? SDL_GetCurrentAudioDriver() : nullptr;
    driver_ = driver != nullptr ? driver : "";
    everOpened_ = false;
    upSince_ = {};
  }

  // The pulseaudio driver reports a dead server as a stopped device; the native PipeWire
  // driver only stops calling back. (On the pulseaudio driver callbacks also stop while a
  // server is frozen, and it plays on by itself when the server wakes: no loss there.)
  bool lost(Steady::time_point now) {
    if (SDL_GetAudioDeviceStatus(dev_) == SDL_AUDIO_STOPPED) return true;
    if (driver_ != "pipewire") return false;
    const uint64_t count = s_.callbacks.load(std::memory_order_relaxed);
    if (count != beats_) {
      beats_ = count;
      lastBeat_ = now;
    }
    return now - lastBeat_ > kHeartbeat;
  }

  void close() {
    s_.open.store(false);
    SDL_CloseAudioDevice(dev_);  // SDL's audio thread has ended when this returns
    dev_ = 0;
    upSince_ = {};
  }

  // Time for another attempt: at the retry pace, and on a sound server whose socket answers,
  // not before it has answered for kSettle (counted from when the server made its socket).
  bool readyToOpen(Steady::time_point now) {
    const std::string& socket = driver_ == "pipewire" ? s_.pipewireSocket : s_.pulseSocket;
    server_ = probe(socket);
    if (server_ != Server::Up) {
      upSince_ = {};
      return now >= nextOpen_;
    }
    if (upSince_ == Steady::time_point{}) {
      upSince_ = now - listeningFor(socket);
      nextOpen_ = upSince_ + kSettle;  // a server just up is tried as soon as it has settled
    }
    return now >= nextOpen_;
  }

  void open(Steady::time_point now) {
    bool starting = false;
    {
      std::lock_guard<std::mutex> l(s_.m);
      starting = s_.starting;
    }
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, s_.streamName.c_str());
    SDL_AudioSpec want{};
    SDL_AudioSpec have{};
    want.freq = s_.want.rate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = static_cast<Uint16>(s_.want.period);
    want.callback = outputCallback;
    want.userdata = &s_;
    const SDL_AudioDeviceID dev =
        SDL_OpenAudioDevice(nullptr, 0, &want, &have, starting ? SDL_AUDIO_ALLOW_FREQUENCY_CHANGE : 0);
    if (dev == 0) return;
    const OutputFormat got{have.freq, have.samples};
    bool play = false;
    callUnlessQuit([&] {
      play = s_.hooks.prepare(got, s_.starting);
      if (play) s_.want = got;
    });
    if (!play) {
      SDL_CloseAudioDevice(dev);
      return;
    }
    dev_ = dev;
    everOpened_ = true;
    beats_ = s_.callbacks.load(std::memory_order_relaxed);
    lastBeat_ = now;
    SDL_PauseAudioDevice(dev_, 0);
    s_.open.store(true);
  }

  OutputDevice::Shared& s_;
  SDL_AudioDeviceID dev_ = 0;
  bool inited_ = false;
  bool everOpened_ = false;  // since the last init
  std::string driver_;
  Server server_ = Server::Unknown;
  Steady::time_point upSince_{};  // since when the server's socket answers; zero: it does not
  Steady::time_point nextOpen_{};
  bool announced_ = false;  // the first attempt has been made
  uint64_t beats_ = 0;
  Steady::time_point lastBeat_{};
};

}  // namespace

OutputDevice::OutputDevice(OutputFormat want, OutputHooks hooks) : shared_(std::make_shared<Shared>()) {
  shared_->hooks = std::move(hooks);
  shared_->want = want;
  // The thread keeps the shared state alive if it has to be left behind.
  watcher_ = std::thread([s = shared_] { Watcher(*s).run(); });
}

OutputDevice::~OutputDevice() {
  bool finished = false;
  {
    std::unique_lock<std::mutex> l(shared_->m);
    shared_->quit = true;
    shared_->cv.notify_all();
    finished = shared_->cv.wait_for(l, kStopWait, [this] { return shared_->finished; });
  }
  if (finished) {
    watcher_.join();
  } else {
    watcher_.detach();  // blocked in SDL: it closes what it holds once SDL returns
  }
  shared_->gone.store(true);
  while (shared_->rendering.load()) std::this_thread::yield();
}

void OutputDevice::waitForStart(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> l(shared_->m);
  shared_->cv.wait_for(l, limit, [this] { return shared_->started; });
  shared_->starting = false;
}

bool OutputDevice::isOpen() const {
  return shared_->open.load();
}

}  // namespace taktovi
