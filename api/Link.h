#ifndef KELVARION_API_LINK_H
#define KELVARION_API_LINK_H
// Link: one connection to a module endpoint (a USB module or a TCP/IP module)
// speaking the module protocol over a packet link: raw packets, UEI requests
// and replies, store slots, factory data, the module-address query, a packet
// log, and the stream facility (values a module pushes unasked, cached per
// stream key and handed to callbacks on a worker thread of the Link's own).
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "aDiscovery.h"
#include "aLink.h"
#include "aPacket.h"

namespace Mirovane {
namespace Kelvarion {

// Value type of a UEI: no value, or a 1, 2 or 4-byte value.
enum ueiType : int32_t { UEI_TYPE_NONE = 0, UEI_TYPE_BYTE = 1, UEI_TYPE_SHORT = 2, UEI_TYPE_INT = 4 };

// The value of one UEI, in the width its type says.
union ueiValue {
  uint8_t byteVal;
  uint16_t shortVal;
  uint32_t intVal;
};

// One UEI exchange. A UEI packet carries: command, option byte (bits 0-5 the
// option code; bit 6 in a get request; bit 7 in a set request; bits 6 and 7
// in a set's reply), specifier byte (bits 0-4 the entity index; bit 5 in
// every request; bit 6 in a stream packet; bit 7 in an error reply), then the
// value most significant byte first (in an error reply: the module's code).
struct uei {
  uint8_t module;     // module address
  uint8_t command;    // command code (the entity class)
  uint8_t option;     // option byte as sent or as matched
  uint8_t specifier;  // specifier as sent; after a reply, the reply's (bit 7 = error)
  ueiValue value;     // after an error reply byteVal holds the module's code
  ueiType type;
};

// Bits of the UEI option and specifier bytes.
enum : uint8_t {
  UEI_OPTION_MASK = 0x3F,
  UEI_OPTION_GET = 0x40,
  UEI_OPTION_SET = 0x80,
  UEI_OPTION_SET_REPLY = 0xC0,
  UEI_INDEX_MASK = 0x1F,
  UEI_SPECIFIER_REQUEST = 0x20,
  UEI_SPECIFIER_STREAM = 0x40,
  UEI_SPECIFIER_ERROR = 0x80,
};

// Selectors of getStreamKeyElement.
enum STREAM_KEY {
  STREAM_KEY_MODULE = 0,
  STREAM_KEY_COMMAND = 1,
  STREAM_KEY_OPTION = 2,
  STREAM_KEY_INDEX = 3,
  STREAM_KEY_SUBINDEX = 4
};

// Stream packet types (data byte 3 of a stream packet).
enum STREAM_PACKET {
  STREAM_PACKET_NONE = 0,
  STREAM_PACKET_U8 = 1,
  STREAM_PACKET_U16 = 2,
  STREAM_PACKET_U32 = 3,
  STREAM_PACKET_BYTES = 4,
  STREAM_PACKET_SUBINDEX_U8 = 5,
  STREAM_PACKET_SUBINDEX_U16 = 6,
  STREAM_PACKET_SUBINDEX_U32 = 7
};

// A user packet match: non-zero claims the packet.
typedef uint8_t (*ueiPacketFilter)(const aPacket* packet, const void* ref);
// A stream callback: runs on the Link's dispatch worker with a copy of the
// stream packet; its result is not used.
typedef aErr (*streamCallback)(const aPacket* packet, void* ref);

struct LinkState;

class KLV_EXPORT Link {
 public:
  // Any element of a stream key or key filter with this value matches any value.
  static const uint8_t STREAM_WILDCARD = 0xFF;
  // Longest link name kept.
  static const size_t MAX_NAME = 1024;

  explicit Link(const std::string& name);
  Link(const linkSpec& spec, const std::string& name);
  // A copy shares its source's link state (packet link, streams, specifier).
  Link(const Link& other) = default;
  Link& operator=(const Link& other) = default;
  ~Link();

  // Discovery. aErrNotFound when the enumeration found nothing.
  static aErr sDiscover(linkType type, aDiscoveryModuleFoundProc callback, void* ref);
  // Appends a copy of every module found to specs.
  static aErr sDiscover(linkType type, std::list<linkSpec>& specs);
  static bool sFindAll(const linkSpec* spec, bool* found, void* ref);

