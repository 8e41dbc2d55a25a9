#ifndef SIMSDP_SDP_PTY_SIMULATOR_H
#define SIMSDP_SDP_PTY_SIMULATOR_H
// The serial download boot loader on a pseudo-terminal: a client opens
// slavePath() as its serial port. Replies go out as raw words (HAB mode, then
// status); the association bytes "#EE#" are echoed.
#include <atomic>
#include <string>
#include <thread>

#include "SdpDevice.h"

namespace platform {
struct Pty;
}

namespace simsdp {

class SdpPtySimulator {
 public:
  explicit SdpPtySimulator(const DeviceConfig& config = DeviceConfig());
  ~SdpPtySimulator();
  SdpPtySimulator(const SdpPtySimulator&) = delete;
  SdpPtySimulator& operator=(const SdpPtySimulator&) = delete;

  // Opens the pseudo-terminal and starts serving; false when it cannot.
  bool start();
  // Stops serving (bounded: the thread polls the line in short steps).
  void stop();
  const std::string& slavePath() const { return slavePath_; }
  // Set onJump and onWrite here before start().
  SdpDevice& device() { return device_; }

 private:
  void serve();
  void feed(const uint8_t* bytes, size_t count);
  void send(const std::vector<Reply>& replies);

  SdpDevice device_;
  platform::Pty* pty_ = nullptr;
  std::string slavePath_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  bool stalled_ = false;
  std::vector<uint8_t> pending_;  // command bytes not yet whole
};

}  // namespace simsdp

#endif
