#pragma once
// The software mixer for WAV mode: a mixer object that creates sound buffers, and buffers
// that are filled once (lock, write, unlock) and then played in a loop at a chosen rate
// and volume. Results are HRESULT-style codes, so an error message can describe them.

#include <cstdint>
#include <memory>

#include "platform/clock.h"

namespace taktovi {

using HRESULT = uint32_t;
inline constexpr HRESULT DS_OK = 0;
inline constexpr HRESULT DSERR_UNSUPPORTED = 0x80004001;
inline constexpr HRESULT DSERR_GENERIC = 0x80004005;
inline constexpr HRESULT DSERR_NOAGGREGATION = 0x80040110;
inline constexpr HRESULT DSERR_OUTOFMEMORY = 0x8007000E;
inline constexpr HRESULT DSERR_INVALIDPARAM = 0x80070057;
inline constexpr HRESULT DSERR_ALLOCATED = 0x8878000A;
inline constexpr HRESULT DSERR_CONTROLUNAVAIL = 0x8878001E;
inline constexpr HRESULT DSERR_INVALIDCALL = 0x88780032;
inline constexpr HRESULT DSERR_PRIOLEVELNEEDED = 0x88780046;
inline constexpr HRESULT DSERR_BADFORMAT = 0x88780064;
inline constexpr HRESULT DSERR_NODRIVER = 0x88780078;
inline constexpr HRESULT DSERR_ALREADYINITIALIZED = 0x88780082;
inline constexpr HRESULT DSERR_BUFFERLOST = 0x88780096;
inline constexpr HRESULT DSERR_OTHERAPPHASPRIO = 0x887800A0;
inline constexpr HRESULT DSERR_UNINITIALIZED = 0x887800AA;

inline constexpr uint32_t DSBCAPS_STATIC = 0x02;
inline constexpr uint32_t DSBCAPS_CTRLFREQUENCY = 0x20;
inline constexpr uint32_t DSBCAPS_CTRLVOLUME = 0x80;
inline constexpr uint32_t DSBLOCK_ENTIREBUFFER = 2;
inline constexpr uint32_t DSBPLAY_LOOPING = 1;
inline constexpr uint32_t DSSCL_NORMAL = 1;
inline constexpr int32_t DSBVOLUME_MIN = -10000;
inline constexpr int32_t DSBVOLUME_MAX = 0;
inline constexpr uint32_t DSBFREQUENCY_MIN = 100;
inline constexpr uint32_t DSBFREQUENCY_MAX = 200000;

// The buffer description: size 20, flags, bytes, reserved, and the format record (18 + n
// bytes: tag, channels, rate, bytes per second, block alignment, bits, extra size, extra).
struct DSBUFFERDESC {
  uint32_t dwSize = 0;
  uint32_t dwFlags = 0;
  uint32_t dwBufferBytes = 0;
  uint32_t dwReserved = 0;
  const uint8_t* lpwfxFormat = nullptr;
};

class SoundBuffer {
 public:
  virtual ~SoundBuffer() = default;  // release
  // Locks a region for writing; with DSBLOCK_ENTIREBUFFER the whole buffer, one region.
  virtual HRESULT Lock(uint32_t offset, uint32_t bytes, void** region1, uint32_t* size1, void** region2,
                       uint32_t* size2, uint32_t flags) = 0;
  // The written bytes become playable.
  virtual HRESULT Unlock(void* region1, uint32_t size1, void* region2, uint32_t size2) = 0;
  virtual HRESULT Play(uint32_t reserved, uint32_t priority, uint32_t flags) = 0;
  virtual HRESULT GetVolume(int32_t* volume) = 0;

  // Position, rate and volume act now, or at steady-clock time `atNs` (a melody's planned
  // tone), heard heardLatencyNs() after it.
  HRESULT SetCurrentPosition(uint32_t bytePosition, int64_t atNs = kNow) {
    return setCurrentPosition(bytePosition, atNs);
  }
  // Rejected outside 100..200000 Hz; the rate stays as it was.
  HRESULT SetFrequency(uint32_t hz, int64_t atNs = kNow) { return setFrequency(hz, atNs); }
  // Hundredths of a dB, rejected outside -10000..0; the volume stays as it was.
  HRESULT SetVolume(int32_t volume, int64_t atNs = kNow) { return setVolume(volume, atNs); }
  // The end of a tone: from `atNs` on, the volume falls to DSBVOLUME_MIN within a few
  // milliseconds, without a click.
  HRESULT FadeOut(int64_t atNs = kNow) { return fadeOut(atNs); }

  // How long after a call (or after the time it was meant for) its effect is heard.
  virtual int64_t heardLatencyNs() const { return 0; }
  // Whether the buffer takes calls ahead of their time (a whole melody at its start) and acts on
  // each at its time; what was handed over for a time after now can be cancelled.
  virtual bool schedulesAhead() const { return false; }
  virtual void CancelScheduled() {}
  // Whether a tone started on this buffer now would be heard, as far as the system knows.
  virtual bool audible() const { return true; }

 protected:
  virtual HRESULT setCurrentPosition(uint32_t bytePosition, int64_t atNs) = 0;
  virtual HRESULT setFrequency(uint32_t hz, int64_t atNs) = 0;
  virtual HRESULT setVolume(int32_t volume, int64_t atNs) = 0;
  virtual HRESULT fadeOut(int64_t atNs) = 0;
};

class SoundMixer {
 public:
  virtual ~SoundMixer() = default;  // release
  virtual HRESULT SetCooperativeLevel(void* window, uint32_t level) = 0;
  virtual HRESULT CreateSoundBuffer(const DSBUFFERDESC& desc, std::unique_ptr<SoundBuffer>& buffer) = 0;
};

class MixerFactory {
 public:
  virtual ~MixerFactory() = default;
  // The mixer on the default device; a failure result (and no object) when none can be had.
  virtual HRESULT DirectSoundCreate(std::unique_ptr<SoundMixer>& mixer) = 0;
};

}  // namespace taktovi
