#include "wave/ds_wave_files.h"

#include "platform/little_endian.h"

#include <cstring>
#include <new>
#include <string>

namespace taktovi {

namespace {

// The reader's own failures, caught inside each step and turned into its code.
class EReadError : public std::runtime_error {
 public:
  EReadError(uint32_t code, const char* text) : std::runtime_error(text), code_(code) {}
  uint32_t code() const { return code_; }

 private:
  uint32_t code_;
};

constexpr const char* kCannotOpen = "Cannot open wave file";
constexpr const char* kNotValid = "Not a valid wave file";
constexpr const char* kCannotReadFile = "Cannot read the wave file";
constexpr const char* kNoMemory = "Error allocating memory for the wave file";
constexpr const char* kCannotRead = "Cannot read wave file";
constexpr const char* kCorrupt = "Corrupt wave file";

void openSteps(const char* fileName, WaveHandle& file, FormatRecord& record, ChunkInfo& riff) {
  file = RiffFile::open(fileName);
  if (!file) throw EReadError(WAV_ERR_CANNOT_OPEN, kCannotOpen);

  if (uint32_t r = file->descend(riff, nullptr, 0); r != 0) throw EReadError(r, kCannotOpen);
  if (riff.ckid != makeFourcc('R', 'I', 'F', 'F') || riff.fccType != RiffFile::stringToFourcc("WAVE"))
    throw EReadError(WAV_ERR_NOT_WAVE, kNotValid);

  ChunkInfo fmt;
  fmt.ckid = RiffFile::stringToFourcc("fmt ");
  if (uint32_t r = file->descend(fmt, &riff, MMIO_FINDCHUNK); r != 0) throw EReadError(r, kNotValid);
  if (fmt.cksize < 16) throw EReadError(WAV_ERR_NOT_WAVE, kNotValid);

  uint8_t head[16];
  if (file->read(head, 16) != 16) throw EReadError(WAV_ERR_CANNOT_READ, kCannotReadFile);
  uint16_t extra = 0;
  // A non-PCM record carries its extra size, when the chunk has room for it; a 16-byte
  // chunk has none, and the two bytes after it belong to the next chunk.
  if (le16(head) != 1 && fmt.cksize >= 18) {
    uint8_t e[2];
    if (file->read(e, 2) != 2) throw EReadError(WAV_ERR_CANNOT_READ, kCannotReadFile);
    extra = le16(e);
    // Extra bytes must lie inside the chunk, not be taken from whatever follows it.
    if (extra > fmt.cksize - 18) throw EReadError(WAV_ERR_NOT_WAVE, kNotValid);
  }

  record.reset(new (std::nothrow) uint8_t[kFormatRecordBaseSize + extra]);
  if (!record) throw EReadError(WAV_ERR_MEMORY, kNoMemory);
  std::memcpy(record.get(), head, 16);
  record.get()[16] = static_cast<uint8_t>(extra & 0xFF);
  record.get()[17] = static_cast<uint8_t>(extra >> 8);

  if (extra != 0 && file->read(record.get() + kFormatRecordBaseSize, extra) != extra)
    throw EReadError(WAV_ERR_NOT_WAVE, kNotValid);
  if (uint32_t r = file->ascend(fmt); r != 0) throw EReadError(r, kNotValid);
}

}  // namespace

WaveFormat decodeFormat(const uint8_t* r) {
  return WaveFormat{le16(r), le16(r + 2), le32(r + 4), le32(r + 8), le16(r + 12), le16(r + 14), le16(r + 16)};
}

uint32_t WavOpen(const char* fileName, WaveHandle& handle, FormatRecord& format, ChunkInfo& riff) {
  format.reset();
  handle.reset();
  WaveHandle file;
  FormatRecord record;
  try {
    openSteps(fileName, file, record, riff);
  } catch (const EReadError& e) {
    return e.code();  // record and file are released on the way out
  }
  handle = std::move(file);
  format = std::move(record);
  return 0;
}

uint32_t WavStartData(WaveHandle& handle, ChunkInfo& data, const ChunkInfo& riff) {
  const int64_t pastFormType = static_cast<int64_t>(riff.dwDataOffset) + 4;
  if (!handle || handle->seek(pastFormType) == -1) throw AssertionError();
  data.ckid = RiffFile::stringToFourcc("data");
  return handle->descend(data, &riff, MMIO_FINDCHUNK);
}

uint32_t WavRead(WaveHandle& handle, uint32_t wanted, uint8_t* dst, ChunkInfo& data, uint32_t& copied) {
  copied = 0;
  try {
    if (!handle) throw EReadError(MMSYSERR_INVALHANDLE, kCannotRead);
    BufferInfo info;
    if (uint32_t r = handle->getInfo(info); r != 0) throw EReadError(r, kCannotRead);
    const uint32_t n = wanted < data.cksize ? wanted : data.cksize;
    data.cksize -= n;
    for (uint32_t i = 0; i < n; ++i) {
      if (info.pchNext == info.pchEndRead) {
        if (uint32_t r = handle->advance(info); r != 0) throw EReadError(r, kCannotRead);
        if (info.pchNext == info.pchEndRead) throw EReadError(WAV_ERR_CORRUPT, kCorrupt);
      }
      dst[i] = *info.pchNext++;
    }
    if (uint32_t r = handle->setInfo(info); r != 0) throw EReadError(r, kCannotRead);
    copied = n;
    return 0;
  } catch (const EReadError& e) {
    copied = 0;
    return e.code();
  }
}

uint32_t WavRelease(WaveHandle& handle, FormatRecord& format) {
  format.reset();
  handle.reset();
  return 0;
}

}  // namespace taktovi
