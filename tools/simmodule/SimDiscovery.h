#ifndef SIMMODULE_SIMDISCOVERY_H
#define SIMMODULE_SIMDISCOVERY_H
// The module's side of TCP/IP discovery, and the executable's options for
// the device families: modules behind a routing module, discovery answers.
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "SimModule.h"
#include "platform/udp.h"

namespace simmodule {

// Answers discovery requests (16 bytes, byte 0 = 1, to 232.2.2.2:9888) with
// the module's 16-byte answer, sent to the requester's address on port 9889:
// byte 1 module address, bytes 2-3 TCP port and 4-7 serial number (least
// significant byte first), byte 12 model.
class DiscoveryResponder {
 public:
  DiscoveryResponder(const ModuleConfig& module, uint16_t tcpPort);
  ~DiscoveryResponder();
  DiscoveryResponder(const DiscoveryResponder&) = delete;
  DiscoveryResponder& operator=(const DiscoveryResponder&) = delete;

  // Joins the group on the interface with interfaceAddress (0 = the default
  // one) and answers on a thread of its own.
  bool start(uint32_t interfaceAddress);
  void stop();
  uint32_t answered() const { return answered_; }
  // Stays silent while this simulator's module is away restarting (call
  // before start; the simulator must outlive the responder's thread).
  void followRestarts(const Simulator* simulator) { simulator_ = simulator; }

  static std::vector<uint8_t> answer(const ModuleConfig& module, uint16_t tcpPort);

 private:
  void run();

  ModuleConfig module_;
  uint16_t tcpPort_;
  aUdpSocketRef socket_ = nullptr;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<uint32_t> answered_{0};
  const Simulator* simulator_ = nullptr;
};

// Options of the executable for the device families.
struct DeviceOptions {
  bool discovery = false;               // --discovery on: answer TCP/IP discovery
  std::vector<ModuleConfig> behind;     // --behind ADDRESS:SERIAL:MODEL[:FIRMWARE[:BUILD]]
  bool absentErrors = false;            // --absent error: empty addresses answer with errors
};

// Takes the keys discovery, behind and absent; *handled tells whether key was one of them.
bool applyDeviceSetting(const std::string& key, const std::string& value, DeviceOptions* options, bool* handled,
                        std::string* error);
// Adds the modules behind the primary. With absentErrors every other even
// address answers the system entity's serial-number get with an error
// reply, so that a scan of the network need not wait out each empty address.
void addNetworkModules(Simulator& simulator, const DeviceOptions& options);

}  // namespace simmodule

#endif
