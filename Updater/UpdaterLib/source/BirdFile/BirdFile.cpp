// Inflating, parsing, querying and patching BIRD content. No I/O here, so
// the whole path from file bytes to patched image can be fuzzed.
#include "BirdFile.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>

#include "UpdaterDisplay.h"

namespace {

uint32_t readBE32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

uint32_t readLE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void writeLE32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(value >> (8 * i));
}

// Big-endian word at data offset `at` of a block, 0 when the block is too short.
uint32_t blockWord(const BirdBlock& block, uint32_t at) {
  return block.length >= at + 4 ? readBE32(block.data + at) : 0;
}

const char* kLoadFailed = "Failed to load bird data";

}  // namespace

void birdInfoField(const BirdBlock& info, size_t offset, char out[BIRD_INFO_FIELD_SIZE + 1]) {
  std::memset(out, ' ', BIRD_INFO_FIELD_SIZE);
  out[BIRD_INFO_FIELD_SIZE] = '\0';
  if (info.length > offset) {
    size_t n = info.length - offset;
    if (n > BIRD_INFO_FIELD_SIZE) n = BIRD_INFO_FIELD_SIZE;
    std::memcpy(out, info.data + offset, n);
  }
}

BirdFile::BirdFile(const std::string& filename, const uint8_t* bytes, size_t size)
    : filename_(filename) {
  if (!loadImage(bytes, size)) throw std::runtime_error(kLoadFailed);
}

bool BirdFile::loadImage(const uint8_t* bytes, size_t size) {
  if (size > HEADER_SIZE) {
    magic_ = readBE32(bytes);
    version_ = uint16_t((bytes[4] << 8) | bytes[5]);
  }
  if (!inflate(bytes, size)) return false;
  parse();
  takeSerialOffsets();
  for (const BirdBlock& block : blocks_)
    if (block.type == BIRD_BLOCK_SERIAL) hasSerialBlock_ = true;
  return true;
}

// One-shot inflation into a scratch buffer of INFLATE_RATIO times the stream
// size, left uninitialised so that only the pages zlib writes take memory;
// the content keeps just the inflated bytes. Content that would be larger
// fails with zlib's buffer error; a stream that ends early, or a file too
// short to hold one, with zlib's data error.
bool BirdFile::inflate(const uint8_t* bytes, size_t size) {
  int z = Z_DATA_ERROR;
  if (size >= HEADER_SIZE) {
    uLongf length = uLongf(INFLATE_RATIO * (size - HEADER_SIZE));
    std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[length ? length : 1]);
    if (!scratch) {
      debugPrint(DEBUG_BirdFile, "BIRDFILE: Error - no memory for %lu bytes of content.\n",
                 (unsigned long)length);
      content_.clear();
      return false;
    }
    z = uncompress(scratch.get(), &length, bytes + HEADER_SIZE, uLong(size - HEADER_SIZE));
    if (z == Z_OK) {
      try {
        content_.assign(scratch.get(), scratch.get() + length);
        return true;
      } catch (const std::bad_alloc&) {
        z = Z_MEM_ERROR;
      }
    }
  }
  debugPrint(DEBUG_BirdFile, "BIRDFILE: Error (%d) decompressing bird file.\n", z);
  content_.clear();
  content_.shrink_to_fit();
  return false;
}

void BirdFile::parse() {
  const uint8_t* base = content_.data();
  const size_t n = content_.size();
  const uint32_t reported = n >= 4 ? readBE32(base) : 0;
  debugPrint(DEBUG_BirdFile, "BIRDFILE:\t\t File reports %d blocks\n", int(reported));
  debugPrint(DEBUG_BirdFile, "BIRDFILE: Bird file objects:\n");
  debugPrint(DEBUG_BirdFile, "BIRDFILE: \t\tType Flags Length\n");
  blockCount_ = 0;
  blocks_.clear();
  int64_t remaining = int64_t(n) - 4;
  size_t position = 4;
  while (remaining > 4 && position + 5 <= n) {
    BirdBlock block;
    block.type = base[position] & 0x1F;
    block.flags = (base[position] >> 5) & 7;
    block.length = readBE32(base + position + 1);
    block.data = base + position + 5;
    if (uint64_t(block.length) > n - position - 5) {
      debugPrint(DEBUG_BirdFile, "BIRDFILE: Block %u of length %u runs past the end of the content.\n",
                 blockCount_, block.length);
      break;
    }
    if (block.isImage()) block.address = blockWord(block, 0);
    debugPrint(DEBUG_BirdFile, "BIRDFILE:\t\t %02X   %02X   %d\n", block.type, block.flags,
               int(block.length));
    if (block.type == BIRD_BLOCK_INFO) {
      char field[BIRD_INFO_FIELD_SIZE + 1];
      for (size_t at = 0; at < BIRD_INFO_SIZE; at += BIRD_INFO_FIELD_SIZE) {
        birdInfoField(block, at, field);
        debugPrint(DEBUG_BirdFile, "BIRDFILE:\t\t \t[%16.16s]\n", field);
      }
    }
    blocks_.push_back(block);
    ++blockCount_;
    position += 5 + size_t(block.length);
    remaining -= 5 + int64_t(block.length);
  }
  fileChecksum_ = position + 4 <= n ? readBE32(base + position) : 0;
  debugPrint(DEBUG_BirdFile, "BIRDFILE:\t\t File checksum %08X\n", fileChecksum_);
  if (remaining != 4)
    debugPrint(DEBUG_BirdFile, "BIRDFILE: Block parsing mismatch in data size. (%d bytes remaining)\n",
               int(remaining - 4));
  if (blockCount_ != reported)
    debugPrint(DEBUG_BirdFile, "BIRDFILE: Block parsing mismatch in number of blocks. (%d != %d)\n",
               int(blockCount_), int(reported));
}

