// "mkbird dump": what the updater sees in a BIRD file.
#include "BirdDump.h"

#include <cinttypes>
#include <cstdio>
#include <stdexcept>

#include "BirdFile.h"
#include "BirdWriter.h"

namespace {

const char* typeName(uint8_t type) {
  switch (type) {
    case BIRD_BLOCK_LOADER: return "loader image";
    case BIRD_BLOCK_FIRMWARE: return "firmware image";
    case BIRD_BLOCK_SERIAL: return "serial offsets";
    case BIRD_BLOCK_INFO: return "information";
    case BIRD_BLOCK_JUMP: return "jump address";
    default: return "no meaning";
  }
}

uint32_t readBE32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

uint32_t word(const BirdBlock& block, uint32_t at) {
  return block.length >= at + 4 ? readBE32(block.data + at) : 0;
}

void dumpBlock(FILE* out, size_t index, const BirdBlock& block) {
  std::fprintf(out, "Block %zu: type %u (%s), flags %u, length %" PRIu32, index, block.type,
               typeName(block.type), block.flags, block.length);
  switch (block.type) {
    case BIRD_BLOCK_LOADER:
    case BIRD_BLOCK_FIRMWARE:
      std::fprintf(out, ", address 0x%08" PRIX32 ", image %" PRIu32 " bytes\n", block.address,
                   block.imageSize());
      break;
    case BIRD_BLOCK_SERIAL:
      std::fprintf(out, ", serial offset 0x%08" PRIX32 ", descriptor offset 0x%08" PRIX32 "%s\n",
                   word(block, 0), word(block, 4), block.length < 8 ? " (short block)" : "");
      break;
    case BIRD_BLOCK_JUMP:
      if (block.length >= 4)
        std::fprintf(out, ", start address 0x%08" PRIX32 "\n", word(block, 0));
      else
        std::fprintf(out, " (short block: default start address used)\n");
      break;
    case BIRD_BLOCK_INFO: {
      std::fprintf(out, "%s\n", block.length < BIRD_INFO_SIZE ? " (short block)" : "");
      static const char* const names[] = {"product", "release", "serial", "model"};
      char field[BIRD_INFO_FIELD_SIZE + 1];
      for (size_t i = 0; i < 4; ++i) {
        birdInfoField(block, i * BIRD_INFO_FIELD_SIZE, field);
        std::fprintf(out, "    %-8s [%s]\n", names[i], field);
      }
      break;
    }
    default:
      std::fprintf(out, "\n");
  }
}

}  // namespace

int birdDump(FILE* out, const std::string& path) {
  Bytes bytes;
  if (!readFileBytes(path, bytes)) {
    std::fprintf(stderr, "mkbird: cannot read %s\n", path.c_str());
    return 1;
  }
  std::fprintf(out, "File: %s, %zu bytes, quick check %s\n", path.c_str(), bytes.size(),
               isBirdFile(path) ? "passes" : "fails");
  try {
    BirdFile bird(path);
    std::fprintf(out, "Header: magic 0x%08" PRIX32 ", version 0x%04X\n", bird.magic(),
                 unsigned(bird.version()));
    const uint8_t* content = bird.content();
    size_t length = bird.contentLength();
    uint32_t reported = length >= 4 ? readBE32(content) : 0;
    std::fprintf(out, "Content: %zu bytes, reports %" PRIu32 " blocks, %" PRIu32 " parsed\n", length,
                 reported, bird.blockCount());
    size_t end = length >= 4 ? 4 : length;
    for (size_t i = 0; i < bird.blocks().size(); ++i) {
      const BirdBlock& block = bird.blocks()[i];
      dumpBlock(out, i, block);
      end = size_t(block.data - content) + block.length;
    }
    size_t after = length - end;
    if (after >= 4)
      std::fprintf(out, "Checksum: 0x%08" PRIX32 " (CRC-32 of the content before it: 0x%08" PRIX32 ")\n",
                   bird.fileChecksum(), birdChecksum(content, end));
    if (after != 4)
      std::fprintf(out, "Note: %zu bytes follow the last block (4 expected)\n", after);
    if (bird.serialOffset() || bird.descriptorOffset())
      std::fprintf(out, "Serial number offset 0x%08" PRIX32 ", descriptor offset 0x%08" PRIX32 "\n",
                   bird.serialOffset(), bird.descriptorOffset());
    if (!bird.blocksOfType(BIRD_BLOCK_INFO).empty())
      std::fprintf(out, "Information serial number: %08" PRIX32 "\n", bird.infoSerialNumber());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "mkbird: %s does not load: %s\n", path.c_str(), error.what());
    return 1;
  }
  return 0;
}
