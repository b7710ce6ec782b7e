#pragma once
// The MIDI output operations the sound output relies on, with their result codes
// (0 = success). Device ids run from 0 to the device count - 1; 0xFFFF is the system's
// default routing. A handle of 0 is no device: every call on it fails.

#include <cstdint>

#include "platform/clock.h"
#include "platform/mmsyserr.h"

namespace taktovi {

// Technology codes of a device.
inline constexpr uint16_t MOD_MIDIPORT = 1;  // an external port: never the default, never listed
inline constexpr uint16_t MOD_SYNTH = 2;
inline constexpr uint16_t MOD_MAPPER = 5;
inline constexpr uint16_t MOD_SWSYNTH = 7;

inline constexpr uint32_t MIDI_MAPPER = 0xFFFF;
inline constexpr uint32_t MIDI_CACHE_BESTFIT = 2;

struct MidiOutCaps {
  char szPname[32] = {};  // product name: at most 31 characters and a zero byte
  uint16_t wTechnology = 0;
};

using HMIDIOUT = uint32_t;

class MidiOutService {
 public:
  virtual ~MidiOutService() = default;
  virtual uint32_t midiOutGetNumDevs() = 0;
  // Fills name and technology of a device (or of MIDI_MAPPER); 0 = success.
  virtual uint32_t midiOutGetDevCaps(uint32_t deviceId, MidiOutCaps& caps) = 0;
  // Opens without callback; on failure the handle is 0.
  virtual uint32_t midiOutOpen(HMIDIOUT& handle, uint32_t deviceId) = 0;
  // All notes and sounds off on every channel.
  virtual uint32_t midiOutReset(HMIDIOUT handle) = 0;
  // Status in bits 0-7, data 1 in 8-15, data 2 in 16-23. Sent now, or meant for steady-clock
  // time `atNs` (a melody's planned tone): a device that schedules plays it then, heard
  // heardLatencyNs() later, and one that cannot sends it at once.
  uint32_t midiOutShortMsg(HMIDIOUT handle, uint32_t packed, int64_t atNs = kNow) {
    return shortMsg(handle, packed, atNs);
  }
  // Left volume in the low word, right in the high word; by device id, not handle.
  virtual uint32_t midiOutSetVolume(uint32_t deviceId, uint32_t volume) = 0;
  virtual uint32_t midiOutCachePatches(HMIDIOUT handle, uint32_t bank, const uint16_t* patches,
                                       uint32_t flags) = 0;
  virtual uint32_t midiOutClose(HMIDIOUT handle) = 0;
  // How long after a message (or after the time it was meant for) it is heard on this device,
  // as far as the system knows.
  virtual int64_t heardLatencyNs(HMIDIOUT) const { return 0; }
  // Whether the device schedules: takes messages ahead of their time (a whole melody at its
  // start) and plays each at its time. One that does not plays a message when it is sent.
  virtual bool schedulesAhead(HMIDIOUT) const { return false; }
  // What was handed over for a time after now does not play any more.
  virtual void cancelScheduled(HMIDIOUT) {}
  // Whether a tone started on this handle now would be heard, as far as the system knows.
  virtual bool audible(HMIDIOUT handle) const { return handle != 0; }

 protected:
  virtual uint32_t shortMsg(HMIDIOUT handle, uint32_t packed, int64_t atNs) = 0;
};

}  // namespace taktovi
