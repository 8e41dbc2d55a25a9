// Fuzzes BIRD loading from memory and the queries and serial patch on what
// loads. An input that starts with "bird" is taken as a whole file (header
// and zlib stream); any other input is taken as inflated content and wrapped
// into a file here, so that mutations reach the block parser directly.
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "BirdFile.h"

namespace {

std::vector<uint8_t> wrapContent(const uint8_t* data, size_t size) {
  std::vector<uint8_t> file = {'b', 'i', 'r', 'd', 1, 1};
  uLongf length = compressBound(uLong(size));
  file.resize(6 + length);
  if (compress2(file.data() + 6, &length, data, uLong(size), 1) != Z_OK) return {};
  file.resize(6 + length);
  return file;
}

void check(bool condition) {
  if (!condition) __builtin_trap();
}

void exercise(BirdFile& bird) {
  const uint8_t* begin = bird.content();
  const uint8_t* end = begin + bird.contentLength();
  check(bird.blockCount() == bird.blocks().size());
  for (const BirdBlock& block : bird.blocks()) {
    check(block.data >= begin && block.length <= size_t(end - block.data));
    check(block.imageSize() <= block.length);
  }
  for (uint8_t type = 0; type < 32; ++type) bird.blocksOfType(type);
  bird.infoSerialNumber();
  bird.matchesSerialNumber(0x0000ABCD);
  bird.matchesModel("");
  bird.matchesModel("KV-Hub");
  bird.matchesModel(nullptr);
  bird.jumpAddress();
  std::vector<uint8_t> before(begin, end);
  bool patched = bird.setSerialNumber(0x89ABCDEF);
  check(patched || before == std::vector<uint8_t>(begin, end));
  check(bird.contentLength() == before.size());
  BirdFile moved(std::move(bird));
  check(moved.content() == begin);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> file;
  if (size >= 4 && std::memcmp(data, "bird", 4) == 0)
    file.assign(data, data + size);
  else
    file = wrapContent(data, size);
  try {
    BirdFile bird("fuzz.bird", file.data(), file.size());
    exercise(bird);
  } catch (const std::runtime_error&) {
  }
  return 0;
}
