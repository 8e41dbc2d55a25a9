#ifndef KELVARION_API_MODULE_H
#define KELVARION_API_MODULE_H
// Module: one module at one module address, reached through a Link it owns.
// Adds connection shortcuts (by serial number, from a linkSpec, through a
// routing module), learning of the module's real address on connection (the
// networking mode) and the module-level queries.
#include <memory>

#include "Link.h"

namespace Mirovane {
namespace Kelvarion {

class KLV_EXPORT Module {
 public:
  // Networking mode on; model 0 = any model when discovering.
  explicit Module(uint8_t address, uint8_t model = 0);
  Module(uint8_t address, bool networkingMode, uint8_t model);
  // A copy refers to the same Link as its source; the Link goes with the last of them.
  Module(const Module& other) = default;
  Module& operator=(const Module& other) = default;
  virtual ~Module();

  // aErrParam for serial number 0, else discoverAndConnect.
  aErr connect(linkType type, uint32_t serialNumber);
  aErr discoverAndConnect(linkType type, uint32_t serialNumber);
  aErr connectFromSpec(const linkSpec& spec);
  // Talks through the router's packet link; the router forwards packets for
  // this module's address. The address is kept as given.
  aErr connectThroughLinkModule(Module* router);
  aErr reconnect();
  aErr disconnect();

  bool isConnected() const;
  linkStatus getStatus() const;
  uint8_t getModuleAddress() const { return address_; }
  void setModuleAddress(uint8_t address) { address_ = address; }
  aErr getLinkSpecifier(linkSpec* spec) const;
  Link* getLink() const { return link_.get(); }
  void setNetworkingMode(bool on) { networking_ = on; }

  aErr enablePacketLog(const char* path);
  aErr disablePacketLog();

  // Module queries (command 73) and the debug echo (command 23).
  aErr debug(const uint8_t* data, uint8_t length);
  aErr hasUEI(uint8_t command, uint8_t option, uint8_t index, uint8_t flags);
  aErr classQuantity(uint8_t command, uint8_t* quantity);
  aErr subClassQuantity(uint8_t command, uint8_t index, uint8_t* quantity);
  aErr entityGroup(uint8_t command, uint8_t index, uint8_t* group);
  // The firmware build number (query 0xFF, answered in four bytes, most
  // significant first); aErrUnknown for an answer of another length.
  aErr buildNumber(uint32_t* build);

 private:
  void learnAddress();
  aErr query(const uint8_t* request, uint8_t length, uint8_t replyLength, uint8_t* answer);

  std::shared_ptr<Link> link_;
  uint8_t address_;
  bool networking_;
  uint8_t model_;
};

}  // namespace Kelvarion
}  // namespace Mirovane

#endif
