// The serial download client fed arbitrary device answers: every read hands
// out the next piece of the input, shaped as a HID or a serial reply by the
// first input byte. No reply may crash the client or make it read out of
// bounds; a result other than 0 is fine.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "SDPClient.h"
#include "SDPCommands.h"

namespace {

class ScriptedLoader : public SDPLoader_Interface {
 public:
  ScriptedLoader(const uint8_t* data, size_t size, bool hid) : data_(data), size_(size), hid_(hid) {}
  bool open() override { return true; }
  std::ptrdiff_t write(const std::vector<uint8_t>& bytes) override {
    // Now and then a write fails, as a port that stops taking bytes does.
    uint8_t control = next();
    return control == 0xFF ? -1 : static_cast<std::ptrdiff_t>(bytes.size());
  }
  std::ptrdiff_t read(std::vector<uint8_t>& buffer, uint32_t) override {
    size_t n = next();
    if (n > size_ - at_)
      n = size_ - at_;
    buffer.insert(buffer.end(), data_ + at_, data_ + at_ + n);
    at_ += n;
    return static_cast<std::ptrdiff_t>(n);
  }
  bool responseWord(const std::vector<uint8_t>& response, size_t offset, uint32_t& word) override {
    return hid_ ? sdp::hidResponseWord(response, offset, word) : sdp::serialResponseWord(response, offset, word);
  }

 private:
  uint8_t next() { return at_ < size_ ? data_[at_++] : 0; }
  const uint8_t* data_;
  size_t size_;
  bool hid_;
  size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3)
    return 0;
  bool hid = data[0] & 1;
  size_t fileSize = static_cast<size_t>(data[1]) * 16;  // up to 4080 bytes: several data reports
  SDPClient client;
  client.setLoader(std::make_unique<ScriptedLoader>(data + 2, size - 2, hid));
  client.open();
  std::vector<uint8_t> file(fileSize, 0x5A);
  client.writeFile(file, 0x20000000);
  client.jumpAddress(0x20000400);
  for (size_t offset = 0; offset < 17; ++offset) {
    std::vector<uint8_t> bytes(data, data + size);
    uint32_t word = 0;
    sdp::hidResponseWord(bytes, offset, word);
    sdp::serialResponseWord(bytes, offset, word);
  }
  return 0;
}
