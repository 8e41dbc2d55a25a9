// BIRD files made with the writer, loaded back through BirdFile.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "BirdFile.h"
#include "BirdWriter.h"
#include "TestFiles.h"

using testfiles::DebugCapture;

namespace {

Bytes pattern(size_t size, uint8_t seed) {
  Bytes out(size);
  uint32_t x = 0x9E3779B9u ^ seed;
  for (auto& b : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = uint8_t(x);
  }
  return out;
}

BirdFile load(const Bytes& file) { return BirdFile("test.bird", file.data(), file.size()); }

uint32_t le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }

// Fails the test unless loading throws the load error.
void expectLoadFailure(const Bytes& file) {
  try {
    load(file);
    ADD_FAILURE() << "file of " << file.size() << " bytes loaded";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ("Failed to load bird data", error.what());
  }
}

}  // namespace

TEST(BirdFile, EveryBlockTypeRoundTripsThroughTheWriter) {
  TempDir dir;
  Bytes loader = pattern(100, 1), firmware = pattern(300, 2), extra = pattern(7, 3);
  BirdWriter writer;
  writer.addImage(BIRD_BLOCK_LOADER, 0x10000000, loader, 3)
      .addImage(BIRD_BLOCK_FIRMWARE, 0x00008000, firmware, 5)
      .addSerialOffsets(0x8010, 0x8020)
      .addInfo("Hub firmware", "rel 2.4", "0000ABCD", "KV-Hub")
      .addJumpAddress(0x20001000)
      .addBlock(3, 1, extra)
      .addBlock(6, 0, {})
      .addBlock(31, 7, {0xAA})
      .setVersion(0x0203);
  std::string path = dir.file("all.bird");
  ASSERT_TRUE(writer.writeFile(path));
  ASSERT_TRUE(isBirdFile(path));

  BirdFile bird(path);
  Bytes content = writer.content();
  EXPECT_EQ(BirdFile::MAGIC, bird.magic());
  EXPECT_EQ(0x0203, bird.version());
  ASSERT_EQ(8u, bird.blockCount());
  ASSERT_EQ(content.size(), bird.contentLength());
  EXPECT_EQ(0, std::memcmp(content.data(), bird.content(), content.size()));
  EXPECT_EQ(birdChecksum(content.data(), content.size() - 4), bird.fileChecksum());

  const std::vector<BirdBlock>& blocks = bird.blocks();
  const uint8_t types[] = {0, 1, 2, 4, 5, 3, 6, 31};
  const uint8_t flags[] = {3, 5, 0, 0, 0, 1, 0, 7};
  const uint32_t lengths[] = {104, 304, 8, 64, 4, 7, 0, 1};
  for (size_t i = 0; i < blocks.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(types[i], blocks[i].type);
    EXPECT_EQ(flags[i], blocks[i].flags);
    EXPECT_EQ(lengths[i], blocks[i].length);
  }
  EXPECT_EQ(0x10000000u, blocks[0].address);
  EXPECT_EQ(loader, Bytes(blocks[0].image(), blocks[0].image() + blocks[0].imageSize()));
  EXPECT_EQ(0x8000u, blocks[1].address);
  EXPECT_EQ(firmware, Bytes(blocks[1].image(), blocks[1].image() + blocks[1].imageSize()));
  EXPECT_EQ(0u, blocks[2].address);
  EXPECT_EQ(extra, Bytes(blocks[5].data, blocks[5].data + 7));
  EXPECT_EQ(0xAA, blocks[7].data[0]);

  EXPECT_TRUE(bird.hasSerialBlock());
  EXPECT_EQ(0x8010u, bird.serialOffset());
  EXPECT_EQ(0x8020u, bird.descriptorOffset());
  EXPECT_EQ(0xABCDu, bird.infoSerialNumber());
  EXPECT_TRUE(bird.matchesSerialNumber(0xABCD));
  EXPECT_TRUE(bird.matchesModel("KV-Hub"));
  EXPECT_EQ(0x20001000u, bird.jumpAddress());
  ASSERT_EQ(1u, bird.blocksOfType(BIRD_BLOCK_FIRMWARE).size());
  EXPECT_EQ(blocks[1].data, bird.blocksOfType(BIRD_BLOCK_FIRMWARE)[0].data);
  EXPECT_TRUE(bird.blocksOfType(7).empty());

  // Moving keeps the block records pointing into the moved content.
  const uint8_t* data = bird.content();
  BirdFile moved(std::move(bird));
  EXPECT_EQ(data, moved.content());
  EXPECT_EQ(data + 4 + 5, moved.blocks()[0].data);
}

