#ifndef SIMSDP_SDP_DEVICE_H
#define SIMSDP_SDP_DEVICE_H
// A processor's serial download boot loader, free of any transport: it takes
// commands and data and hands back the replies to send. The serial and HID
// fronts (SdpPtySimulator, FakeHidDevice) shape those replies for their line.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace simsdp {

// Command types the boot loader answers.
enum : uint8_t {
  kReadRegister = 0x01,
  kWriteRegister = 0x02,
  kWriteFile = 0x04,
  kErrorStatus = 0x05,
  kDcdWrite = 0x0A,
  kJumpAddress = 0x0B,
  kSkipDcdHeader = 0x0C,
};

// Status words.
constexpr uint32_t kHabOpen = 0x56787856;          // HAB mode word of an open part
constexpr uint32_t kFileComplete = 0x88888888;     // WRITE_FILE done
constexpr uint32_t kRegisterWritten = 0x128A8A12;  // WRITE_REGISTER / DCD_WRITE done
constexpr uint32_t kSkipDcdAck = 0x900DD009;
constexpr uint32_t kRefused = 0x12345678;          // address outside RAM, unknown command

struct Faults {
  bool noAck = false;              // ERROR_STATUS gets no reply
  bool silent = false;             // nothing gets a reply
  bool unsolicited = false;        // a HAB word goes out as soon as WRITE_FILE arrives
  bool wrongCompletion = false;    // WRITE_FILE ends with completionStatus
  uint32_t completionStatus = 0x12345678;
  bool stallAfterWriteFile = false;  // the serial front stops reading after WRITE_FILE
};

struct DeviceConfig {
  uint32_t ramBase = 0x20000000;
  uint32_t ramSize = 4u << 20;
  uint32_t habMode = kHabOpen;
  uint32_t errorStatus = 0;  // what ERROR_STATUS reports
  Faults faults;
};

struct Reply {
  enum Kind { Hab, Status, Data } kind;
  std::vector<uint8_t> bytes;  // Hab and Status: the word little-endian
};

struct WrittenBlock {
  uint32_t address;
  std::vector<uint8_t> bytes;
};

// One command as it arrives: the 16 bytes after the report ID.
struct Command {
  uint8_t type = 0;
  bool typesMatch = false;
  uint32_t address = 0;
  uint8_t format = 0;
  uint32_t count = 0;
  uint32_t data = 0;
};
Command parseCommand(const uint8_t bytes[16]);

class SdpDevice {
 public:
  explicit SdpDevice(const DeviceConfig& config = DeviceConfig());

  // Called with the start address when JUMP_ADDRESS arrives for an address in
  // RAM (in the thread that delivered the command, before its reply goes
  // out). Set it before the device is used.
  std::function<void(uint32_t)> onJump;
  // Called after each completed WRITE_FILE with the block written.
  std::function<void(const WrittenBlock&)> onWrite;

  // A 16-byte command (without its report ID): the replies to send now.
  std::vector<Reply> command(const uint8_t bytes[16]);
  // Data of the WRITE_FILE or DCD_WRITE in progress (at most dataExpected()
  // bytes are taken): the replies to send once the data is complete.
  std::vector<Reply> data(const uint8_t* bytes, size_t count);
  // Data bytes still awaited; 0 while the device waits for a command.
  size_t dataExpected() const;

  const DeviceConfig& config() const { return config_; }
  std::vector<WrittenBlock> blocks() const;
  std::vector<uint32_t> jumps() const;
  // RAM bytes at address (empty when the range is outside RAM).
  std::vector<uint8_t> memory(uint32_t address, size_t count) const;
  // Writes the whole RAM region to path; false with *error set on failure.
  bool saveImage(const std::string& path, std::string* error) const;
  unsigned commandsSeen() const;
  // Bytes handed out by READ_REGISTER (a client verifying what it wrote).
  uint64_t bytesReadBack() const;

 private:
  bool inRam(uint32_t address, uint64_t count) const;
  Reply word(Reply::Kind kind, uint32_t value) const;
  std::vector<Reply> finishData();

  DeviceConfig config_;
  mutable std::mutex mutex_;
  std::vector<uint8_t> ram_;
  std::vector<WrittenBlock> blocks_;
  std::vector<uint32_t> jumps_;
  unsigned commands_ = 0;
  uint64_t bytesReadBack_ = 0;
  // The data phase in progress.
  uint8_t dataCommand_ = 0;
  uint32_t dataAddress_ = 0;
  size_t dataExpected_ = 0;
  std::vector<uint8_t> dataBytes_;
};

}  // namespace simsdp

#endif
