#include "platform/riff_file.h"

#include "platform/little_endian.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace taktovi {

namespace {
constexpr uint32_t kRiff = makeFourcc('R', 'I', 'F', 'F');
constexpr uint32_t kList = makeFourcc('L', 'I', 'S', 'T');
}  // namespace

std::unique_ptr<RiffFile> RiffFile::open(const char* path, size_t bufferSize) {
  if (path == nullptr || bufferSize == 0) return nullptr;
  // Opened without blocking, so that a FIFO or a device cannot hold the caller; only regular
  // files are read. RIFF offsets are 32-bit, so a larger file cannot be a valid one.
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  std::FILE* f = nullptr;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
      st.st_size <= static_cast<off_t>(std::numeric_limits<uint32_t>::max()) &&
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0) {
    f = fdopen(fd, "rb");
  }
  if (f == nullptr) {
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<RiffFile>(new RiffFile(f, st.st_size, bufferSize));
}

RiffFile::RiffFile(std::FILE* f, int64_t size, size_t bufferSize)
    : f_(f), fileSize_(size), buf_(bufferSize) {}

RiffFile::~RiffFile() {
  std::fclose(f_);
}

bool RiffFile::fill(int64_t at) {
  bufStart_ = at;
  pos_ = 0;
  len_ = 0;
  if (at >= fileSize_) return true;
  if (std::fseek(f_, static_cast<long>(at), SEEK_SET) != 0) return false;
  len_ = std::fread(buf_.data(), 1, buf_.size(), f_);
  return !std::ferror(f_);
}

int32_t RiffFile::read(void* dst, int32_t n) {
  if (n < 0 || (dst == nullptr && n > 0)) return -1;
  auto* out = static_cast<uint8_t*>(dst);
  int32_t done = 0;
  while (done < n) {
    if (pos_ == len_) {
      if (!fill(tell())) return -1;
      if (len_ == 0) break;
    }
    const size_t chunk = std::min(len_ - pos_, static_cast<size_t>(n - done));
    std::memcpy(out + done, buf_.data() + pos_, chunk);
    pos_ += chunk;
    done += static_cast<int32_t>(chunk);
  }
  return done;
}

int64_t RiffFile::seek(int64_t pos) {
  if (pos < 0 || pos > fileSize_) return -1;
  if (pos >= bufStart_ && pos <= bufStart_ + static_cast<int64_t>(len_)) {
    pos_ = static_cast<size_t>(pos - bufStart_);
  } else {
    bufStart_ = pos;  // filled lazily by the next read
    len_ = 0;
    pos_ = 0;
  }
  return pos;
}

bool RiffFile::readHeader(ChunkInfo& ck) {
  uint8_t h[8];
  if (read(h, 8) != 8) return false;
  ck.ckid = le32(h);
  ck.cksize = le32(h + 4);
  ck.dwDataOffset = static_cast<uint32_t>(tell());
  ck.fccType = 0;
  ck.dwFlags = 0;
  if (ck.ckid == kRiff || ck.ckid == kList) {
    if (read(h, 4) != 4) return false;
    ck.fccType = le32(h);
  }
  return true;
}

uint32_t RiffFile::descend(ChunkInfo& ck, const ChunkInfo* parent, uint32_t flags) {
  const uint32_t wantedId = ck.ckid;
  const uint32_t wantedType = ck.fccType;
  // The parent's data ends at its data offset plus its size; 64-bit so no size can wrap.
  const int64_t parentEnd = parent != nullptr ? static_cast<int64_t>(parent->dwDataOffset) + parent->cksize
                                              : std::numeric_limits<int64_t>::max();
  for (;;) {
    const int64_t start = tell();
    if (start + 8 > parentEnd) return MMIOERR_CHUNKNOTFOUND;
    ChunkInfo found;
    if (!readHeader(found)) return MMIOERR_CHUNKNOTFOUND;
    bool match = true;
    if (flags & MMIO_FINDCHUNK) match = found.ckid == wantedId;
    if (flags & MMIO_FINDRIFF) match = found.ckid == kRiff && found.fccType == wantedType;
    if (flags & MMIO_FINDLIST) match = found.ckid == kList && found.fccType == wantedType;
    if (match) {
      ck = found;
      return 0;
    }
    const int64_t next = static_cast<int64_t>(found.dwDataOffset) + found.cksize + (found.cksize & 1);
    if (seek(next) < 0) return MMIOERR_CHUNKNOTFOUND;
  }
}

uint32_t RiffFile::ascend(const ChunkInfo& ck) {
  int64_t end = static_cast<int64_t>(ck.dwDataOffset) + ck.cksize;
  // The pad byte of an odd-sized chunk; a file that ends right before it is still whole.
  if ((ck.cksize & 1) != 0 && end < fileSize_) ++end;
  return seek(end) < 0 ? MMIOERR_CANNOTSEEK : 0;
}

uint32_t RiffFile::stringToFourcc(const char* s) {
  char c[4] = {' ', ' ', ' ', ' '};
  for (int i = 0; i < 4 && s != nullptr && s[i] != '\0'; ++i) c[i] = s[i];
  return makeFourcc(c[0], c[1], c[2], c[3]);
}

uint32_t RiffFile::getInfo(BufferInfo& info) const {
  info.pchNext = buf_.data() + pos_;
  info.pchEndRead = buf_.data() + len_;
  return 0;
}

uint32_t RiffFile::advance(BufferInfo& info) {
  if (!contains(info.pchNext)) return MMIOERR_INVALIDPARAM;
  const int64_t at = bufStart_ + (info.pchNext - buf_.data());
  if (!fill(at)) return MMIOERR_CANNOTREAD;
  return getInfo(info);
}

uint32_t RiffFile::setInfo(const BufferInfo& info) {
  if (!contains(info.pchNext) || info.pchEndRead != buf_.data() + len_) return MMIOERR_INVALIDPARAM;
  pos_ = static_cast<size_t>(info.pchNext - buf_.data());
  return 0;
}

}  // namespace taktovi