TEST(BirdFile, QuickCheckNeedsMagicAndTwoNonZeroVersionBytes) {
  TempDir dir;
  Bytes content = BirdWriter().addJumpAddress(1).content();
  Bytes file = birdWrap(content, 0x0100);  // "bird", 0x01, 0x00
  std::string path = dir.file("v100.bird");
  testfiles::writeBytes(path, file);
  EXPECT_FALSE(isBirdFile(path));
  EXPECT_EQ(1u, BirdFile(path).blockCount());  // loading does not check the header

  testfiles::writeBytes(path, birdWrap(content, 0x0101));
  EXPECT_TRUE(isBirdFile(path));
  file = birdWrap(content, 0x0101);
  file[0] = 'B';
  testfiles::writeBytes(path, file);
  EXPECT_FALSE(isBirdFile(path));
  testfiles::writeBytes(path, {'b', 'i', 'r', 'd', 1});
  EXPECT_FALSE(isBirdFile(path));

  DebugCapture debug(DEBUG_BirdFile);
  EXPECT_FALSE(isBirdFile(dir.file("missing.bird")));
  EXPECT_TRUE(debug.contains("BIRDFILE: Error - cannot open bird file: '" + dir.file("missing.bird") + "'\n"));
}

TEST(BirdFile, MissingAndShortFilesFailToLoad) {
  TempDir dir;
  DebugCapture debug(DEBUG_BirdFile);
  std::string missing = dir.file("none.bird");
  EXPECT_THROW(BirdFile{missing}, std::runtime_error);
  EXPECT_TRUE(debug.contains("BIRDFILE: Loading File [" + missing + "]\n"));
  EXPECT_TRUE(debug.contains("BIRDFILE: BIRD file not found [" + missing + "]\n"));
  EXPECT_THROW(BirdFile{std::string()}, std::runtime_error);

  Bytes header = {'b', 'i', 'r', 'd', 1, 1};
  for (size_t size = 0; size <= 6; ++size) {
    SCOPED_TRACE(size);
    std::string path = dir.file("short.bird");
    testfiles::writeBytes(path, Bytes(header.begin(), header.begin() + size));
    EXPECT_THROW(BirdFile{path}, std::runtime_error);
    expectLoadFailure(Bytes(header.begin(), header.begin() + size));
  }
  EXPECT_TRUE(debug.contains("BIRDFILE: Error (-3) decompressing bird file.\n"));
}

TEST(BirdFile, StreamThatEndsEarlyOrIsCorruptFails) {
  Bytes file = BirdWriter().addImage(1, 0x1000, pattern(2000, 4)).fileBytes();
  DebugCapture debug(DEBUG_BirdFile);
  for (size_t cut : {size_t(7), size_t(20), file.size() / 2, file.size() - 1}) {
    SCOPED_TRACE(cut);
    expectLoadFailure(Bytes(file.begin(), file.begin() + cut));
  }
  Bytes corrupt = file;
  corrupt[6] ^= 0xFF;  // zlib header
  expectLoadFailure(corrupt);
  corrupt = file;
  corrupt[corrupt.size() - 1] ^= 0x01;  // Adler-32 trailer
  expectLoadFailure(corrupt);
  EXPECT_TRUE(debug.contains("BIRDFILE: Error (-3) decompressing bird file.\n"));
}

