// Building BIRD content and files.
#include "BirdWriter.h"

#include <zlib.h>

#include <cstdio>

void appendBE32(Bytes& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(value >> shift));
}

uint32_t birdChecksum(const uint8_t* content, size_t length) {
  uLong crc = crc32(0L, Z_NULL, 0);
  while (length > 0) {
    uInt chunk = length > 0x40000000u ? 0x40000000u : uInt(length);
    crc = crc32(crc, content, chunk);
    content += chunk;
    length -= chunk;
  }
  return uint32_t(crc);
}

BirdWriter& BirdWriter::addBlock(uint8_t type, uint8_t flags, const Bytes& data) {
  blocks_.push_back(Block{uint8_t((type & 0x1F) | ((flags & 7) << 5)), data});
  return *this;
}

BirdWriter& BirdWriter::addImage(uint8_t type, uint32_t address, const Bytes& code, uint8_t flags) {
  Bytes data;
  appendBE32(data, address);
  data.insert(data.end(), code.begin(), code.end());
  return addBlock(type, flags, data);
}

BirdWriter& BirdWriter::addSerialOffsets(uint32_t serialOffset, uint32_t descriptorOffset) {
  Bytes data;
  appendBE32(data, serialOffset);
  appendBE32(data, descriptorOffset);
  return addBlock(2, 0, data);
}

BirdWriter& BirdWriter::addInfo(const std::string& product, const std::string& release,
                                const std::string& serial, const std::string& model) {
  Bytes data;
  for (const std::string* field : {&product, &release, &serial, &model}) {
    std::string text = field->substr(0, 16);
    text.resize(16, ' ');
    data.insert(data.end(), text.begin(), text.end());
  }
  return addBlock(4, 0, data);
}

BirdWriter& BirdWriter::addJumpAddress(uint32_t address) {
  Bytes data;
  appendBE32(data, address);
  return addBlock(5, 0, data);
}

BirdWriter& BirdWriter::setVersion(uint16_t version) {
  version_ = version;
  return *this;
}

BirdWriter& BirdWriter::setChecksum(uint32_t checksum) {
  checksum_ = checksum;
  hasChecksum_ = true;
  return *this;
}

BirdWriter& BirdWriter::setReportedBlockCount(uint32_t count) {
  count_ = count;
  hasCount_ = true;
  return *this;
}

BirdWriter& BirdWriter::setTrailer(const Bytes& trailer) {
  trailer_ = trailer;
  return *this;
}

BirdWriter& BirdWriter::omitChecksum(bool omit) {
  omitChecksum_ = omit;
  return *this;
}

Bytes BirdWriter::content() const {
  Bytes out;
  appendBE32(out, hasCount_ ? count_ : uint32_t(blocks_.size()));
  for (const Block& block : blocks_) {
    out.push_back(block.header);
    appendBE32(out, uint32_t(block.data.size()));
    out.insert(out.end(), block.data.begin(), block.data.end());
  }
  if (!omitChecksum_) appendBE32(out, hasChecksum_ ? checksum_ : birdChecksum(out.data(), out.size()));
  out.insert(out.end(), trailer_.begin(), trailer_.end());
  return out;
}

Bytes BirdWriter::fileBytes(int level) const { return birdWrap(content(), version_, level); }

bool BirdWriter::writeFile(const std::string& path, int level) const {
  return writeFileBytes(path, fileBytes(level));
}

Bytes birdWrap(const Bytes& content, uint16_t version, int level) {
  Bytes out = {'b', 'i', 'r', 'd', uint8_t(version >> 8), uint8_t(version)};
  uLongf size = compressBound(uLong(content.size()));
  out.resize(6 + size);
  if (compress2(out.data() + 6, &size, content.data(), uLong(content.size()), level) != Z_OK) return {};
  out.resize(6 + size);
  return out;
}

bool readFileBytes(const std::string& path, Bytes& out) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  out.clear();
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) out.insert(out.end(), chunk, chunk + n);
  bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

bool writeFileBytes(const std::string& path, const Bytes& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = (std::fclose(file) == 0) && ok;
  return ok;
}
