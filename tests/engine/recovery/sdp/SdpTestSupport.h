#ifndef TESTS_RECOVERY_SDP_SDPTESTSUPPORT_H
#define TESTS_RECOVERY_SDP_SDPTESTSUPPORT_H
// Helpers shared by the serial download client tests.
#include <memory>
#include <vector>

#include "SDPLoader_Interface.h"

namespace sdptest {

// Passes every call to the loader it wraps and keeps the write results.
class RecordingLoader : public SDPLoader_Interface {
 public:
  RecordingLoader(std::unique_ptr<SDPLoader_Interface> inner, std::vector<std::ptrdiff_t>* writes)
      : inner_(std::move(inner)), writes_(writes) {}
  bool open() override { return inner_->open(); }
  std::ptrdiff_t write(const std::vector<uint8_t>& bytes) override {
    std::ptrdiff_t n = inner_->write(bytes);
    writes_->push_back(n);
    return n;
  }
  std::ptrdiff_t read(std::vector<uint8_t>& buffer, uint32_t timeoutMs) override {
    return inner_->read(buffer, timeoutMs);
  }
  bool responseWord(const std::vector<uint8_t>& response, size_t offset, uint32_t& word) override {
    return inner_->responseWord(response, offset, word);
  }

 private:
  std::unique_ptr<SDPLoader_Interface> inner_;
  std::vector<std::ptrdiff_t>* writes_;
};

// Bytes that differ from block to block and from place to place.
inline std::vector<uint8_t> pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  uint32_t x = 0x9E3779B9u * (seed + 1u);
  for (auto& b : bytes) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(x >> 24);
  }
  return bytes;
}

}  // namespace sdptest

#endif
