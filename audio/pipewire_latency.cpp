#include "audio/pipewire_latency.h"

#include <pipewire/impl-module.h>
#include <pipewire/pipewire.h>
#include <spa/param/latency-utils.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/rounding.h"

namespace taktovi {

int64_t declaredLatencyUs(const DeclaredLatency& d, int64_t quantumUs, int rate) {
  const double frames = rate > 0 ? static_cast<double>(d.frames) * 1e6 / rate : 0.0;
  return roundHalfEven(d.quanta * static_cast<double>(quantumUs) + frames + static_cast<double>(d.ns) / 1e3);
}

namespace {

bool same(const char* a, const char* b) {
  return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

// The events of the object behind a proxy (the core, the registry, a node, a port).
void listen(pw_proxy* proxy, spa_hook& listener, const void* events, void* data) {
  pw_proxy_add_object_listener(proxy, &listener, events, data);
}

// The port's Latency params now, and again whenever they change. (PipeWire's method calls are
// macros around GNU statement expressions.)
void subscribeToLatency(pw_port* port) {
  uint32_t latency = SPA_PARAM_Latency;
#ifdef __clang__
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wgnu-statement-expression"
#endif
  pw_port_subscribe_params(port, &latency, 1);
#ifdef __clang__
#pragma clang diagnostic pop
#endif
}

}  // namespace

// The registry's view, kept on PipeWire's loop thread: every playback stream node (bound to
// read its properties), every stream's output ports, and the ports of ours (bound to follow
// their Latency params). What the loop thread works out is published under `m`.
struct PipewireLatency::Graph {
  // A bound object: a stream node, or an output port of ours.
  struct Bound {
    Graph* graph = nullptr;
    uint32_t id = 0;
    pw_proxy* proxy = nullptr;
    spa_hook listener{};
    uint32_t node = 0;                       // a port's node
    bool ours = false;                       // a node named as ours
    uint64_t serial = 0;                     // a node's, growing with each new object
    std::optional<DeclaredLatency> latency;  // a port's downstream latency, once read
  };

  Graph(const std::string& name, const std::string& pid);
  ~Graph();
  Graph(const Graph&) = delete;
  Graph& operator=(const Graph&) = delete;

  void added(uint32_t id, const char* type, const spa_dict* props);
  void removed(uint32_t id);
  void nodeInfo(Bound& node, const spa_dict* props);
  void portParam(Bound& port, const spa_pod* param);
  // Binds the object `id` of `type` into `into`, listening with `events`; null if it cannot.
  Bound* bind(std::map<uint32_t, Bound>& into, uint32_t id, const char* type, uint32_t version,
              const void* events);
  void bindPort(uint32_t id, uint32_t node);
  void publish();
  static void unbind(Bound& b);

  const std::string name;
  const std::string pid;
  pw_thread_loop* loop = nullptr;
  pw_context* context = nullptr;
  pw_core* core = nullptr;
  pw_registry* registry = nullptr;
  spa_hook coreListener{};
  spa_hook registryListener{};
  std::map<uint32_t, Bound> nodes;
  std::map<uint32_t, uint32_t> outputPorts;  // port → node, of every stream
  std::map<uint32_t, Bound> ports;           // of our nodes

