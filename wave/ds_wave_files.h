#pragma once
// Reads an instrument sample from a RIFF WAVE file in four steps, always in this order:
// WavOpen, WavStartData, WavRead, WavRelease. Results are 0 or an error code.

#include <cstdint>
#include <memory>
#include <stdexcept>

#include "platform/riff_file.h"

namespace taktovi {

inline constexpr uint32_t WAV_ERR_MEMORY = 0xE000;
inline constexpr uint32_t WAV_ERR_CANNOT_OPEN = 0xE100;
inline constexpr uint32_t WAV_ERR_NOT_WAVE = 0xE101;
inline constexpr uint32_t WAV_ERR_CANNOT_READ = 0xE102;
inline constexpr uint32_t WAV_ERR_CORRUPT = 0xE103;

using WaveHandle = std::unique_ptr<RiffFile>;

// The format record: one block of 18 + n bytes in file order, little-endian (format tag,
// channels, samples per second, average bytes per second, block alignment, bits per sample,
// extra size n, then n extra bytes), as the mixer takes it.
struct FormatRecordDeleter {
  void operator()(uint8_t* p) const { delete[] p; }
};
using FormatRecord = std::unique_ptr<uint8_t, FormatRecordDeleter>;

// The record's fields, decoded.
struct WaveFormat {
  uint16_t formatTag = 0;
  uint16_t channels = 0;
  uint32_t samplesPerSec = 0;
  uint32_t avgBytesPerSec = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
  uint16_t extraSize = 0;
};
inline constexpr size_t kFormatRecordBaseSize = 18;
WaveFormat decodeFormat(const uint8_t* record);
inline size_t formatRecordSize(const uint8_t* record) {
  return kFormatRecordBaseSize + decodeFormat(record).extraSize;
}

// Raised by WavStartData when no file is open; callers may let it reach the error display.
class AssertionError : public std::runtime_error {
 public:
  AssertionError() : std::runtime_error("Assertion failure") {}
  // The same failure with a line that says more before it.
  explicit AssertionError(const std::string& before) : std::runtime_error(before + "\r\rAssertion failure") {}
};

// Opens the file, checks RIFF/WAVE, reads the format record (allocated here, owned by the
// caller until WavRelease). On failure nothing is held: handle and record are null.
uint32_t WavOpen(const char* fileName, WaveHandle& handle, FormatRecord& format, ChunkInfo& riff);
// Positions on the data chunk; 0 = found. Throws AssertionError when no file is open.
uint32_t WavStartData(WaveHandle& handle, ChunkInfo& data, const ChunkInfo& riff);
// Copies at most `wanted` bytes of the data chunk into dst; data.cksize counts down the
// bytes still to read. On failure `copied` is 0.
uint32_t WavRead(WaveHandle& handle, uint32_t wanted, uint8_t* dst, ChunkInfo& data, uint32_t& copied);
// Frees the record and closes the file; harmless when both are already null. Always 0.
uint32_t WavRelease(WaveHandle& handle, FormatRecord& format);

}  // namespace taktovi
