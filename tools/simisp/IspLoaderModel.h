#ifndef SIMISP_LOADER_MODEL_H
#define SIMISP_LOADER_MODEL_H
// The boot loader's behaviour without any I/O: bytes from the host go in,
// bytes for the host come out through the Output sink. Models a 512 KB part
// (sectors 0-15 of 4 KB, 16-29 of 32 KB), 32 KB of RAM at 0x10000000, the
// autobaud sync, the echo, the unlock code and the commands A U P E W C G N
// J K R M I with the loader's status codes.
#include <cstdint>
#include <string>
#include <vector>

#include "IspSimOptions.h"

class IspLoaderModel {
 public:
  // Where the loader's bytes go; pause() stands for time the part is busy.
  class Output {
   public:
    virtual void send(const std::string& bytes) = 0;
    virtual void pause(uint32_t milliseconds) = 0;
    // Called after each successful copy to flash.
    virtual void flashChanged() {}

   protected:
    ~Output() = default;
  };

  static const uint32_t kFlashSize = 512 * 1024;
  static const uint32_t kRamStart = 0x10000000;
  static const uint32_t kRamSize = 32 * 1024;

  IspLoaderModel(const IspSimOptions& options, Output* output);

  // One byte from the host.
  void receive(uint8_t byte);

  const std::vector<uint8_t>& flash() const { return flash_; }
  std::vector<uint8_t>& flash() { return flash_; }
  const std::vector<uint8_t>& ram() const { return ram_; }
  bool synchronised() const { return state_ != State::WaitQuestion && state_ != State::WaitSynchronized && state_ != State::WaitCrystal; }
  bool echo() const { return echo_; }
  bool unlocked() const { return unlocked_; }
  bool started() const { return state_ == State::Running; }
  uint32_t startAddress() const { return startAddress_; }
  // Every command line the host sent (without its line end), for tests.
  const std::vector<std::string>& commands() const { return commands_; }
  // Data lines and checksum lines received during W (without line ends).
  const std::vector<std::string>& dataLines() const { return dataLines_; }

 private:
  enum class State { WaitQuestion, WaitSynchronized, WaitCrystal, Command, WriteData, ReadData, Running };

  void line(const std::string& text);
  void syncLine(const std::string& text);
  void command(const std::string& text);
  void status(long code);
  void reply(const std::string& text);
  bool echoes() const;

  void cmdUnlock(const std::vector<long>& args);
  void cmdEcho(const std::vector<long>& args);
  void cmdIdentify();
  void cmdBootCode();
  void cmdSerial();
  void cmdWrite(const std::vector<long>& args);
  void writeDataLine(const std::string& text);
  void cmdRead(const std::vector<long>& args);
  void readDataReply(const std::string& text);
  void sendReadBlock();
  void cmdCopy(const std::vector<long>& args);
  void cmdPrepareErase(char letter, const std::vector<long>& args);
  void cmdCompare(const std::vector<long>& args);
  void cmdBlankCheck(const std::vector<long>& args);
  void cmdGo(const std::vector<long>& args);

  uint8_t* memory(uint32_t address, uint32_t count);
  bool sectorRange(uint32_t address, uint32_t count, uint32_t* first, uint32_t* last) const;

  IspSimOptions options_;
  Output* output_;
  State state_ = State::WaitQuestion;
  std::string pending_;
  bool echo_ = true;
  bool unlocked_ = false;
  uint32_t resendsLeft_;
  uint32_t refusalsLeft_;
  std::vector<bool> prepared_;
  std::vector<uint8_t> flash_;
  std::vector<uint8_t> ram_;
  uint32_t startAddress_ = 0;
  std::vector<std::string> commands_;
  std::vector<std::string> dataLines_;

  // A transfer in progress (W or R).
  struct Transfer {
    uint32_t address = 0;
    uint32_t count = 0;
    uint32_t done = 0;       // bytes accepted
    uint32_t blockStart = 0; // first byte of the current checksum block
    uint32_t lines = 0;      // lines in the current block
    uint32_t sum = 0;
    std::vector<uint8_t> block;
  } transfer_;
};

#endif