  mutable std::mutex m;
  std::optional<DeclaredLatency> published;
  bool lost = false;
};

namespace {

const pw_core_events kCoreEvents = [] {
  pw_core_events e{};
  e.version = PW_VERSION_CORE_EVENTS;
  e.error = [](void* data, uint32_t id, int, int res, const char*) {
    auto* g = static_cast<PipewireLatency::Graph*>(data);
    if (id != PW_ID_CORE || res != -EPIPE) return;
    std::lock_guard<std::mutex> l(g->m);
    g->lost = true;
    g->published.reset();
  };
  return e;
}();

const pw_registry_events kRegistryEvents = [] {
  pw_registry_events e{};
  e.version = PW_VERSION_REGISTRY_EVENTS;
  e.global = [](void* data, uint32_t id, uint32_t, const char* type, uint32_t, const spa_dict* props) {
    static_cast<PipewireLatency::Graph*>(data)->added(id, type, props);
  };
  e.global_remove = [](void* data, uint32_t id) { static_cast<PipewireLatency::Graph*>(data)->removed(id); };
  return e;
}();

const pw_node_events kNodeEvents = [] {
  pw_node_events e{};
  e.version = PW_VERSION_NODE_EVENTS;
  e.info = [](void* data, const pw_node_info* info) {
    auto* b = static_cast<PipewireLatency::Graph::Bound*>(data);
    if ((info->change_mask & PW_NODE_CHANGE_MASK_PROPS) != 0) b->graph->nodeInfo(*b, info->props);
  };
  return e;
}();

const pw_port_events kPortEvents = [] {
  pw_port_events e{};
  e.version = PW_VERSION_PORT_EVENTS;
  e.param = [](void* data, int, uint32_t id, uint32_t, uint32_t, const spa_pod* param) {
    auto* b = static_cast<PipewireLatency::Graph::Bound*>(data);
    if (id == SPA_PARAM_Latency && param != nullptr) b->graph->portParam(*b, param);
  };
  return e;
}();

}  // namespace

PipewireLatency::Graph::Graph(const std::string& name, const std::string& pid) : name(name), pid(pid) {
  pw_init(nullptr, nullptr);
  // Warnings of a client that loads no real-time module would land on the program's standard
  // error; a PIPEWIRE_DEBUG level is left as asked.
  if (std::getenv("PIPEWIRE_DEBUG") == nullptr) pw_log_set_level(SPA_LOG_LEVEL_ERROR);
  loop = pw_thread_loop_new("taktovi-pw", nullptr);
  // Only the protocol: no configuration's modules (real-time priority, nodes of our own).
  if (loop != nullptr)
    context = pw_context_new(
        pw_thread_loop_get_loop(loop),
        pw_properties_new(PW_KEY_CONFIG_NAME, "null", "context.modules.allow-empty", "true", nullptr), 0);
  if (context != nullptr &&
      pw_context_load_module(context, "libpipewire-module-protocol-native", nullptr, nullptr) != nullptr)
    core = pw_context_connect(context, nullptr, 0);
  if (core != nullptr) registry = pw_core_get_registry(core, PW_VERSION_REGISTRY, 0);
  if (registry == nullptr) {
    lost = true;
    return;
  }
  // Listening before the loop runs: the registry's first events tell every object there is.
  listen(reinterpret_cast<pw_proxy*>(core), coreListener, &kCoreEvents, this);
  listen(reinterpret_cast<pw_proxy*>(registry), registryListener, &kRegistryEvents, this);
  if (pw_thread_loop_start(loop) < 0) lost = true;  // no thread to race with
}

PipewireLatency::Graph::~Graph() {
  if (loop != nullptr) pw_thread_loop_stop(loop);
  for (auto& [id, b] : ports) unbind(b);
  for (auto& [id, b] : nodes) unbind(b);
  if (registry != nullptr) {
    spa_hook_remove(&registryListener);
    pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry));
  }
  if (core != nullptr) {
    spa_hook_remove(&coreListener);
    pw_core_disconnect(core);
  }
  if (context != nullptr) pw_context_destroy(context);
  if (loop != nullptr) pw_thread_loop_destroy(loop);
  pw_deinit();
}

void PipewireLatency::Graph::unbind(Bound& b) {
  if (b.proxy == nullptr) return;
  spa_hook_remove(&b.listener);
  pw_proxy_destroy(b.proxy);
  b.proxy = nullptr;
}

