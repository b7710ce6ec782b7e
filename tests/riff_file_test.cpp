#include <gtest/gtest.h>

#include "platform/riff_file.h"
#include "support/wav_builder.h"

using namespace taktovi;
using namespace taktovi::test;

TEST(RiffFile, DescendAscendAndFind) {
  TempDir dir;
  Bytes file = riff("WAVE", {chunk("odd ", Bytes(3, 1)), chunk("two ", Bytes(4, 2))});
  auto f = RiffFile::open(dir.write("a.riff", file).c_str(), 5);  // tiny buffer: every path refills
  ASSERT_TRUE(f);
  ChunkInfo top;
  ASSERT_EQ(f->descend(top, nullptr, 0), 0u);
  EXPECT_EQ(top.ckid, makeFourcc('R', 'I', 'F', 'F'));
  EXPECT_EQ(top.fccType, RiffFile::stringToFourcc("WAVE"));
  EXPECT_EQ(top.dwDataOffset, 8u);
  EXPECT_EQ(f->tell(), 12);

  ChunkInfo first;
  ASSERT_EQ(f->descend(first, &top, 0), 0u);
  EXPECT_EQ(first.cksize, 3u);
  ASSERT_EQ(f->ascend(first), 0u);
  EXPECT_EQ(f->tell(), 12 + 8 + 4);  // past the pad byte

  ChunkInfo two;
  two.ckid = RiffFile::stringToFourcc("two ");
  ASSERT_EQ(f->seek(12), 12);
  ASSERT_EQ(f->descend(two, &top, MMIO_FINDCHUNK), 0u);
  uint8_t b[4] = {};
  EXPECT_EQ(f->read(b, 4), 4);
  EXPECT_EQ(b[3], 2);

  ChunkInfo none;
  none.ckid = RiffFile::stringToFourcc("none");
  ASSERT_EQ(f->seek(12), 12);
  EXPECT_EQ(f->descend(none, &top, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
  EXPECT_EQ(f->seek(-1), -1);
  EXPECT_EQ(f->seek(static_cast<int64_t>(file.size()) + 1), -1);
}

TEST(RiffFile, OddChunkAtTheEndOfFileWithoutItsPad) {
  TempDir dir;
  Bytes file = chunk("data", Bytes(3, 9));
  file.pop_back();  // the pad byte is missing, as in many real files
  auto f = RiffFile::open(dir.write("b.riff", file).c_str());
  ChunkInfo c;
  ASSERT_EQ(f->descend(c, nullptr, 0), 0u);
  EXPECT_EQ(f->ascend(c), 0u);
  EXPECT_EQ(f->tell(), static_cast<int64_t>(file.size()));
}

TEST(RiffFile, DirectBufferAccessRefillsUntilTheEnd) {
  TempDir dir;
  Bytes file(23);
  for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i);
  auto f = RiffFile::open(dir.write("c.bin", file).c_str(), 8);
  ASSERT_EQ(f->seek(2), 2);
  BufferInfo info;
  ASSERT_EQ(f->getInfo(info), 0u);
  Bytes got;
  for (;;) {
    if (info.pchNext == info.pchEndRead) {
      ASSERT_EQ(f->advance(info), 0u);
      if (info.pchNext == info.pchEndRead) break;
    }
    got.push_back(*info.pchNext++);
  }
  EXPECT_EQ(got, Bytes(file.begin() + 2, file.end()));
  EXPECT_EQ(f->setInfo(info), 0u);
  EXPECT_EQ(f->tell(), 23);
  // A pointer that is not inside the buffer is refused.
  BufferInfo wild{info.pchEndRead + 1, info.pchEndRead};
  EXPECT_NE(f->setInfo(wild), 0u);
  EXPECT_NE(f->advance(wild), 0u);
}

TEST(RiffFile, StringToFourcc) {
  EXPECT_EQ(RiffFile::stringToFourcc("fmt "), makeFourcc('f', 'm', 't', ' '));
  EXPECT_EQ(RiffFile::stringToFourcc("data"), 0x61746164u);
}
