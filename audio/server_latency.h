#pragma once
// What a desktop sound server adds to the heard latency of the program's own output stream,
// asked of it while the program plays: PulseAudio, or PipeWire through its PulseAudio service,
// over libpulse's introspection on a connection and a thread of their own (never starting a
// server); on PipeWire, what its graph declares of the sink and the device is read through
// PipeWire's own interface as well (pipewire_latency.h). The audio callback and the UI thread
// only read the figure it publishes.
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
// sink's latency. Microseconds; 0 without readings.
int64_t pulseServerLatencyUs(std::vector<int64_t> bufferUs, int64_t sinkUs);
// The sink's latency at its fullest: its configured latency plus the latency offset of its
// active port (what a Bluetooth profile declares, or a user sets for a headset or a screen),
// which the server adds to the sink's latency, never below 0. A sink with no configured latency
// has only its current one, `currentUs`, offset included. Microseconds.
int64_t pulseSinkLatencyUs(int64_t configuredUs, int64_t currentUs, int64_t portOffsetUs);
// PipeWire's PulseAudio service reports every latency as 0: the stream's target length, the
// graph quantum being filled, and what the graph declares downstream of the stream (the sink,
// its device's own delay included, see pipewire_latency.h); a sink that declares nothing (a
// null sink) plays out one quantum. A stream of SDL's native PipeWire driver has no target
// length (0). Microseconds; 0 without a quantum.
int64_t pipewireServerLatencyUs(int64_t tlengthUs, int64_t quantumUs, int64_t downstreamUs);

class ServerLatency {
 public:
  static constexpr int64_t kSayAgainNs = 2'000'000;

  // Looks for this process's playback stream named `streamName` (again whenever it is gone:
  // a reopened device is found by its name) and re-reads it ten times a second, so the figure
  // follows the stream to another sink. `changed` is called on the probe's thread when the
  // server starts or stops telling, and when the figure moves by more than kSayAgainNs: with
  // the figure, or 0 (no server, the stream not found); the first call comes once either is
  // known.
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
  int64_t said_ = -1;  // what `changed` last told: -1 nothing, 0 cannot tell, or the figure
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;  // guards connection_ for the destructor, and the pauses
  std::condition_variable wake_;
  Connection* connection_ = nullptr;
  std::thread thread_;
};

}  // namespace taktovi
