#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/wav_builder.h"
#include "wave/ds_wave_files.h"

using namespace taktovi;
using namespace taktovi::test;

namespace {

struct Opened {
  uint32_t code = 0;
  WaveHandle h;
  FormatRecord fmt;
  ChunkInfo riff;
};

Opened openFile(const std::string& path) {
  Opened o;
  o.code = WavOpen(path.c_str(), o.h, o.fmt, o.riff);
  return o;
}

class WaveReader : public ::testing::Test {
 protected:
  Opened open(const Bytes& b) { return openFile(dir.write("t.wav", b)); }
  TempDir dir;
};

std::vector<int16_t> ramp(size_t n) {
  std::vector<int16_t> s(n);
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<int16_t>(i * 7 - 3000);
  return s;
}

}  // namespace

TEST_F(WaveReader, ReadsPcmFormatAndWholeDataChunk) {
  const Bytes data = pcm16(ramp(1000));
  Opened o = open(pcmWave(data, 22050));
  ASSERT_EQ(o.code, 0u);
  ASSERT_TRUE(o.h);
  ASSERT_TRUE(o.fmt);
  const WaveFormat f = decodeFormat(o.fmt.get());
  EXPECT_EQ(f.formatTag, 1);
  EXPECT_EQ(f.channels, 1);
  EXPECT_EQ(f.samplesPerSec, 22050u);
  EXPECT_EQ(f.avgBytesPerSec, 44100u);
  EXPECT_EQ(f.blockAlign, 2);
  EXPECT_EQ(f.bitsPerSample, 16);
  EXPECT_EQ(f.extraSize, 0);
  EXPECT_EQ(formatRecordSize(o.fmt.get()), 18u);
  EXPECT_EQ(o.riff.fccType, makeFourcc('W', 'A', 'V', 'E'));
  EXPECT_EQ(o.riff.dwDataOffset, 8u);

  ChunkInfo d;
  ASSERT_EQ(WavStartData(o.h, d, o.riff), 0u);
  EXPECT_EQ(d.cksize, data.size());
  Bytes out(d.cksize);
  uint32_t got = 99;
  EXPECT_EQ(WavRead(o.h, d.cksize, out.data(), d, got), 0u);
  EXPECT_EQ(got, data.size());
  EXPECT_EQ(out, data);
  EXPECT_EQ(d.cksize, 0u);
  EXPECT_EQ(WavRelease(o.h, o.fmt), 0u);
  EXPECT_FALSE(o.h);
  EXPECT_FALSE(o.fmt);
}

TEST_F(WaveReader, FormatChunkShapes) {
  // 18-byte PCM chunk: extra size 0, the two bytes are skipped by leaving the chunk.
  Bytes pcm18 = fmtPayload(1, 1, 44100, 16, 18, 0x1234);
  Opened a = open(riff("WAVE", {chunk("fmt ", pcm18), chunk("data", pcm16({1, 2}))}));
  ASSERT_EQ(a.code, 0u);
  EXPECT_EQ(decodeFormat(a.fmt.get()).extraSize, 0);
  ChunkInfo d;
  EXPECT_EQ(WavStartData(a.h, d, a.riff), 0u);
  EXPECT_EQ(d.cksize, 4u);

  // 14-byte chunk (no bits per sample) is refused.
  Opened b = open(riff("WAVE", {chunk("fmt ", fmtPayload(1, 1, 44100, 16, 14)), chunk("data", {})}));
  EXPECT_EQ(b.code, WAV_ERR_NOT_WAVE);
  EXPECT_FALSE(b.h);
  EXPECT_FALSE(b.fmt);

  // Every size from 0 to 15 is refused.
  for (size_t n = 0; n < 16; ++n) {
    Opened c = open(riff("WAVE", {chunk("fmt ", Bytes(n, 1)), chunk("data", pcm16({1}))}));
    EXPECT_EQ(c.code, WAV_ERR_NOT_WAVE) << n;
    EXPECT_FALSE(c.fmt) << n;
  }
}