TEST(BirdFile, ContentMayInflateToExactlyEightTimesTheStream) {
  // Grow a run of zeros behind random bytes until the content is exactly
  // eight times the stream, then one byte longer than that.
  Bytes head = pattern(300, 5);
  Bytes exact, over;
  for (size_t zeros = 0; zeros < 100000 && (exact.empty() || over.empty()); ++zeros) {
    Bytes data = head;
    data.resize(head.size() + zeros, 0);
    Bytes content = BirdWriter().addBlock(3, 0, data).content();
    Bytes file = birdWrap(content);
    size_t stream = file.size() - BirdFile::HEADER_SIZE;
    if (content.size() == 8 * stream && exact.empty()) exact = file;
    if (content.size() == 8 * stream + 1 && over.empty()) over = file;
  }
  ASSERT_FALSE(exact.empty());
  ASSERT_FALSE(over.empty());

  BirdFile bird = load(exact);
  EXPECT_EQ(8 * (exact.size() - BirdFile::HEADER_SIZE), bird.contentLength());
  EXPECT_EQ(1u, bird.blockCount());

  DebugCapture debug(DEBUG_BirdFile);
  expectLoadFailure(over);
  EXPECT_TRUE(debug.contains("BIRDFILE: Error (-5) decompressing bird file.\n"));
}

TEST(BirdFile, SizeAndCountMismatchesAreReportedButLoad) {
  DebugCapture debug(DEBUG_BirdFile);
  // Two bytes follow the last block instead of the 4-byte checksum.
  BirdFile two = load(BirdWriter().addJumpAddress(7).addBlock(3, 0, {1, 2}).omitChecksum().setTrailer({9, 9}).fileBytes());
  EXPECT_EQ(2u, two.blockCount());
  EXPECT_EQ(0u, two.fileChecksum());
  EXPECT_TRUE(debug.contains("BIRDFILE: Block parsing mismatch in data size. (-2 bytes remaining)\n"));

  BirdFile lying = load(BirdWriter().addJumpAddress(7).setReportedBlockCount(9).fileBytes());
  EXPECT_EQ(1u, lying.blockCount());
  EXPECT_TRUE(debug.contains("BIRDFILE: Block parsing mismatch in number of blocks. (1 != 9)\n"));

  BirdFile huge = load(BirdWriter().addJumpAddress(7).setReportedBlockCount(0xFFFFFFFF).fileBytes());
  EXPECT_EQ(1u, huge.blockCount());
  EXPECT_EQ(7u, huge.jumpAddress());

  // Diagnostics of a good file: counts, one line per block, checksum.
  Bytes content = BirdWriter().addInfo("Prod", "Rel", "0000ABCD", "KV-Hub").setChecksum(0x12345678).content();
  load(birdWrap(content));
  EXPECT_TRUE(debug.contains("BIRDFILE:\t\t File reports 1 blocks\n"));
  EXPECT_TRUE(debug.contains("BIRDFILE:\t\t 04   00   64\n"));
  EXPECT_TRUE(debug.contains("BIRDFILE:\t\t \t[KV-Hub          ]\n"));
  EXPECT_TRUE(debug.contains("BIRDFILE:\t\t File checksum 12345678\n"));
}

TEST(BirdFile, BlocksRunningPastTheContentEndParsing) {
  // A block whose length runs past the end of the content is dropped, with
  // the blocks before it kept.
  Bytes content = BirdWriter().addJumpAddress(0x1234).content();
  content.resize(content.size() - 4);  // no checksum
  content[3] = 2;
  Bytes tail = {0x01, 0x00, 0x00, 0x10, 0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE};  // L = 4096
  content.insert(content.end(), tail.begin(), tail.end());
  DebugCapture debug(DEBUG_BirdFile);
  BirdFile bird = load(birdWrap(content));
  EXPECT_EQ(1u, bird.blockCount());
  EXPECT_EQ(0x1234u, bird.jumpAddress());
  EXPECT_TRUE(debug.contains("runs past the end of the content"));
  EXPECT_TRUE(debug.contains("mismatch in number of blocks. (1 != 2)"));

  // A length near 2^32 must not wrap the position back into the content.
  content[content.size() - tail.size() + 1] = 0xFF;
  content[content.size() - tail.size() + 2] = 0xFF;
  content[content.size() - tail.size() + 3] = 0xFF;
  content[content.size() - tail.size() + 4] = 0xFB;
  EXPECT_EQ(1u, load(birdWrap(content)).blockCount());

  // Content shorter than its block count, or than one block header.
  EXPECT_EQ(0u, load(birdWrap({0, 0})).blockCount());
  EXPECT_EQ(0u, load(birdWrap({0, 0, 0, 1, 1, 0, 0})).blockCount());
  EXPECT_EQ(0u, load(birdWrap({})).blockCount());
}

