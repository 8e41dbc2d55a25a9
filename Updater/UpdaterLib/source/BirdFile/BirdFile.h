#ifndef UPDATER_BIRDFILE_H
#define UPDATER_BIRDFILE_H
// BIRD firmware files: a 6-byte header ("bird" and a 16-bit version) and a
// zlib stream that inflates to the content:
//
//   u32 N (big-endian)        number of blocks the writer reports
//   N blocks back to back     u8 header (type = low 5 bits, flags = high 3),
//                             u32 length L (big-endian), L data bytes
//   u32 checksum (big-endian) kept in fileChecksum(), never verified
//
// A BirdFile owns the inflated content; its BirdBlock records point into it.
// Loading never reads or writes outside the content: a block whose data runs
// past the end ends parsing, short information and serial offset blocks are
// read as if padded (spaces and zeros), and image blocks shorter than their
// 4 address bytes carry address 0 and an empty image.
// All diagnostics go to the DEBUG_BirdFile channel, tagged "BIRDFILE: ".
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Block types with a meaning; every other type (3, 6-31) is kept as is.
enum BirdBlockType : uint8_t {
  BIRD_BLOCK_LOADER = 0,     // u32 load address, then loader code
  BIRD_BLOCK_FIRMWARE = 1,   // u32 load address, then firmware code
  BIRD_BLOCK_SERIAL = 2,     // u32 serial-number offset, u32 descriptor offset
  BIRD_BLOCK_INFO = 4,       // four 16-byte space-padded text fields
  BIRD_BLOCK_JUMP = 5,       // u32 start address for the SDP loader
};

// Layout of the information block: four 16-byte fields.
enum : size_t {
  BIRD_INFO_FIELD_SIZE = 16,
  BIRD_INFO_PRODUCT = 0,   // shown only
  BIRD_INFO_RELEASE = 16,  // shown only
  BIRD_INFO_SERIAL = 32,   // serial number as 8 hexadecimal digits
  BIRD_INFO_MODEL = 48,    // model name
  BIRD_INFO_SIZE = 64,
};

// Start address used by the SDP loader when a file has no usable jump block.
constexpr uint32_t BIRD_DEFAULT_JUMP_ADDRESS = 0x20000400;

// One parsed block; a small value record that never owns memory. Valid while
// its BirdFile lives (moving the BirdFile keeps it valid).
struct BirdBlock {
  uint8_t type = 0;
  uint8_t flags = 0;
  uint32_t length = 0;   // L, including the 4 address bytes of image blocks
  uint32_t address = 0;  // load address of image blocks (types 0 and 1), else 0
  const uint8_t* data = nullptr;  // first data byte inside the content

  bool isImage() const { return type == BIRD_BLOCK_LOADER || type == BIRD_BLOCK_FIRMWARE; }
  // Code bytes of an image block (after the address); empty when L < 4.
  const uint8_t* image() const { return data + (length >= 4 ? 4 : length); }
  uint32_t imageSize() const { return length >= 4 ? length - 4 : 0; }
};

class BirdFile {
 public:
  static constexpr uint32_t MAGIC = 0x62697264;  // "bird"
  static constexpr size_t HEADER_SIZE = 6;
  // The content may inflate to at most this many times the zlib stream size.
  static constexpr size_t INFLATE_RATIO = 8;
  // Larger files are refused before anything is allocated for them.
  static constexpr uint64_t MAX_FILE_SIZE = 64u << 20;

  // Loads, inflates and parses the file. Throws std::runtime_error
  // "Failed to load bird data" when the file cannot be read or inflated.
  explicit BirdFile(const std::string& filename);
  // The same from a file image already in memory (downloads, tests, fuzzing);
  // filename is only used in diagnostics. Performs no I/O.
  BirdFile(const std::string& filename, const uint8_t* bytes, size_t size);

  BirdFile(BirdFile&&) noexcept = default;
  BirdFile& operator=(BirdFile&&) noexcept = default;
  BirdFile(const BirdFile&) = delete;  // blocks point into the content
  BirdFile& operator=(const BirdFile&) = delete;

  // Copies of the blocks of one type, in file order.
  std::vector<BirdBlock> blocksOfType(uint8_t type) const;
  // Serial number of the first information block (its third field read as
  // hexadecimal); 0 without an information block.
  uint32_t infoSerialNumber() const;
  bool matchesSerialNumber(uint32_t serial) const { return serial == infoSerialNumber(); }
  // True when the trimmed model field of the first information block starts
  // with name (an empty name matches; a null name and no block do not).
  bool matchesModel(const char* name) const;
  bool matchesModel(const std::string& name) const { return matchesModel(name.c_str()); }
  // Writes serial (little-endian) at serialOffset() and its "%08X" digits as
  // UTF-16LE low bytes at descriptorOffset() in every firmware image that
  // holds them. False when the file has no serial offset to patch.
  bool setSerialNumber(uint32_t serial);
  // Start address of the first jump block, or fallback when there is none or
  // it is shorter than 4 bytes.
  uint32_t jumpAddress(uint32_t fallback = BIRD_DEFAULT_JUMP_ADDRESS) const;

  const std::string& filename() const { return filename_; }
  uint32_t magic() const { return magic_; }
  uint16_t version() const { return version_; }
  uint32_t fileChecksum() const { return fileChecksum_; }
  uint32_t blockCount() const { return blockCount_; }  // blocks actually parsed
  const std::vector<BirdBlock>& blocks() const { return blocks_; }
  bool hasSerialBlock() const { return hasSerialBlock_; }
  uint32_t serialOffset() const { return serialOffset_; }
  uint32_t descriptorOffset() const { return descriptorOffset_; }
  const uint8_t* content() const { return content_.data(); }
  size_t contentLength() const { return content_.size(); }

 private:
  bool loadFile();
  bool loadImage(const uint8_t* bytes, size_t size);
  bool inflate(const uint8_t* bytes, size_t size);
  void parse();
  void takeSerialOffsets();
  const BirdBlock* firstOfType(uint8_t type) const;

  std::string filename_;
  uint32_t magic_ = 0;
  uint16_t version_ = 0;
  uint32_t fileChecksum_ = 0;
  uint32_t blockCount_ = 0;
  std::vector<BirdBlock> blocks_;
  bool hasSerialBlock_ = false;
  uint32_t serialOffset_ = 0;
  uint32_t descriptorOffset_ = 0;
  std::vector<uint8_t> content_;
};

// Quick check: the file opens and starts with "bird" and two non-zero
// version bytes.
bool isBirdFile(const std::string& path);

// One field of an information block as 16 characters, missing bytes of a
// short block read as spaces; out receives 17 bytes (terminated).
void birdInfoField(const BirdBlock& info, size_t offset, char out[BIRD_INFO_FIELD_SIZE + 1]);

#endif
