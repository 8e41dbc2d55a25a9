#ifndef SIMMODULE_SIMDEVICE_H
#define SIMMODULE_SIMDEVICE_H
// The device side of a simulated module: the command families that the
// object layer talks to (UEI get and set for every entity class, the system
// entity's values, module queries and the build number, the debug echo,
// store slots, factory data, stream registration and stream packets, I2C),
// their shared state, and the controls tests use to seed values, inject
// faults and read back what the host sent.
//
// The state has a lock of its own, so the controls may be used from any
// thread while the simulator runs; handlers take it on the simulator's thread.
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <tuple>
#include <vector>

#include "SimModule.h"

namespace simmodule {

// Codes the simulated module reports in error replies (the library's aErr values).
enum : uint8_t {
  kErrNotFound = 3,
  kErrOverrun = 15,
  kErrSize = 14,
  kErrInvalidEntity = 28,
  kErrInvalidOption = 29,
  kErrUnimplemented = 21,
};

// A UEI value: its width in bytes (1, 2 or 4) and its bits.
struct UeiValue {
  uint8_t width = 0;
  uint32_t value = 0;
};

// Key of a UEI value: command, option code, entity index, subindex (-1 = none).
using UeiKey = std::tuple<uint8_t, uint8_t, uint8_t, int>;

struct StoreSlot {
  std::vector<uint8_t> data;
  uint32_t capacity = 4096;
};

struct OpenSlot {
  uint8_t store = 0;
  uint8_t slot = 0;
  bool writing = false;
  size_t position = 0;
  std::vector<uint8_t> pending;  // bytes written, kept at close
};

struct DeviceState {
  std::mutex lock;

  // Every packet a device handler received, in order.
  std::vector<Packet> requests;
  // Replies to send instead of the normal answer to the next request of a
  // command (an empty list answers nothing).
  std::map<uint8_t, std::deque<std::vector<std::vector<uint8_t>>>> scripts;

  // UEI.
  std::map<UeiKey, UeiValue> values;
  std::map<std::tuple<uint8_t, uint8_t, uint8_t>, std::vector<uint8_t>> byteLists;
  std::map<std::pair<uint8_t, uint8_t>, uint8_t> errors;  // (command, option) -> code
  uint8_t routeToMe = 0;

  // Store slots and factory data.
  std::map<std::pair<uint8_t, uint8_t>, StoreSlot> slots;
  std::map<uint8_t, OpenSlot> handles;
  uint8_t nextHandle = 1;
  std::map<uint8_t, std::vector<uint8_t>> factory;
  uint8_t factorySelector = 0;
  size_t factoryPosition = 0;
  std::vector<uint8_t> factoryPending;
  bool factoryWriting = false;

  // Streams: registrations as (module, command, option, index) words.
  std::set<uint32_t> streams;
  uint8_t streamRefusal = 0;  // error code for registrations; 0 = accept
  bool streamSilent = false;  // registrations get no reply
};

// The state of a module with the device families.
DeviceState& deviceState(Module& module);

// Family installers (called by installStandardFamilies).
void installUeiFamily(Module& module);
void installQueryFamily(Module& module);
void installStoreFamily(Module& module);
void installFactoryFamily(Module& module);
void installStreamFamily(Module& module);
void installI2CFamily(Module& module);

// Handler helpers (the state's lock held): records the request and answers
// a scripted request; true when the request was scripted.
bool takeScripted(Module& module, DeviceState& state, const Packet& packet);

// ---- Controls (any thread) ------------------------------------------------
void setUeiValue(Module& module, uint8_t command, uint8_t option, uint8_t index, int subindex,
                 uint8_t width, uint32_t value);
bool getUeiValue(Module& module, uint8_t command, uint8_t option, uint8_t index, int subindex,
                 UeiValue* value);
void setUeiBytes(Module& module, uint8_t command, uint8_t option, uint8_t index,
                 const std::vector<uint8_t>& bytes);
// Error replies with code for (command, option); 0 stops them.
void setUeiError(Module& module, uint8_t command, uint8_t option, uint8_t code);
void scriptReplies(Module& module, uint8_t command, const std::vector<std::vector<uint8_t>>& replies);
std::vector<Packet> takeRequests(Module& module);
void setStoreSlot(Module& module, uint8_t store, uint8_t slot, const std::vector<uint8_t>& data,
                  uint32_t capacity);
bool getStoreSlot(Module& module, uint8_t store, uint8_t slot, std::vector<uint8_t>* data);
void setFactoryData(Module& module, uint8_t selector, const std::vector<uint8_t>& data);
std::vector<uint8_t> getFactoryData(Module& module, uint8_t selector);
void setStreamRefusal(Module& module, uint8_t code, bool silent);
std::set<uint32_t> streamRegistrations(Module& module);
uint8_t routeToMe(Module& module);

// A stream packet from module (type 1-3 plain, 5-7 with subindex; 4 sends
// bytes with a non-zero last byte), sent from any thread.
Packet makeStreamSample(uint8_t address, uint8_t command, uint8_t option, uint8_t index, uint8_t type,
                        uint64_t timestamp, uint32_t value, uint8_t subindex);

}  // namespace simmodule

#endif