TEST(BirdFile, ShortBlocksAreReadOnlyAsFarAsTheyGo) {
  Bytes info;
  for (const char* field : {"Product         ", "Release         ", "0000BEEF"}) info.insert(info.end(), field, field + std::strlen(field));
  BirdFile bird = load(BirdWriter()
                           .addBlock(BIRD_BLOCK_INFO, 0, info)                // 40 of 64 bytes
                           .addBlock(BIRD_BLOCK_SERIAL, 0, {0, 0, 0x10, 0})  // serial offset only
                           .addBlock(BIRD_BLOCK_FIRMWARE, 0, {0x12, 0x34})   // no full address
                           .addBlock(BIRD_BLOCK_JUMP, 0, {1, 2, 3})
                           .fileBytes());
  EXPECT_EQ(0xBEEFu, bird.infoSerialNumber());
  EXPECT_TRUE(bird.matchesModel(""));
  EXPECT_FALSE(bird.matchesModel("KV"));
  EXPECT_TRUE(bird.hasSerialBlock());
  EXPECT_EQ(0x1000u, bird.serialOffset());
  EXPECT_EQ(0u, bird.descriptorOffset());
  const BirdBlock image = bird.blocksOfType(BIRD_BLOCK_FIRMWARE)[0];
  EXPECT_EQ(0u, image.address);
  EXPECT_EQ(0u, image.imageSize());
  EXPECT_EQ(BIRD_DEFAULT_JUMP_ADDRESS, bird.jumpAddress());
  EXPECT_TRUE(bird.setSerialNumber(1));  // an offset, but no image to hold it

  BirdFile tiny = load(BirdWriter().addBlock(BIRD_BLOCK_SERIAL, 0, {1, 2}).fileBytes());
  EXPECT_TRUE(tiny.hasSerialBlock());
  EXPECT_EQ(0u, tiny.serialOffset());
  EXPECT_FALSE(tiny.setSerialNumber(1));
}

TEST(BirdFile, SerialPatchStaysInsideItsImage) {
  // Two adjacent firmware images: 0x1000-0x100F and 0x1010-0x102F. The serial
  // number sits in the last four bytes of the first.
  Bytes first(16, 0x11), second(32, 0x22);
  first[12] = 0x78, first[13] = 0x56, first[14] = 0x34, first[15] = 0x12;
  BirdWriter writer;
  writer.addSerialOffsets(0x100C, 0x1020).addImage(1, 0x1000, first).addImage(1, 0x1010, second);
  BirdFile bird = load(writer.fileBytes());
  Bytes before(bird.content(), bird.content() + bird.contentLength());
  DebugCapture debug(DEBUG_BirdFile);
  ASSERT_TRUE(bird.setSerialNumber(0xA1B2C3D4));
  EXPECT_TRUE(debug.contains("BIRDFILE: updating serial number from 12345678 ==> A1B2C3D4\n"));

  std::vector<BirdBlock> images = bird.blocksOfType(BIRD_BLOCK_FIRMWARE);
  EXPECT_EQ(0xA1B2C3D4u, le32(images[0].image() + 12));
  EXPECT_EQ(0x1010u, images[1].address);  // the next block's address bytes are untouched
  const char* digits = "A1B2C3D4";
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(digits[i], images[1].image()[0x10 + 2 * i]);
    EXPECT_EQ(0x22, images[1].image()[0x10 + 2 * i + 1]);
  }
  size_t changed = 0;
  for (size_t i = 0; i < before.size(); ++i) changed += before[i] != bird.content()[i];
  EXPECT_EQ(4u + 8u, changed);
}

