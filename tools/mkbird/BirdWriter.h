#ifndef MKBIRD_BIRDWRITER_H
#define MKBIRD_BIRDWRITER_H
// Builds BIRD firmware files: blocks are added in the order they should
// appear, then content() gives the inflated content and fileBytes() the whole
// file ("bird", the 16-bit version, the zlib stream of the content).
//
//   BirdWriter w;
//   w.addInfo("Loader", "1.0", "0000ABCD", "KV-Hub");
//   w.addImage(BIRD_BLOCK_FIRMWARE, 0x1000, code);
//   w.addSerialOffsets(0x1100, 0);
//   w.writeFile("1234.bird");
//
// The trailing checksum is the CRC-32 of the content before it unless one is
// set; the reported block count is the real one unless one is set (both can
// be forced to make broken files for tests).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

class BirdWriter {
 public:
  static constexpr uint16_t DEFAULT_VERSION = 0x0101;

  // A block with any header: type in the low 5 bits, flags (0-7) above.
  BirdWriter& addBlock(uint8_t type, uint8_t flags, const Bytes& data);
  // Loader (type 0) or firmware (type 1) image: big-endian address, then code.
  BirdWriter& addImage(uint8_t type, uint32_t address, const Bytes& code, uint8_t flags = 0);
  // Serial offset block (type 2).
  BirdWriter& addSerialOffsets(uint32_t serialOffset, uint32_t descriptorOffset);
  // Information block (type 4): each field space-padded or cut to 16 bytes.
  BirdWriter& addInfo(const std::string& product, const std::string& release,
                      const std::string& serial, const std::string& model);
  // Jump address block (type 5).
  BirdWriter& addJumpAddress(uint32_t address);

  BirdWriter& setVersion(uint16_t version);
  BirdWriter& setChecksum(uint32_t checksum);
  BirdWriter& setReportedBlockCount(uint32_t count);
  // Bytes appended after the checksum (or instead of it with omitChecksum).
  BirdWriter& setTrailer(const Bytes& trailer);
  BirdWriter& omitChecksum(bool omit = true);

  Bytes content() const;
  // The whole file; level is the zlib compression level (0-9).
  Bytes fileBytes(int level = 9) const;
  // Writes fileBytes() to path; false when it cannot be written.
  bool writeFile(const std::string& path, int level = 9) const;

  size_t blockCount() const { return blocks_.size(); }

 private:
  struct Block {
    uint8_t header;
    Bytes data;
  };
  std::vector<Block> blocks_;
  uint16_t version_ = DEFAULT_VERSION;
  bool hasChecksum_ = false, hasCount_ = false, omitChecksum_ = false;
  uint32_t checksum_ = 0, count_ = 0;
  Bytes trailer_;
};

// Wraps content into a file: "bird", version, zlib stream (compress2).
Bytes birdWrap(const Bytes& content, uint16_t version = BirdWriter::DEFAULT_VERSION, int level = 9);
// The CRC-32 the writer stores as checksum of content bytes [0, length).
uint32_t birdChecksum(const uint8_t* content, size_t length);
void appendBE32(Bytes& out, uint32_t value);
bool readFileBytes(const std::string& path, Bytes& out);
bool writeFileBytes(const std::string& path, const Bytes& bytes);

#endif
