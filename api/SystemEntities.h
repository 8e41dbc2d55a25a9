#ifndef KELVARION_API_SYSTEMENTITIES_H
#define KELVARION_API_SYSTEMENTITIES_H
// System-level entities: the module itself (SystemClass), its stores, its
// application slots, timers, clock and memory pointers.
//
// Every method is one UEI exchange with the bound entity: getters store the
// reply value (also a stale streamed one, with aErrStreamStale) and give
// aErrParam for a null output; setters and commands send a set.
#include "EntityClass.h"

namespace Mirovane {
namespace Kelvarion {

// Command 3.
class KLV_EXPORT SystemClass : public EntityClass {
 public:
  static const uint8_t COMMAND = 3;
  void init(Module* module, uint8_t index) { EntityClass::init(module, COMMAND, index); }

  aErr getModule(uint8_t* value);
  aErr getRouter(uint8_t* value);
  aErr setRouter(uint8_t value);
  aErr getHBInterval(uint8_t* value);
  aErr setHBInterval(uint8_t value);
  aErr getLED(uint8_t* value);
  aErr setLED(uint8_t value);
  aErr getBootSlot(uint8_t* value);
  aErr setBootSlot(uint8_t value);
  aErr getVersion(uint32_t* value);
  aErr getModel(uint8_t* value);
  aErr getSerialNumber(uint32_t* value);
  aErr save();
  aErr reset();
  aErr getInputVoltage(uint32_t* value);
  aErr getModuleHardwareOffset(uint8_t* value);
  aErr getModuleBaseAddress(uint8_t* value);
  aErr getModuleSoftwareOffset(uint8_t* value);
  aErr setModuleSoftwareOffset(uint8_t value);
  aErr getRouterAddressSetting(uint8_t* value);
  aErr routeToMe(uint8_t value);
  aErr getInputCurrent(uint32_t* value);
  aErr getUptime(uint32_t* value);
  aErr getMaximumTemperature(int32_t* value);
  aErr logEvents();
  aErr getUnregulatedVoltage(int32_t* value);
  aErr getUnregulatedCurrent(int32_t* value);
  aErr getTemperature(int32_t* value);
  aErr getMinimumTemperature(int32_t* value);
  aErr getInputPowerSource(uint8_t* value);
  aErr getPowerLimit(uint32_t* value);
  aErr getPowerLimitMax(uint32_t* value);
  aErr setPowerLimitMax(uint32_t value);
  aErr getPowerLimitState(uint32_t* value);
  aErr resetEntityToFactoryDefaults();
  aErr resetDeviceToFactoryDefaults();
  aErr getLinkInterface(uint8_t* value);
  aErr setLinkInterface(uint8_t value);
  aErr getHardwareVersion(uint32_t* value);
  aErr getErrors(uint32_t* value);
  // Option 31 read as a byte list.
  aErr getInputPowerBehaviorConfig(uint8_t* buffer, uint32_t bufferLength, uint32_t* count);
  aErr getName(uint8_t* buffer, uint32_t bufferLength, uint32_t* count);
  // Not supported: aErrUnimplemented without any exchange.
  aErr setName(const uint8_t* buffer, uint32_t length);
  aErr setInputPowerBehaviorConfig(const uint8_t* buffer, uint32_t length);
};

// Command 77.
class KLV_EXPORT StoreClass : public EntityClass {
 public:
  static const uint8_t COMMAND = 77;
  void init(Module* module, uint8_t index) { EntityClass::init(module, COMMAND, index); }

  aErr slotEnable(uint8_t slot);
  aErr slotDisable(uint8_t slot);
  aErr getSlotState(uint8_t subindex, uint8_t* value);
  aErr getSlotLocked(uint8_t subindex, uint8_t* value);
  aErr setSlotLocked(uint8_t subindex, uint8_t value);
  // Store-slot transfers with the entity index as the store.
  aErr loadSlot(uint8_t slot, const uint8_t* data, uint16_t length);
  aErr unloadSlot(uint8_t slot, uint32_t bufferLength, uint8_t* buffer, uint32_t* count);
  aErr getSlotCapacity(uint8_t slot, uint32_t* capacity);
  aErr getSlotSize(uint8_t slot, uint32_t* size);
};

// Command 5.
class KLV_EXPORT AppClass : public EntityClass {
 public:
  static const uint8_t COMMAND = 5;
  void init(Module* module, uint8_t index) { EntityClass::init(module, COMMAND, index); }

  // Runs the application routine with param.
  aErr execute(uint32_t param);
  // Runs it and waits for its 32-bit answer (option 2).
  aErr execute(uint32_t param, uint32_t* returnValue, uint32_t timeoutMs);
};

// Command 79.
class KLV_EXPORT TimerClass : public EntityClass {
 public:
  static const uint8_t COMMAND = 79;
  void init(Module* module, uint8_t index) { EntityClass::init(module, COMMAND, index); }

  aErr getExpiration(uint32_t* value);
  aErr setExpiration(uint32_t value);
  aErr getMode(uint8_t* value);
  aErr setMode(uint8_t value);
};

// Command 83.
class KLV_EXPORT ClockClass : public EntityClass {
 public:
  static const uint8_t COMMAND = 83;
  void init(Module* module, uint8_t index) { EntityClass::init(module, COMMAND, index); }

  aErr getYear(uint16_t* value);
  aErr setYear(uint16_t value);
  aErr getMonth(uint8_t* value);
  aErr setMonth(uint8_t value);
  aErr getDay(uint8_t* value);
  aErr setDay(uint8_t value);
  aErr getHour(uint8_t* value);
  aErr setHour(uint8_t value);
  aErr getMinute(uint8_t* value);
  aErr setMinute(uint8_t value);
  aErr getSecond(uint8_t* value);
  aErr setSecond(uint8_t value);
};

// Command 7.
class KLV_EXPORT PointerClass : public EntityClass {
 public:
  static const uint8_t COMMAND = 7;
  void init(Module* module, uint8_t index) { EntityClass::init(module, COMMAND, index); }

  aErr getOffset(uint16_t* value);
  aErr setOffset(uint16_t value);
  aErr getMode(uint8_t* value);
  aErr setMode(uint8_t value);
  aErr getTransferStore(uint8_t* value);
  aErr setTransferStore(uint8_t value);
  aErr getChar(uint8_t* value);
  aErr setChar(uint8_t value);
  aErr getShort(uint16_t* value);
  aErr setShort(uint16_t value);
  aErr getInt(uint32_t* value);
  aErr setInt(uint32_t value);
  aErr initiateTransferToStore(uint8_t value);
  aErr initiateTransferFromStore(uint8_t value);
};

}  // namespace Kelvarion
}  // namespace Mirovane

#endif
