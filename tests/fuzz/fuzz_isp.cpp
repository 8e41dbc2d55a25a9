// Fuzzes the serial ISP status-line judge and the UU encoder, and feeds the
// simulated boot loader arbitrary bytes from a host.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "IspLoaderModel.h"
#include "IspUu.h"
#include "recovery/isp/IspProtocol.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

class Sink : public IspLoaderModel::Output {
 public:
  void send(const std::string& bytes) override { total += bytes.size(); }
  void pause(uint32_t) override {}
  size_t total = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  long status = 0;
  for (bool echo : {false, true}) {
    if (ispParseStatus(text, size, echo, &status))
      check(ispStatusName(status) != nullptr);
  }

  size_t count = size < 45 ? size : 45;
  char line[64];
  size_t length = ispUuEncodeLine(data, count, line);
  check(length == ispUuLineLength(count) && strlen(line) == length);
  std::vector<uint8_t> decoded;
  check(uuDecodeLine(std::string(line, length), &decoded));
  check(decoded.size() == count && (count == 0 || std::memcmp(decoded.data(), data, count) == 0));

  // A synchronised, unlocked loader, then the input as the host's bytes.
  Sink sink;
  IspLoaderModel loader(IspSimOptions(), &sink);
  for (const char* c = "?Synchronized\r\n14746\r\nU 23130\r\n"; *c; ++c)
    loader.receive(static_cast<uint8_t>(*c));
  for (size_t i = 0; i < size; ++i)
    loader.receive(data[i]);
  check(loader.flash().size() == IspLoaderModel::kFlashSize);
  return 0;
}
