#pragma once
// A buffered reader for RIFF files with the meanings of the multimedia file I/O calls:
// descend into and ascend out of chunks, read, absolute seek, and direct access to the
// I/O buffer. Chunk sizes are taken as the file states them; every position is checked
// against the real file size, so no call reads outside the file.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/mmsyserr.h"

namespace taktovi {

// Result codes of the chunk and buffer calls besides the general ones (0 = success).
inline constexpr uint32_t MMIOERR_BASE = 256;
inline constexpr uint32_t MMIOERR_CANNOTREAD = MMIOERR_BASE + 5;
inline constexpr uint32_t MMIOERR_CANNOTSEEK = MMIOERR_BASE + 7;
inline constexpr uint32_t MMIOERR_CHUNKNOTFOUND = MMIOERR_BASE + 9;
inline constexpr uint32_t MMIOERR_INVALIDPARAM = MMIOERR_BASE + 12;

// Descend flags.
inline constexpr uint32_t MMIO_FINDCHUNK = 0x10;
inline constexpr uint32_t MMIO_FINDRIFF = 0x20;
inline constexpr uint32_t MMIO_FINDLIST = 0x40;

// One chunk: id, size of its data, form type (RIFF/LIST), offset of its data, flags.
struct ChunkInfo {
  uint32_t ckid = 0;
  uint32_t cksize = 0;
  uint32_t fccType = 0;
  uint32_t dwDataOffset = 0;
  uint32_t dwFlags = 0;
};

// The direct-access view of the I/O buffer: the next byte to read and the end of the
// bytes read into the buffer.
struct BufferInfo {
  const uint8_t* pchNext = nullptr;
  const uint8_t* pchEndRead = nullptr;
};

constexpr uint32_t makeFourcc(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
         static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

class RiffFile {
 public:
  // Opens a regular file for buffered reading; null when it cannot be opened.
  static std::unique_ptr<RiffFile> open(const char* path, size_t bufferSize = 16384);
  ~RiffFile();
  RiffFile(const RiffFile&) = delete;
  RiffFile& operator=(const RiffFile&) = delete;

  // Enters a chunk at the current position (0 = entered; the position is then at the
  // chunk's data, after the form type for RIFF and LIST). With MMIO_FINDCHUNK (or FINDRIFF,
  // FINDLIST) it skips chunks until one with ck.ckid (ck.fccType) is found, not beyond the
  // end of parent when one is given.
  uint32_t descend(ChunkInfo& ck, const ChunkInfo* parent, uint32_t flags);
  // Leaves the chunk: the position moves past its end and its pad byte (0 = success).
  uint32_t ascend(const ChunkInfo& ck);
  // Reads up to n bytes at the current position; the number read, or -1 on an I/O error.
  int32_t read(void* dst, int32_t n);
  // Absolute seek from the file start; the new position, or -1 when it lies outside the file.
  int64_t seek(int64_t pos);
  int64_t tell() const { return bufStart_ + static_cast<int64_t>(pos_); }
  int64_t size() const { return fileSize_; }

  static uint32_t stringToFourcc(const char* s);

  // Direct buffer access. advance refills the buffer from the position info.pchNext
  // stands for; afterwards pchNext == pchEndRead means there is no more data.
  uint32_t getInfo(BufferInfo& info) const;
  uint32_t advance(BufferInfo& info);
  uint32_t setInfo(const BufferInfo& info);

 private:
  RiffFile(std::FILE* f, int64_t size, size_t bufferSize);
  bool fill(int64_t at);  // loads the buffer from file offset `at`
  bool readHeader(ChunkInfo& ck);
  bool contains(const uint8_t* p) const { return p >= buf_.data() && p <= buf_.data() + len_; }

  std::FILE* f_;
  int64_t fileSize_;
  std::vector<uint8_t> buf_;
  int64_t bufStart_ = 0;  // file offset of buf_[0]
  size_t len_ = 0;        // valid bytes in buf_
  size_t pos_ = 0;        // read position inside buf_
};

}  // namespace taktovi