void BirdFile::takeSerialOffsets() {
  const BirdBlock* block = firstOfType(BIRD_BLOCK_SERIAL);
  if (!block) return;
  serialOffset_ = blockWord(*block, 0);
  descriptorOffset_ = blockWord(*block, 4);
  debugPrint(DEBUG_BirdFile, "BIRDFILE: Offsets: Serial number: %d, Descriptor: %d\n",
             int(serialOffset_), int(descriptorOffset_));
}

const BirdBlock* BirdFile::firstOfType(uint8_t type) const {
  for (const BirdBlock& block : blocks_)
    if (block.type == type) return &block;
  return nullptr;
}

std::vector<BirdBlock> BirdFile::blocksOfType(uint8_t type) const {
  std::vector<BirdBlock> result;
  for (const BirdBlock& block : blocks_)
    if (block.type == type) result.push_back(block);
  return result;
}

uint32_t BirdFile::infoSerialNumber() const {
  const BirdBlock* info = firstOfType(BIRD_BLOCK_INFO);
  if (!info) return 0;
  char field[BIRD_INFO_FIELD_SIZE + 1];
  birdInfoField(*info, BIRD_INFO_SERIAL, field);
  field[8] = '\0';
  return uint32_t(std::strtoul(field, nullptr, 16));
}

bool BirdFile::matchesModel(const char* name) const {
  const BirdBlock* info = firstOfType(BIRD_BLOCK_INFO);
  if (!info || !name) return false;
  char model[BIRD_INFO_FIELD_SIZE + 1];
  birdInfoField(*info, BIRD_INFO_MODEL, model);
  for (size_t i = BIRD_INFO_FIELD_SIZE; i-- > 0 && (model[i] == ' ' || model[i] == '\0');)
    model[i] = '\0';
  if (std::strncmp(model, name, std::strlen(name)) != 0) return false;
  debugPrint(DEBUG_BirdFile, "Model matches model number ([%s] == [%s])\n", model, name);
  return true;
}

// Image addresses of a firmware block run from A to A + L - 5; the byte at
// address x is data byte 4 + (x - A). Ranges are checked in 64 bits so that
// offsets near the top of the address space cannot wrap into the image.
bool BirdFile::setSerialNumber(uint32_t serial) {
  char digits[9];
  std::snprintf(digits, sizeof digits, "%08X", serial);
  const uint64_t s = serialOffset_, d = descriptorOffset_;
  bool result = false;
  for (const BirdBlock& block : blocks_) {
    if (block.type != BIRD_BLOCK_FIRMWARE) continue;
    if (s != 0) result = true;
    const uint64_t start = block.address, end = start + block.imageSize();
    uint8_t* image = content_.data() + (block.image() - content_.data());
    if (s != 0 && s >= start && s + 4 <= end) {
      uint8_t* at = image + (s - start);
      debugPrint(DEBUG_BirdFile, "BIRDFILE: updating serial number from %08X ==> %08X\n",
                 readLE32(at), serial);
      writeLE32(at, serial);
    }
    if (d != 0 && d >= start && d + 16 <= end) {
      uint8_t* at = image + (d - start);
      for (int i = 0; i < 8; ++i) at[2 * i] = uint8_t(digits[i]);
      result = true;
    }
  }
  return result;
}

uint32_t BirdFile::jumpAddress(uint32_t fallback) const {
  const BirdBlock* jump = firstOfType(BIRD_BLOCK_JUMP);
  return jump && jump->length >= 4 ? readBE32(jump->data) : fallback;
}
