#ifndef SIMMODULE_SIMLOADER_H
#define SIMMODULE_SIMLOADER_H
// The loader side of the upgrade protocol (command 95) as a simulated module
// runs it: answers INIT, PREPARE, DATA, SUM, WRITE and LOAD, keeps what it is
// sent as a flash image (firmware, committed by WRITE) and a loader image
// (loader blocks, taken as a whole), journals every request so tests can
// check the traffic, and injects the faults a real loader might show.
//
// The model is free of I/O and threads: the caller hands it each request and
// carries out the replies and the action it returns (the owner serialises
// calls, and reads the images only when the loader is quiet).
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace simmodule {

struct LoaderFaults {
  uint16_t blockSize = 256;      // loader block size answered to PREPARE
  uint8_t prepareStatus = 0;     // status answered to PREPARE (non-zero = error)
  int prepareErrorAt = -1;       // only this PREPARE (0-based) gets prepareStatus; -1 = all
  int wrongCountAt = -1;         // DATA request (0-based) answered with a wrong accepted count
  int wrongCountRepeats = 1;     // ... and the next ones too, this many in all (<0: for ever)
  int sumOffAt = -1;             // SUM request (0-based) answered with the sum plus one
  uint8_t writeStatus = 0;       // status answered to WRITE
  uint32_t silentOptions = 0;    // bit n set: requests of option n get no reply
  int dropAtData = -1;           // drop the link when this DATA request (0-based) arrives
  bool dropOnLoad = false;       // LOAD restarts into the loader: drop, come back, announce
  uint32_t rebootDelayMs = 500;  // time offline after REBOOT (and a dropping LOAD)
  bool ignoreReboot = false;     // fault: REBOOT is journaled and nothing happens
};

// One request as the loader saw it.
struct LoaderRequest {
  uint8_t option = 0;
  uint8_t payloadLength = 0;  // bytes after the option byte
  uint32_t value = 0;         // WRITE: its byte count; PREPARE: the address
};

// What the owner must do after a request.
enum class LoaderAction { None, DropLink, DropAndAnnounce, Reboot };

struct LoaderResult {
  std::vector<std::vector<uint8_t>> replies;  // data bytes of each reply packet
  LoaderAction action = LoaderAction::None;
};

class SimLoader {
 public:
  SimLoader() = default;
  explicit SimLoader(const LoaderFaults& faults) : faults_(faults) {}

  // data: the request's data bytes, data[0] == 95.
  LoaderResult handle(const uint8_t* data, uint8_t length);
  // The announcement the loader sends when it is back after a dropping LOAD.
  static std::vector<uint8_t> loadAnnouncement();

  void setFaults(const LoaderFaults& faults) { faults_ = faults; }
  const LoaderFaults& faults() const { return faults_; }

  // Firmware bytes committed by WRITE, by block load address.
  const std::map<uint32_t, std::vector<uint8_t>>& flash() const { return flash_; }
  // Loader blocks, by load address.
  const std::map<uint32_t, std::vector<uint8_t>>& loaderImage() const { return loader_; }
  const std::vector<LoaderRequest>& journal() const { return journal_; }
  bool loaderStarted() const { return loaderStarted_; }
  bool rebootRequested() const { return rebooted_; }
  // The flash image as a file: per block, its address (u32 BE), length (u32 BE), bytes.
  bool saveFlash(const std::string& path) const;

  static constexpr uint32_t kLoadBase = 0x10000000;

 private:
  LoaderResult status(uint8_t code, const std::vector<uint8_t>& extra = {});
  bool silent(uint8_t option) const { return (faults_.silentOptions >> option) & 1u; }
  void commitLoaderBytes();
  // One handler per option of the upgrade command.
  LoaderResult onInit();
  LoaderResult onPrepare(const uint8_t* payload, uint8_t length);
  LoaderResult onData(const uint8_t* payload, uint8_t length);
  LoaderResult onSum();
  LoaderResult onWrite(uint32_t count);
  LoaderResult onLoad();
  LoaderResult onReboot();

  LoaderFaults faults_;
  std::map<uint32_t, std::vector<uint8_t>> flash_;
  std::map<uint32_t, std::vector<uint8_t>> loader_;
  std::vector<LoaderRequest> journal_;
  std::vector<uint8_t> pending_;  // bytes received since the last WRITE or block start
  uint32_t blockAddress_ = 0;
  uint32_t blockOffset_ = 0;      // bytes of the current block written so far
  uint32_t sum_ = 0;              // sum of the bytes since the last SUM
  bool prepared_ = false;
  bool loaderStarted_ = false;
  bool rebooted_ = false;
  int prepares_ = 0;
  int datas_ = 0;
  int sums_ = 0;
  int wrongLeft_ = 0;
};

}  // namespace simmodule

#endif