TEST(BirdFile, SerialPatchResultFollowsTheOffsets) {
  Bytes image(64, 0);
  auto patchable = [&](uint32_t serialOffset, uint32_t descriptorOffset, bool& changed) {
    BirdFile bird = load(BirdWriter().addImage(1, 0x2000, image).addSerialOffsets(serialOffset, descriptorOffset).fileBytes());
    Bytes before(bird.content(), bird.content() + bird.contentLength());
    bool result = bird.setSerialNumber(0xFFFFFFFF);
    changed = before != Bytes(bird.content(), bird.content() + bird.contentLength());
    return result;
  };
  bool changed = false;
  EXPECT_FALSE(patchable(0, 0, changed));
  EXPECT_FALSE(changed);
  EXPECT_TRUE(patchable(0x9000, 0, changed));  // outside every image
  EXPECT_FALSE(changed);
  EXPECT_TRUE(patchable(0x203C, 0, changed));  // last four bytes
  EXPECT_TRUE(changed);
  EXPECT_TRUE(patchable(0x203D, 0, changed));  // one past: not written
  EXPECT_FALSE(changed);
  EXPECT_TRUE(patchable(0xFFFFFFFE, 0, changed));  // would wrap around 2^32
  EXPECT_FALSE(changed);
  EXPECT_TRUE(patchable(0, 0x2030, changed));  // descriptor ends with the image
  EXPECT_TRUE(changed);
  EXPECT_FALSE(patchable(0, 0x2031, changed));
  EXPECT_FALSE(changed);
  EXPECT_FALSE(patchable(0, 0xFFFFFFF8, changed));
  EXPECT_FALSE(changed);

  BirdFile none = load(BirdWriter().addImage(1, 0x2000, image).fileBytes());
  EXPECT_FALSE(none.hasSerialBlock());
  EXPECT_FALSE(none.setSerialNumber(1));
}

TEST(BirdFile, ModelMatchesAsAPrefixOfTheTrimmedField) {
  auto withModel = [](const std::string& model) {
    return load(BirdWriter().addInfo("P", "R", "00000001", model).fileBytes());
  };
  DebugCapture debug(DEBUG_BirdFile);
  BirdFile longer = withModel("KV-Hub Pro");
  EXPECT_TRUE(longer.matchesModel("KV-Hub"));
  EXPECT_TRUE(debug.contains("Model matches model number ([KV-Hub Pro] == [KV-Hub])\n"));
  EXPECT_TRUE(longer.matchesModel("KV-Hub Pro"));
  EXPECT_TRUE(longer.matchesModel(""));
  EXPECT_FALSE(longer.matchesModel("KV-Hub Pro "));  // trailing blanks are trimmed from the field
  EXPECT_FALSE(longer.matchesModel(nullptr));
  EXPECT_FALSE(withModel("KV-Hu").matchesModel("KV-Hub"));
  EXPECT_FALSE(withModel("kv-hub").matchesModel("KV-Hub"));
  EXPECT_TRUE(withModel("ABCDEFGHIJKLMNOPQRST").matchesModel("ABCDEFGHIJKLMNOP"));
  EXPECT_FALSE(load(BirdWriter().addJumpAddress(1).fileBytes()).matchesModel(""));
}

TEST(BirdFile, InformationSerialReadsHexUpToTheFirstOtherCharacter) {
  auto serialOf = [](const std::string& text) {
    return load(BirdWriter().addInfo("P", "R", text, "M").fileBytes()).infoSerialNumber();
  };
  EXPECT_EQ(0x0000ABCDu, serialOf("0000abcd"));
  EXPECT_EQ(0x12u, serialOf("12 34"));
  EXPECT_EQ(0x12345678u, serialOf("123456789ABC"));  // first 8 characters only
  EXPECT_EQ(0u, serialOf("serial"));
  EXPECT_EQ(0u, load(BirdWriter().addJumpAddress(1).fileBytes()).infoSerialNumber());
  // Only the first information block counts.
  BirdFile two = load(BirdWriter().addInfo("P", "R", "00000002", "A").addInfo("P", "R", "00000003", "B").fileBytes());
  EXPECT_EQ(2u, two.infoSerialNumber());
  EXPECT_TRUE(two.matchesModel("A"));
  EXPECT_FALSE(two.matchesModel("B"));
}
