#pragma once
// The multimedia system's general result codes, which the MIDI output calls and the RIFF file
// calls share (0 = success). Each interface adds its own codes beside these.

#include <cstdint>

namespace taktovi {

inline constexpr uint32_t MMSYSERR_NOERROR = 0;
inline constexpr uint32_t MMSYSERR_ERROR = 1;
inline constexpr uint32_t MMSYSERR_BADDEVICEID = 2;
inline constexpr uint32_t MMSYSERR_INVALHANDLE = 5;
inline constexpr uint32_t MMSYSERR_NODRIVER = 6;
inline constexpr uint32_t MMSYSERR_NOTSUPPORTED = 8;

}  // namespace taktovi