  // Connection.
  aErr connect();
  aErr discoverAndConnect(linkType type, uint32_t serialNumber, uint8_t model = 0);
  bool isConnected() const;
  linkStatus getStatus() const;
  aErr disconnect();
  aErr reset();
  aErr getModuleAddress(uint8_t* address);
  const char* getName() const;
  aErr getLinkSpecifier(linkSpec* spec) const;
  aErr setLinkSpecifier(const linkSpec& spec);

  // UEI exchanges.
  aErr sendUEI(uei value);
  aErr sendUEI(uei value, uint8_t subindex);
  aErr receiveUEI(uint8_t module, uint8_t command, uint8_t option, uint8_t index, uei* value);
  aErr receiveUEI(uint8_t module, uint8_t command, uint8_t option, uint8_t index, uei* value,
                  ueiPacketFilter filter);
  aErr dropMatchingUEIPackets(uint8_t module, uint8_t command, uint8_t option, uint8_t index);
  // The standard UEI reply match; ref is the uei being received.
  static uint8_t sUEIFilter(const aPacket* packet, const void* ref);

  // Raw packets.
  aErr sendPacket(uint8_t module, uint8_t command, uint8_t length, const uint8_t* data);
  aErr receivePacket(uint8_t module, const uint8_t* match, uint8_t* length, uint8_t* data);
  // Takes the first received packet `match` claims (ref passed through),
  // waiting up to timeoutMs; aErrTimeout when none, aErrConnection when not
  // connected. For a caller that awaits several replies at once.
  aErr awaitPacket(ueiPacketFilter match, const void* ref, uint32_t timeoutMs);

  // Store slots (command 4).
  aErr loadStoreSlot(uint8_t module, uint8_t store, uint8_t slot, const uint8_t* data,
                     uint32_t length);
  aErr unloadStoreSlot(uint8_t module, uint8_t store, uint8_t slot, uint8_t* buffer,
                       uint32_t bufferLength, uint32_t* count);
  aErr storeSlotSize(uint8_t module, uint8_t store, uint8_t slot, uint32_t* size);
  aErr storeSlotCapacity(uint8_t module, uint8_t store, uint8_t slot, uint32_t* capacity);

  // Factory data (command 0x5E).
  aErr getFactoryData(uint8_t module, uint8_t command, uint8_t* buffer, uint32_t bufferLength,
                      uint32_t* count);
  aErr setFactoryData(uint8_t module, uint8_t command, const uint8_t* data, uint32_t length);

  // Packet log written to a text file by a logger thread.
  aErr enablePacketLog(const char* path);
  aErr disablePacketLog();

  // Stream keys and packets.
  static uint64_t createStreamKey(uint8_t module, uint8_t command, uint8_t option, uint8_t index,
                                  uint8_t subindex);
  static uint8_t getStreamKeyElement(uint64_t key, int element);
  static void getTimestampParts(uint64_t timestamp, uint32_t* high, uint32_t* low);
  static bool isStreamPacket(const aPacket* packet);
  static bool isStreamSample(const aPacket* packet);
  static bool getStreamPacketType(const aPacket* packet, STREAM_PACKET* type);
  static bool isSubindexType(STREAM_PACKET type);
  static aErr getStreamSample(const aPacket* packet, uint64_t* timestamp, uint32_t* value,
                              uint8_t* subindex);
  // The packet link's user filter while streams are registered.
  static bool linkStreamFilter(const aPacket* packet, void* state);

  // Stream registration and the value cache.
  aErr registerStreamCallback(uint8_t module, uint8_t command, uint8_t option, uint8_t index,
                              bool enable, streamCallback callback, void* ref);
  aErr enableStream(uint8_t module, uint8_t command, uint8_t option, uint8_t index, bool enable);
  aErr isLinkStreaming(uint8_t module, uint8_t* status);
  aErr getStreamValue(uint8_t module, uint8_t command, uint8_t option, uint8_t index,
                      uint8_t subindex, uint32_t* value);
  std::vector<uint64_t> filterActiveStreamKeys(uint8_t module, uint8_t command, uint8_t option,
                                               uint8_t index, uint8_t subindex, bool lock);
  aErr getStreamStatus(uint8_t module, uint8_t command, uint8_t option, uint8_t index,
                       uint8_t subindex, std::map<uint64_t, uint32_t>* status);

 private:
  // The packet link when connected (status 1 or 2), else 0.
  aLinkRef connectedLink() const;
  aErr checkModule(uint8_t module, aLinkRef* link) const;
  aErr syncStreamFilter();

  std::shared_ptr<LinkState> state_;
};

}  // namespace Kelvarion
}  // namespace Mirovane

#endif