TEST_F(WaveReader, ExtensibleFormatKeepsItsExtraBytes) {
  Bytes ext = fmtPayload(0xFFFE, 2, 48000, 24, 40, 22, 0x5A);
  Opened o = open(riff("WAVE", {chunk("fmt ", ext), chunk("data", Bytes(12, 3))}));
  ASSERT_EQ(o.code, 0u);
  const WaveFormat f = decodeFormat(o.fmt.get());
  EXPECT_EQ(f.formatTag, 0xFFFE);
  EXPECT_EQ(f.channels, 2);
  EXPECT_EQ(f.bitsPerSample, 24);
  EXPECT_EQ(f.extraSize, 22);
  ASSERT_EQ(formatRecordSize(o.fmt.get()), 40u);
  // The record is the chunk's bytes in file order.
  EXPECT_TRUE(std::equal(ext.begin(), ext.end(), o.fmt.get()));
}

TEST_F(WaveReader, ExtraSizeBeyondTheChunkIsRefused) {
  // The extra size claims more bytes than the chunk holds; they would come from the data.
  Bytes bad = fmtPayload(3, 1, 44100, 32, 18, 60000);
  Opened o = open(riff("WAVE", {chunk("fmt ", bad), chunk("data", Bytes(70000, 1))}));
  EXPECT_EQ(o.code, WAV_ERR_NOT_WAVE);
  EXPECT_FALSE(o.fmt);
  EXPECT_FALSE(o.h);
}

TEST_F(WaveReader, NonPcmSixteenByteChunkHasNoExtraBytes) {
  Opened o = open(riff("WAVE", {chunk("fmt ", fmtPayload(3, 1, 44100, 32, 16)), chunk("data", Bytes(8, 0))}));
  ASSERT_EQ(o.code, 0u);
  EXPECT_EQ(decodeFormat(o.fmt.get()).extraSize, 0);
}

TEST_F(WaveReader, WrongIdsAreNotWave) {
  const Bytes fmt = chunk("fmt ", fmtPayload(1, 1, 44100, 16));
  const Bytes data = chunk("data", pcm16({1, 2, 3}));
  EXPECT_EQ(open(riff("WAVE", {fmt, data}, "RIFX")).code, WAV_ERR_NOT_WAVE);
  EXPECT_EQ(open(riff("AVI ", {fmt, data})).code, WAV_ERR_NOT_WAVE);
  EXPECT_EQ(open(riff("WAVE", {data}, "LIST")).code, WAV_ERR_NOT_WAVE);
  // No "fmt " chunk inside the RIFF chunk: the search's own result.
  EXPECT_EQ(open(riff("WAVE", {data})).code, MMIOERR_CHUNKNOTFOUND);
}

