#include "audio/server_latency.h"

#include <pulse/pulseaudio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <optional>
#include <utility>

#include "audio/pipewire_latency.h"

namespace taktovi {

namespace {

constexpr int kPollMs = 100;
constexpr int64_t kReadingsUs = 10'000'000;  // the PulseAudio figure's readings
constexpr size_t kFewestReadings = 10;
constexpr int kMissesUntilGone = 10;  // a stream not seen for a second has gone
constexpr int kGraphRetryPolls = 10;  // PipeWire's own connection, tried again after a second
constexpr int kGraphWaitPolls = 10;   // a new stream's figure waits this long for the graph
constexpr int kFirstRetryMs = 250;
constexpr int kLastRetryMs = 1000;

int64_t nowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// PipeWire's "frames/rate" (node.latency) in microseconds; -1 when absent.
int64_t fractionUs(const char* s) {
  unsigned frames = 0, rate = 0;
  if (s == nullptr || std::sscanf(s, "%u/%u", &frames, &rate) != 2 || rate == 0) return -1;
  return int64_t{frames} * 1'000'000 / rate;
}

}  // namespace

int64_t pulseServerLatencyUs(std::vector<int64_t> bufferUs, int64_t sinkUs) {
  if (bufferUs.empty()) return 0;
  const auto top = bufferUs.begin() + static_cast<std::ptrdiff_t>(bufferUs.size() * 95 / 100);
  std::nth_element(bufferUs.begin(), top, bufferUs.end());
  return *top + sinkUs;
}

int64_t pulseSinkLatencyUs(int64_t configuredUs, int64_t currentUs, int64_t portOffsetUs) {
  return configuredUs > 0 ? std::max<int64_t>(configuredUs + portOffsetUs, 0) : currentUs;
}

int64_t pipewireServerLatencyUs(int64_t tlengthUs, int64_t quantumUs, int64_t downstreamUs) {
  if (quantumUs <= 0) return 0;
  return std::max<int64_t>(tlengthUs, 0) + quantumUs + (downstreamUs > 0 ? downstreamUs : quantumUs);
}

// One connection to the server, with its own libpulse thread. Requests are made with the
// loop's lock held and wait for their answer; a stop interrupts the wait.
struct ServerLatency::Connection {
  Connection(const std::string& name, const std::atomic<bool>& stopping)
      : name(name), stopping(stopping), loop(pa_threaded_mainloop_new()) {}
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool open();
  // One round of readings: false once the connection is lost. `us` gets the figure, 0 while
  // there is none yet, -1 once the stream has gone.
  bool poll(int64_t& us);
  int64_t pipewireUs();
  void interrupt();
  // A request's callback: its answer is complete, the waiting request may go on.
  void answer() {
    answered = true;
    pa_threaded_mainloop_signal(loop, 0);
  }

  const std::string& name;
  const std::atomic<bool>& stopping;
  const std::string pid = std::to_string(getpid());
  pa_threaded_mainloop* const loop;
  pa_context* context = nullptr;
  bool pipewire = false;
  bool answered = false;
  // The stream, once found.
  uint32_t stream = PA_INVALID_INDEX;
  uint32_t sink = PA_INVALID_INDEX;
  int misses = 0;
  std::deque<std::pair<int64_t, int64_t>> buffer;  // (when, buffer_usec)
  // One round's readings.
  bool found = false;
  bool native = false;  // a stream of PipeWire's own, not through its PulseAudio service
  int64_t bufferUs = 0, tlengthUs = 0, ownQuantumUs = -1;
  std::vector<std::pair<uint32_t, int64_t>> quanta;  // (sink or PA_INVALID_INDEX, node.latency)
  // The sink's: configured and current latency, rate, its card and active port (PulseAudio),
  // and that port's latency offset.
  int64_t sinkConfiguredUs = 0, sinkCurrentUs = 0, portOffsetUs = 0;
  int sinkRate = 0;
  bool sinkRead = false;
  uint32_t card = PA_INVALID_INDEX;
  std::string port;
  // PipeWire's graph, asked for what lies downstream of the stream.
  std::unique_ptr<PipewireLatency> graph;
  int graphRetry = kGraphRetryPolls - 1;
  int graphWaits = 0;

