#pragma once
// The engine's audio output: one SDL device, kept open by a watcher thread that makes every SDL
// audio call (init, open, status, close), so no other thread ever waits on SDL or a sound server.
//
// The watcher opens the default output at once. It notices a lost output within a second (the
// device reports itself stopped; on SDL's native PipeWire driver, which never does, its callbacks
// stop), closes it and opens the default output again, about every second until one can be had;
// an output missing at start is waited for the same way. On a sound server it opens, the first
// time as every later one, only once the server's socket has accepted connections for half a
// second: a stream opened while the server is still starting can hang for 30 s.
//
// Every device opens paused; prepare() sees its format first and may refuse it. While no device
// is open, idle() is called about ten times a second on the watcher thread instead of render():
// whichever of the two runs is the client's one consumer, never both at once.
//
// The destructor stops the watcher; one blocked in SDL (an open that hangs, a close on a frozen
// server) is left behind after a deadline and ends by itself. Once the destructor has returned,
// no hook is called again.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace taktovi {

struct OutputFormat {
  int rate = 48000;   // frames per second
  int period = 2048;  // frames per callback
};

struct OutputHooks {
  // SDL's audio thread: fill `frames` interleaved stereo frames. Never blocks.
  std::function<void(float* out, int frames)> render;
  // Watcher thread, the device still paused: whether to play it. `starting`: the caller still
  // waits in waitForStart(), so the device's own rate may be adopted; afterwards the device
  // has been asked for exactly the format last accepted (SDL converts).
  std::function<bool(const OutputFormat& got, bool starting)> prepare;
  // Watcher thread, while no device is open.
  std::function<void()> idle;
};

class OutputDevice {
 public:
  OutputDevice(OutputFormat want, OutputHooks hooks);
  ~OutputDevice();
  OutputDevice(const OutputDevice&) = delete;
  OutputDevice& operator=(const OutputDevice&) = delete;

  // Waits until the first attempt to open has ended, at most `limit`.
  void waitForStart(std::chrono::milliseconds limit);
  // A device is open and playing now.
  bool isOpen() const;

  struct Shared;  // what the watcher, SDL's callback and this object share

 private:
  std::shared_ptr<Shared> shared_;
  std::thread watcher_;
};

// The name of the output's stream on a sound server, the same for every open of this process:
// "taktovi <pid>". Given to SDL as SDL_HINT_AUDIO_DEVICE_STREAM_NAME before each open.
std::string outputStreamName();

}  // namespace taktovi