TEST_F(WaveReader, ChunksBeforeFormatAndDataAreSkipped) {
  Bytes list = chunk("LIST", Bytes{'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0});
  Bytes odd = chunk("junk", Bytes(5, 0xEE));  // odd size, one pad byte
  Bytes data = pcm16(ramp(300));
  Opened o = open(riff("WAVE", {list, chunk("fmt ", fmtPayload(1, 1, 44100, 16)), odd, chunk("data", data)}));
  ASSERT_EQ(o.code, 0u);
  ChunkInfo d;
  ASSERT_EQ(WavStartData(o.h, d, o.riff), 0u);
  Bytes out(data.size());
  uint32_t got = 0;
  ASSERT_EQ(WavRead(o.h, static_cast<uint32_t>(out.size()), out.data(), d, got), 0u);
  EXPECT_EQ(out, data);
}

TEST_F(WaveReader, ReadsContinueWhereTheLastStoppedAndStopAtTheChunkEnd) {
  const Bytes data = pcm16(ramp(20000));  // larger than the I/O buffer
  Opened o = open(pcmWave(data));
  ASSERT_EQ(o.code, 0u);
  ChunkInfo d;
  ASSERT_EQ(WavStartData(o.h, d, o.riff), 0u);
  Bytes out;
  Bytes part(7001, 0);
  uint32_t got = 0;
  do {
    ASSERT_EQ(WavRead(o.h, static_cast<uint32_t>(part.size()), part.data(), d, got), 0u);
    out.insert(out.end(), part.begin(), part.begin() + got);
  } while (got == part.size());
  EXPECT_EQ(out, data);
  // Nothing left: a further request copies nothing.
  EXPECT_EQ(WavRead(o.h, 10, part.data(), d, got), 0u);
  EXPECT_EQ(got, 0u);
}

TEST_F(WaveReader, RequestLargerThanTheChunkCopiesOnlyTheChunk) {
  const Bytes data = pcm16({10, 20, 30});
  Bytes file = riff("WAVE", {chunk("fmt ", fmtPayload(1, 1, 44100, 16)), chunk("data", data),
                             chunk("trai", Bytes(8, 0x77))});
  Opened o = open(file);
  ChunkInfo d;
  ASSERT_EQ(WavStartData(o.h, d, o.riff), 0u);
  Bytes out(100, 0xCC);
  uint32_t got = 0;
  EXPECT_EQ(WavRead(o.h, 100, out.data(), d, got), 0u);
  EXPECT_EQ(got, 6u);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin()));
  EXPECT_EQ(out[6], 0xCC);  // nothing written past the copied bytes
}

TEST_F(WaveReader, DeclaredDataLargerThanPresentIsCorrupt) {
  Bytes file =
      riff("WAVE", {chunk("fmt ", fmtPayload(1, 1, 44100, 16)), chunk("data", pcm16({1, 2, 3}), 4000)});
  Opened o = open(file);
  ASSERT_EQ(o.code, 0u);
  ChunkInfo d;
  ASSERT_EQ(WavStartData(o.h, d, o.riff), 0u);
  EXPECT_EQ(d.cksize, 4000u);
  Bytes out(4000, 0);
  uint32_t got = 1;
  EXPECT_EQ(WavRead(o.h, 4000, out.data(), d, got), WAV_ERR_CORRUPT);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(d.cksize, 0u);  // counted down before copying
  EXPECT_TRUE(o.h);         // the file stays open for WavRelease
  WavRelease(o.h, o.fmt);
}

TEST_F(WaveReader, HugeChunkSizesNeitherWrapNorHang) {
  // A "fmt " chunk claiming nearly 4 GiB: leaving it fails.
  Bytes f = fmtPayload(1, 1, 44100, 16);
  Bytes file = riff("WAVE", {chunk("fmt ", f, 0xFFFFFFF0u)});
  EXPECT_EQ(open(file).code, MMIOERR_CANNOTSEEK);
  // A chunk before the data claims nearly 4 GiB: the data chunk is not found.
  Bytes file2 =
      riff("WAVE", {chunk("fmt ", f), chunk("big ", Bytes(4, 0), 0xFFFFFFFFu), chunk("data", Bytes(4, 0))});
  Opened o = open(file2);
  ASSERT_EQ(o.code, 0u);
  ChunkInfo d;
  EXPECT_EQ(WavStartData(o.h, d, o.riff), MMIOERR_CHUNKNOTFOUND);
  // A RIFF size near 2^32 with the data offset: the parent end is computed without wrapping.
  Bytes file3 = pcmWave(pcm16({5, 6}));
  file3[4] = file3[5] = file3[6] = file3[7] = 0xFF;
  Opened o3 = open(file3);
  ASSERT_EQ(o3.code, 0u);
  EXPECT_EQ(WavStartData(o3.h, d, o3.riff), 0u);
  EXPECT_EQ(d.cksize, 4u);
}

TEST_F(WaveReader, NoDataChunk) {
  Opened o = open(riff("WAVE", {chunk("fmt ", fmtPayload(1, 1, 44100, 16))}));
  ASSERT_EQ(o.code, 0u);
  ChunkInfo d;
  EXPECT_EQ(WavStartData(o.h, d, o.riff), MMIOERR_CHUNKNOTFOUND);
}

