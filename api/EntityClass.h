#ifndef KELVARION_API_ENTITYCLASS_H
#define KELVARION_API_ENTITYCLASS_H
// EntityClass: the base of the entity classes. An entity is one numbered
// instance of a class of function in a module (its system, a store, a USB
// port, ...); the entity classes turn method calls into UEI exchanges with it.
#include <map>

#include "Module.h"

namespace Mirovane {
namespace Kelvarion {

struct EntityBinding;

class KLV_EXPORT EntityClass {
 public:
  EntityClass();
  // A copy is bound to the same module, command and index, with its own record.
  EntityClass(const EntityClass& other);
  EntityClass& operator=(const EntityClass& other);
  virtual ~EntityClass();

  void init(Module* module, uint8_t command, uint8_t index);
  uint8_t getIndex() const;

  // A set with no value.
  aErr callUEI(uint8_t option);
  aErr setUEI8(uint8_t option, uint8_t value);
  aErr setUEI16(uint8_t option, uint16_t value);
  aErr setUEI32(uint8_t option, uint32_t value);
  aErr setUEI8(uint8_t option, uint8_t subindex, uint8_t value);
  aErr setUEI32(uint8_t option, uint8_t subindex, uint32_t value);
  // Getters deliver the value on aErrNone and on aErrStreamStale (a cached
  // streamed value with no new sample since the last read).
  aErr getUEI8(uint8_t option, uint8_t* value);
  aErr getUEI16(uint8_t option, uint16_t* value);
  aErr getUEI32(uint8_t option, uint32_t* value);
  aErr getUEI8(uint8_t option, uint8_t subindex, uint8_t* value);
  aErr getUEI16(uint8_t option, uint8_t subindex, uint16_t* value);
  aErr getUEI32(uint8_t option, uint8_t subindex, uint32_t* value);
  // Byte lists: *count must be 0 on entry; the bytes received are added to it.
  aErr getUEIBytes8(uint8_t option, uint8_t* buffer, uint32_t length, uint32_t* count);
  // 32-bit lists: *count becomes the number of values (0 on failure).
  aErr getUEIBytes32(uint8_t option, uint32_t* buffer, uint32_t length, uint32_t* count);
  // Drops queued replies for option.
  aErr drainUEI(uint8_t option);

  static uint8_t getUEIBytesSequence(uint8_t b) { return b & 0x7F; }
  static bool getUEIBytesContinue(uint8_t b) { return (b & 0x80) != 0; }
  static uint8_t sUEIBytesFilter(const aPacket* packet, const void* ref);

  // Streams of this entity.
  aErr setStreamEnabled(bool enable);
  aErr registerOptionCallback(uint8_t option, bool enable, streamCallback callback, void* ref);
  aErr getStreamStatus(std::map<uint64_t, uint32_t>* status);

 protected:
  aErr sendPacket(uint8_t command, uint8_t length, const uint8_t* data);
  aErr receivePacket(const uint8_t* match, uint8_t* length, uint8_t* data);
  aErr getUEI(uint8_t option, uei* value);
  aErr setUEI(uint8_t option, uei* value);
  aErr setUEI(uint8_t option, uint8_t subindex, uei* value);
  // Waits (1000 ms, sending nothing) for a reply to option; timeoutMs does not change the wait.
  aErr awaitUEI32Val(uint8_t option, uint32_t* value, uint32_t timeoutMs);

  // A whole byte list, counted from 0.
  aErr getByteList(uint8_t option, uint8_t* buffer, uint32_t length, uint32_t* count) {
    if (count) *count = 0;
    return getUEIBytes8(option, buffer, length, count);
  }

  // Signed 32-bit values travel as their two's-complement bits.
  aErr getUEIi32(uint8_t option, int32_t* value);
  aErr getUEIi32(uint8_t option, uint8_t subindex, int32_t* value);
  aErr setUEIi32(uint8_t option, int32_t value) {
    return setUEI32(option, static_cast<uint32_t>(value));
  }

  Module* module() const;
  uint8_t command() const;
  // The bound module's Link, or null when unbound or the module has none.
  Link* link() const;

 private:
  aErr exchange(uint8_t requestOption, uint8_t replyOption, const uint8_t* subindex, uei* value);

  EntityBinding* binding_;
};

}  // namespace Kelvarion
}  // namespace Mirovane

#endif