void PipewireLatency::Graph::added(uint32_t id, const char* type, const spa_dict* props) {
  if (props == nullptr) return;
  if (same(type, PW_TYPE_INTERFACE_Node) &&
      same(spa_dict_lookup(props, PW_KEY_MEDIA_CLASS), "Stream/Output/Audio")) {
    bind(nodes, id, PW_TYPE_INTERFACE_Node, PW_VERSION_NODE, &kNodeEvents);
  } else if (same(type, PW_TYPE_INTERFACE_Port) &&
             same(spa_dict_lookup(props, PW_KEY_PORT_DIRECTION), "out")) {
    const char* node = spa_dict_lookup(props, PW_KEY_NODE_ID);
    if (node == nullptr) return;
    const auto nodeId = static_cast<uint32_t>(std::strtoul(node, nullptr, 10));
    outputPorts[id] = nodeId;
    const auto n = nodes.find(nodeId);
    if (n != nodes.end() && n->second.ours) bindPort(id, nodeId);
  }
}

void PipewireLatency::Graph::removed(uint32_t id) {
  for (auto* objects : {&nodes, &ports}) {
    const auto b = objects->find(id);
    if (b == objects->end()) continue;
    unbind(b->second);
    objects->erase(b);
  }
  outputPorts.erase(id);
  publish();
}

void PipewireLatency::Graph::nodeInfo(Bound& node, const spa_dict* props) {
  const char* pidOf = spa_dict_lookup(props, PW_KEY_APP_PROCESS_ID);
  node.ours =
      same(spa_dict_lookup(props, PW_KEY_MEDIA_NAME), name.c_str()) && (pidOf == nullptr || pid == pidOf);
  const char* serial = spa_dict_lookup(props, PW_KEY_OBJECT_SERIAL);
  node.serial = serial != nullptr ? std::strtoull(serial, nullptr, 10) : node.id;
  if (!node.ours) return;
  for (const auto& [port, of] : outputPorts)
    if (of == node.id && ports.find(port) == ports.end()) bindPort(port, of);
}

PipewireLatency::Graph::Bound* PipewireLatency::Graph::bind(std::map<uint32_t, Bound>& into, uint32_t id,
                                                            const char* type, uint32_t version,
                                                            const void* events) {
  auto* proxy = static_cast<pw_proxy*>(pw_registry_bind(registry, id, type, version, 0));
  if (proxy == nullptr) return nullptr;
  Bound& b = into[id];
  b.graph = this;
  b.id = id;
  b.proxy = proxy;
  listen(proxy, b.listener, events, &b);
  return &b;
}

void PipewireLatency::Graph::bindPort(uint32_t id, uint32_t node) {
  Bound* b = bind(ports, id, PW_TYPE_INTERFACE_Port, PW_VERSION_PORT, &kPortEvents);
  if (b == nullptr) return;
  b->node = node;
  subscribeToLatency(reinterpret_cast<pw_port*>(b->proxy));
}

void PipewireLatency::Graph::portParam(Bound& port, const spa_pod* param) {
  spa_latency_info info{};
  if (spa_latency_parse(param, &info) < 0 || info.direction != SPA_DIRECTION_INPUT) return;
  port.latency = DeclaredLatency{info.min_quantum, info.min_rate, static_cast<int64_t>(info.min_ns)};
  publish();
}

// What the newest of our nodes' ports have told. Ports of one stream play to one sink and
// declare alike.
void PipewireLatency::Graph::publish() {
  std::optional<DeclaredLatency> result;
  uint64_t newest = 0;
  for (const auto& [id, p] : ports) {
    const auto n = nodes.find(p.node);
    if (!p.latency || n == nodes.end() || !n->second.ours || (result && n->second.serial < newest)) continue;
    newest = n->second.serial;
    result = p.latency;
  }
  std::lock_guard<std::mutex> l(m);
  published = result;
}

PipewireLatency::PipewireLatency(const std::string& streamName, const std::string& pid)
    : graph_(std::make_unique<Graph>(streamName, pid)) {}

PipewireLatency::~PipewireLatency() = default;

bool PipewireLatency::lost() const {
  std::lock_guard<std::mutex> l(graph_->m);
  return graph_->lost;
}

std::optional<DeclaredLatency> PipewireLatency::downstream() const {
  std::lock_guard<std::mutex> l(graph_->m);
  return graph_->published;
}

}  // namespace taktovi