TEST_F(WaveReader, EveryTruncationGivesACodeAndHoldsNothing) {
  const Bytes whole =
      riff("WAVE", {chunk("fmt ", fmtPayload(0xFFFE, 1, 44100, 16, 40, 22)), chunk("data", pcm16(ramp(50)))});
  for (size_t n = 0; n < whole.size(); ++n) {
    Bytes cut(whole.begin(), whole.begin() + static_cast<long>(n));
    Opened o = open(cut);
    if (o.code != 0) {
      EXPECT_FALSE(o.h) << n;
      EXPECT_FALSE(o.fmt) << n;
      continue;
    }
    ChunkInfo d;
    if (WavStartData(o.h, d, o.riff) == 0) {
      Bytes out(200, 0);
      uint32_t got = 0;
      const uint32_t want = d.cksize;
      const uint32_t r = WavRead(o.h, 200, out.data(), d, got);
      // Only the cut inside the data chunk's payload is corrupt; otherwise all of it arrives.
      if (r != 0) {
        EXPECT_EQ(r, WAV_ERR_CORRUPT) << n;
        EXPECT_EQ(got, 0u);
      } else {
        EXPECT_EQ(got, want);
      }
    }
    WavRelease(o.h, o.fmt);
  }
}

TEST_F(WaveReader, FilesThatCannotBeOpened) {
  EXPECT_EQ(openFile((dir.path() / "missing.wav").string()).code, WAV_ERR_CANNOT_OPEN);
  EXPECT_EQ(openFile(dir.path().string()).code, WAV_ERR_CANNOT_OPEN);  // a directory
  // A FIFO with no writer would hold a plain open for ever; it is refused at once.
  const std::string fifo = (dir.path() / "fifo.wav").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(openFile(fifo).code, WAV_ERR_CANNOT_OPEN);
  EXPECT_EQ(openFile("/dev/zero").code, WAV_ERR_CANNOT_OPEN);  // a device
  // An empty file opens but has no first chunk: the descent's own result.
  Opened e = open({});
  EXPECT_EQ(e.code, MMIOERR_CHUNKNOTFOUND);
  EXPECT_FALSE(e.h);
  if (geteuid() != 0) {  // root reads every file
    const std::string p = dir.write("locked.wav", pcmWave(pcm16({1})));
    chmod(p.c_str(), 0);
    EXPECT_EQ(openFile(p).code, WAV_ERR_CANNOT_OPEN);
  }
}

TEST_F(WaveReader, StartDataOnAClosedFileIsAnAssertion) {
  WaveHandle h;
  ChunkInfo riff, d;
  try {
    WavStartData(h, d, riff);
    FAIL() << "no assertion error";
  } catch (const AssertionError& e) {
    EXPECT_STREQ(e.what(), "Assertion failure");
  }
  // It is an ordinary std::exception for callers that let it through.
  EXPECT_THROW(WavStartData(h, d, riff), std::exception);
}

TEST_F(WaveReader, ReleaseIsHarmlessTwiceAndOnNothing) {
  WaveHandle h;
  FormatRecord f;
  EXPECT_EQ(WavRelease(h, f), 0u);
  Opened o = open(pcmWave(pcm16({1})));
  EXPECT_EQ(WavRelease(o.h, o.fmt), 0u);
  EXPECT_EQ(WavRelease(o.h, o.fmt), 0u);
  EXPECT_FALSE(o.h);
}

TEST_F(WaveReader, ReadWithoutFileReportsAndCopiesNothing) {
  WaveHandle h;
  ChunkInfo d;
  d.cksize = 10;
  uint8_t out[4] = {9, 9, 9, 9};
  uint32_t got = 5;
  EXPECT_NE(WavRead(h, 4, out, d, got), 0u);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(out[0], 9);
}
