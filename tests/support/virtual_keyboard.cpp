// Types keys on a Wayland compositor through its virtual keyboard (zwp_virtual_keyboard_v1), each
// stamped, as a physical keyboard's events are, with the time it is sent: CLOCK_MONOTONIC
// milliseconds plus an offset, so that a test can have the compositor's clock run on ours or on
// another. One keyboard for the whole run (a keyboard that comes or goes moves the focus): it
// reads key names from standard input, one a line (return, space or shift, each pressed and
// released), and prints for each the CLOCK_MONOTONIC nanoseconds at which it went down.
//   virtual_keyboard OFFSET_MS

#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <string>

namespace {

// The protocol's two interfaces, as its description defines them (requests only, version 1).
extern const wl_interface kKeyboardInterface;
const wl_interface* const kCreateTypes[] = {&wl_seat_interface, &kKeyboardInterface};
const wl_interface* const kPlainTypes[] = {nullptr, nullptr, nullptr, nullptr};
const wl_message kManagerRequests[] = {
    {"create_virtual_keyboard", "on", const_cast<const wl_interface**>(kCreateTypes)}};
const wl_message kKeyboardRequests[] = {{"keymap", "uhu", const_cast<const wl_interface**>(kPlainTypes)},
                                        {"key", "uuu", const_cast<const wl_interface**>(kPlainTypes)},
                                        {"modifiers", "uuuu", const_cast<const wl_interface**>(kPlainTypes)},
                                        {"destroy", "", const_cast<const wl_interface**>(kPlainTypes)}};
const wl_interface kManagerInterface = {
    "zwp_virtual_keyboard_manager_v1", 1, 1, kManagerRequests, 0, nullptr};
const wl_interface kKeyboardInterface = {"zwp_virtual_keyboard_v1", 1, 4, kKeyboardRequests, 0, nullptr};

struct Globals {
  wl_seat* seat = nullptr;
  wl_proxy* manager = nullptr;
};

void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
  auto* g = static_cast<Globals*>(data);
  if (std::strcmp(interface, wl_seat_interface.name) == 0 && g->seat == nullptr)
    g->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
  if (std::strcmp(interface, kManagerInterface.name) == 0)
    g->manager = static_cast<wl_proxy*>(wl_registry_bind(registry, name, &kManagerInterface, 1));
}
void globalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistryListener = {global, globalRemove};

int64_t monotonicNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

// The default keymap, in a file the compositor can map.
bool sendKeymap(wl_proxy* keyboard) {
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  xkb_keymap* keymap =
      context != nullptr ? xkb_keymap_new_from_names(context, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS) : nullptr;
  char* text = keymap != nullptr ? xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1) : nullptr;
  const int fd = memfd_create("keymap", MFD_CLOEXEC);
  const size_t size = text != nullptr ? std::strlen(text) + 1 : 0;
  const bool ok = text != nullptr && fd >= 0 && write(fd, text, size) == static_cast<ssize_t>(size);
  if (ok) wl_proxy_marshal(keyboard, 0, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, static_cast<uint32_t>(size));
  if (fd >= 0) close(fd);
  std::free(text);
  xkb_keymap_unref(keymap);
  xkb_context_unref(context);
  return ok;
}

int codeOf(const std::string& key) {
  if (key == "return") return KEY_ENTER;
  if (key == "space") return KEY_SPACE;
  if (key == "shift") return KEY_LEFTSHIFT;
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: virtual_keyboard OFFSET_MS\n");
    return 2;
  }
  const int64_t offsetMs = std::atoll(argv[1]);
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) return 1;
  Globals g;
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistryListener, &g);
  wl_display_roundtrip(display);
  if (g.seat == nullptr || g.manager == nullptr) return 1;
  wl_proxy* keyboard = wl_proxy_marshal_constructor(g.manager, 0, &kKeyboardInterface, g.seat, nullptr);
  if (keyboard == nullptr || !sendKeymap(keyboard)) return 1;
  // The compositor hands the new keymap to its clients with the keyboard's first event: that is
  // no key, so none is lost while a client takes the keymap in.
  wl_proxy_marshal(keyboard, 2, 0u, 0u, 0u, 0u);
  wl_display_roundtrip(display);
  usleep(50'000);
  for (std::string key; std::getline(std::cin, key);) {
    const int code = codeOf(key);
    if (code < 0) return 2;
    for (uint32_t state : {1u, 0u}) {
      const int64_t now = monotonicNs();
      wl_proxy_marshal(keyboard, 1, static_cast<uint32_t>(now / 1'000'000 + offsetMs),
                       static_cast<uint32_t>(code), state);
      wl_display_roundtrip(display);
      if (state == 1) std::cout << now << std::endl;
      usleep(20'000);
    }
  }
  wl_proxy_marshal(keyboard, 3);
  wl_proxy_destroy(keyboard);
  wl_display_roundtrip(display);
  wl_proxy_destroy(g.manager);
  wl_seat_destroy(g.seat);
  wl_registry_destroy(registry);
  wl_display_disconnect(display);
  return 0;
}
