#pragma once
// What a desktop sound server adds to the heard latency of the program's own output stream,
// asked of it while the program plays: PulseAudio, or PipeWire through its PulseAudio service,
// over libpulse's introspection on a connection and a thread of their own (never starting a
// server). The audio callback and the UI thread only read the figure it publishes.
//
// The figure runs from a block's time on the engine's timeline (the grid its callbacks wake
// on or after, see timeline.h) to when the block's first frame leaves the server's sink.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace taktovi {

// PulseAudio: the stream's buffer at its fullest, just after a block has been written (the 95th
// percentile of the readings of the last ten seconds: the buffer falls by a request between two
// writes, so its mean is far lower, and it runs low for a while around a dropout), plus the
// sink's configured latency. Microseconds; 0 without readings.
int64_t pulseServerLatencyUs(std::vector<int64_t> bufferUs, int64_t sinkUs);
// PipeWire's PulseAudio service reports every latency as 0: the stream's target length plus two
// graph quanta (the one being filled and the one the sink plays). A stream of SDL's native
// PipeWire driver has no target length (0): two quanta. Microseconds; 0 without a quantum.
int64_t pipewireServerLatencyUs(int64_t tlengthUs, int64_t quantumUs);

class ServerLatency {
 public:
  // Looks for this process's playback stream named `streamName` (again whenever it is gone:
  // a reopened device is found by its name) and re-reads it ten times a second. `changed` is
  // called on the probe's thread when the server starts or stops telling: with the figure,
  // or 0 (no server, the stream not found); the first call comes once either is known.
  ServerLatency(std::string streamName, std::function<void(int64_t ns)> changed);
  ~ServerLatency();  // ends the thread, also in the middle of a request
  ServerLatency(const ServerLatency&) = delete;
  ServerLatency& operator=(const ServerLatency&) = delete;

  // The server's part of the heard latency, ns; 0 while the server cannot tell. Lock-free.
  int64_t ns() const { return ns_.load(std::memory_order_relaxed); }

  struct Connection;  // libpulse's side, in the .cpp

 private:
  void run();
  void publish(int64_t ns);
  bool pause(int ms);  // false once stopping

  const std::string name_;
  std::function<void(int64_t)> changed_;
  std::atomic<int64_t> ns_{0};
  int said_ = -1;  // what `changed` last told: -1 nothing, 0 cannot tell, 1 a figure
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;  // guards connection_ for the destructor, and the pauses
  std::condition_variable wake_;
  Connection* connection_ = nullptr;
  std::thread thread_;
};

}  // namespace taktovi