 private:
  bool request(pa_operation* op);
  void readings();
  void readStreams();
  void readRecorders();
  bool readSink();
  void readPortOffset();
};

ServerLatency::Connection::~Connection() {
  if (loop == nullptr) return;
  pa_threaded_mainloop_lock(loop);
  if (context != nullptr) {
    pa_context_set_state_callback(context, nullptr, nullptr);
    pa_context_disconnect(context);
    pa_context_unref(context);
  }
  pa_threaded_mainloop_unlock(loop);
  pa_threaded_mainloop_stop(loop);
  pa_threaded_mainloop_free(loop);
}

void ServerLatency::Connection::interrupt() {
  pa_threaded_mainloop_lock(loop);
  pa_threaded_mainloop_signal(loop, 0);
  pa_threaded_mainloop_unlock(loop);
}

bool ServerLatency::Connection::request(pa_operation* op) {
  if (op == nullptr) return false;
  answered = false;
  while (!answered && !stopping && pa_operation_get_state(op) == PA_OPERATION_RUNNING &&
         PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
    pa_threaded_mainloop_wait(loop);
  if (!answered) pa_operation_cancel(op);
  pa_operation_unref(op);
  return answered;
}

bool ServerLatency::Connection::open() {
  if (loop == nullptr) return false;
  context = pa_context_new(pa_threaded_mainloop_get_api(loop), "taktovi latency");
  if (context == nullptr || pa_threaded_mainloop_start(loop) < 0) return false;
  pa_threaded_mainloop_lock(loop);
  pa_context_set_state_callback(
      context,
      [](pa_context*, void* c) { pa_threaded_mainloop_signal(static_cast<Connection*>(c)->loop, 0); }, this);
  bool ok = pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
  while (ok && !stopping && pa_context_get_state(context) != PA_CONTEXT_READY) {
    if (PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
      pa_threaded_mainloop_wait(loop);
    else
      ok = false;
  }
  ok = ok && !stopping &&
       request(pa_context_get_server_info(
           context,
           [](pa_context*, const pa_server_info* i, void* user) {
             auto* c = static_cast<Connection*>(user);
             c->pipewire = i != nullptr && i->server_name != nullptr &&
                           std::string(i->server_name).find("PipeWire") != std::string::npos;
             c->answer();
           },
           this));
  pa_threaded_mainloop_unlock(loop);
  return ok;
}

// The stream's own readings, every stream's quantum (PipeWire), and the stream's sink.
void ServerLatency::Connection::readings() {
  found = false;
  quanta.clear();
  readStreams();
  if (!found) return;
  if (pipewire) readRecorders();
  found = readSink();
  if (found && !pipewire) readPortOffset();
}

void ServerLatency::Connection::readStreams() {
  auto onInput = [](pa_context*, const pa_sink_input_info* i, int eol, void* user) {
    auto* c = static_cast<Connection*>(user);
    if (eol != 0) return c->answer();
    const int64_t quantum = fractionUs(pa_proplist_gets(i->proplist, "node.latency"));
    if (quantum > 0) c->quanta.emplace_back(i->sink, quantum);
    const char* name = pa_proplist_gets(i->proplist, PA_PROP_MEDIA_NAME);
    const char* pid = pa_proplist_gets(i->proplist, PA_PROP_APPLICATION_PROCESS_ID);
    // Streams of SDL's native PipeWire driver carry no process id.
    if (name == nullptr || c->name != name || (pid != nullptr && c->pid != pid)) return;
    if (c->found && i->index < c->stream) return;  // the newest of this name
    c->found = true;
    c->stream = i->index;
    c->sink = i->sink;
    c->bufferUs = static_cast<int64_t>(i->buffer_usec);
    c->ownQuantumUs = quantum;
    c->native = pid == nullptr;
    const char* tlength = pa_proplist_gets(i->proplist, "pulse.attr.tlength");
    const auto bytesPerSecond = static_cast<int64_t>(pa_bytes_per_second(&i->sample_spec));
    c->tlengthUs =
        tlength != nullptr && bytesPerSecond > 0 ? std::atoll(tlength) * 1'000'000 / bytesPerSecond : 0;
  };
  // PipeWire's figure needs every stream; PulseAudio's only ours, once known.
  if (pipewire || stream == PA_INVALID_INDEX) {
    request(pa_context_get_sink_input_info_list(context, onInput, this));
  } else {
    request(pa_context_get_sink_input_info(context, stream, onInput, this));
  }
}

void ServerLatency::Connection::readRecorders() {
  request(pa_context_get_source_output_info_list(
      context,
      [](pa_context*, const pa_source_output_info* i, int eol, void* user) {
        auto* c = static_cast<Connection*>(user);
        if (eol != 0) return c->answer();
        const int64_t quantum = fractionUs(pa_proplist_gets(i->proplist, "node.latency"));
        if (quantum > 0) c->quanta.emplace_back(PA_INVALID_INDEX, quantum);
      },
      this));
}

// False when the sink has gone.
bool ServerLatency::Connection::readSink() {
  sinkRead = false;
  request(pa_context_get_sink_info_by_index(
      context, sink,
      [](pa_context*, const pa_sink_info* i, int eol, void* user) {
        auto* c = static_cast<Connection*>(user);
        if (eol != 0) return c->answer();
        c->sinkRead = true;
        c->sinkConfiguredUs = static_cast<int64_t>(i->configured_latency);
        c->sinkCurrentUs = static_cast<int64_t>(i->latency);
        c->sinkRate = static_cast<int>(i->sample_spec.rate);
        c->card = i->card;
        c->port = i->active_port != nullptr && i->active_port->name != nullptr ? i->active_port->name : "";
      },
      this));
  return sinkRead;
}

// The latency offset of the sink's active port, a property of the card's port.
void ServerLatency::Connection::readPortOffset() {
  portOffsetUs = 0;
  if (card == PA_INVALID_INDEX || port.empty()) return;
  request(pa_context_get_card_info_by_index(
      context, card,
      [](pa_context*, const pa_card_info* i, int eol, void* user) {
        auto* c = static_cast<Connection*>(user);
        if (eol != 0) return c->answer();
        for (uint32_t k = 0; k < i->n_ports; ++k)
          if (i->ports[k]->direction == PA_DIRECTION_OUTPUT && c->port == i->ports[k]->name)
            c->portOffsetUs = i->ports[k]->latency_offset;
      },
      this));
}

bool ServerLatency::Connection::poll(int64_t& us) {
  us = 0;
  pa_threaded_mainloop_lock(loop);
  const uint32_t lastSink = sink;
  readings();
  const bool alive = PA_CONTEXT_IS_GOOD(pa_context_get_state(context));
  pa_threaded_mainloop_unlock(loop);
  if (!alive) return false;
  if (!found) {
    stream = PA_INVALID_INDEX;  // gone or reopened: looked for by its name again
    buffer.clear();
    graphWaits = 0;
    if (++misses == kMissesUntilGone) us = -1;
    return true;
  }
  misses = 0;
  if (pipewire) {
    us = pipewireUs();
    return true;
  }
  if (sink != lastSink) buffer.clear();
  const int64_t now = nowUs();
  buffer.emplace_back(now, bufferUs);
  while (now - buffer.front().first > kReadingsUs) buffer.pop_front();
  if (buffer.size() < kFewestReadings) return true;
  std::vector<int64_t> values;
  values.reserve(buffer.size());
  for (const auto& b : buffer) values.push_back(b.second);
  us = pulseServerLatencyUs(std::move(values),
                            pulseSinkLatencyUs(sinkConfiguredUs, sinkCurrentUs, portOffsetUs));
  return true;
}

// PipeWire's figure, once the stream shows its buffer and the graph has told what lies
// downstream of it (or cannot tell: no connection of PipeWire's own).
int64_t ServerLatency::Connection::pipewireUs() {
  if ((graph == nullptr || graph->lost()) && ++graphRetry >= kGraphRetryPolls) {
    graph.reset();
    graph = std::make_unique<PipewireLatency>(name, pid);
    graphRetry = 0;
  }
  if (!native && tlengthUs <= 0) return 0;  // a new stream shows its buffer a moment later
  const std::optional<DeclaredLatency> declared = graph->lost() ? std::nullopt : graph->downstream();
  if (!declared && !graph->lost() && ++graphWaits < kGraphWaitPolls) return 0;
  // The graph runs at the smallest quantum its streams ask for: ours, the others on our sink
  // and the recorders.
  int64_t quantum = ownQuantumUs;
  for (const auto& [where, q] : quanta)
    if ((where == sink || where == PA_INVALID_INDEX) && (quantum <= 0 || q < quantum)) quantum = q;
  const int64_t downstream = declared && quantum > 0 ? declaredLatencyUs(*declared, quantum, sinkRate) : 0;
  return pipewireServerLatencyUs(tlengthUs, quantum, downstream);
}

ServerLatency::ServerLatency(std::string streamName, std::function<void(int64_t)> changed)
    : name_(std::move(streamName)), changed_(std::move(changed)), thread_([this] { run(); }) {}

ServerLatency::~ServerLatency() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    if (connection_ != nullptr && connection_->loop != nullptr) connection_->interrupt();
  }
  wake_.notify_all();
  thread_.join();
}

bool ServerLatency::pause(int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_.load(); });
}

// Told when the source changes, and when the figure moves from the one last told.
void ServerLatency::publish(int64_t ns) {
  ns_.store(ns, std::memory_order_relaxed);
  const bool moved = said_ < 0 || (ns > 0) != (said_ > 0) || std::abs(ns - said_) > kSayAgainNs;
  if (!moved) return;
  said_ = ns;
  if (changed_) changed_(ns);
}

void ServerLatency::run() {
  int retryMs = kFirstRetryMs;
  while (!stopping_) {
    auto connection = std::make_unique<Connection>(name_, stopping_);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      connection_ = connection.get();
    }
    if (connection->open()) {
      retryMs = kFirstRetryMs;
      int64_t us = 0;
      while (!stopping_ && connection->poll(us)) {
        if (us != 0) publish(us > 0 ? us * 1000 : 0);
        if (!pause(kPollMs)) break;
      }
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      connection_ = nullptr;
    }
    connection.reset();
    if (stopping_) break;
    publish(0);  // no server, or it has gone: nothing to tell until it answers again
    if (!pause(retryMs)) break;
    retryMs = std::min(2 * retryMs, kLastRetryMs);
  }
}

}  // namespace taktovi
