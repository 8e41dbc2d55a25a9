// System-level entity classes: one UEI exchange per method.
#include "SystemEntities.h"

#include "protocol/ModuleCodes.h"

namespace Mirovane {
namespace Kelvarion {

// ---- SystemClass -----------------------------------------------------------

aErr SystemClass::getModule(uint8_t* value) { return getUEI8(SYSTEM_MODULE, value); }
aErr SystemClass::getRouter(uint8_t* value) { return getUEI8(SYSTEM_ROUTER, value); }
aErr SystemClass::setRouter(uint8_t value) { return setUEI8(SYSTEM_ROUTER, value); }
aErr SystemClass::getHBInterval(uint8_t* value) { return getUEI8(SYSTEM_HB_INTERVAL, value); }
aErr SystemClass::setHBInterval(uint8_t value) { return setUEI8(SYSTEM_HB_INTERVAL, value); }
aErr SystemClass::getLED(uint8_t* value) { return getUEI8(SYSTEM_LED, value); }
aErr SystemClass::setLED(uint8_t value) { return setUEI8(SYSTEM_LED, value); }
aErr SystemClass::getBootSlot(uint8_t* value) { return getUEI8(SYSTEM_BOOT_SLOT, value); }
aErr SystemClass::setBootSlot(uint8_t value) { return setUEI8(SYSTEM_BOOT_SLOT, value); }
aErr SystemClass::getVersion(uint32_t* value) { return getUEI32(SYSTEM_VERSION, value); }
aErr SystemClass::getModel(uint8_t* value) { return getUEI8(SYSTEM_MODEL, value); }
aErr SystemClass::getSerialNumber(uint32_t* value) { return getUEI32(SYSTEM_SERIAL_NUMBER, value); }
aErr SystemClass::save() { return callUEI(SYSTEM_SAVE); }
aErr SystemClass::reset() { return callUEI(SYSTEM_RESET); }
aErr SystemClass::getInputVoltage(uint32_t* value) { return getUEI32(SYSTEM_INPUT_VOLTAGE, value); }
aErr SystemClass::getModuleHardwareOffset(uint8_t* value) { return getUEI8(SYSTEM_MODULE_HARDWARE_OFFSET, value); }
aErr SystemClass::getModuleBaseAddress(uint8_t* value) { return getUEI8(SYSTEM_MODULE_BASE_ADDRESS, value); }
aErr SystemClass::getModuleSoftwareOffset(uint8_t* value) { return getUEI8(SYSTEM_MODULE_SOFTWARE_OFFSET, value); }
aErr SystemClass::setModuleSoftwareOffset(uint8_t value) { return setUEI8(SYSTEM_MODULE_SOFTWARE_OFFSET, value); }
aErr SystemClass::getRouterAddressSetting(uint8_t* value) { return getUEI8(SYSTEM_ROUTER_ADDRESS_SETTING, value); }
aErr SystemClass::routeToMe(uint8_t value) { return setUEI8(SYSTEM_ROUTE_TO_ME, value); }
aErr SystemClass::getInputCurrent(uint32_t* value) { return getUEI32(SYSTEM_INPUT_CURRENT, value); }
aErr SystemClass::getUptime(uint32_t* value) { return getUEI32(SYSTEM_UPTIME, value); }
aErr SystemClass::getMaximumTemperature(int32_t* value) { return getUEIi32(SYSTEM_MAXIMUM_TEMPERATURE, value); }
aErr SystemClass::logEvents() { return callUEI(SYSTEM_LOG_EVENTS); }
aErr SystemClass::getUnregulatedVoltage(int32_t* value) { return getUEIi32(SYSTEM_UNREGULATED_VOLTAGE, value); }
aErr SystemClass::getUnregulatedCurrent(int32_t* value) { return getUEIi32(SYSTEM_UNREGULATED_CURRENT, value); }
aErr SystemClass::getTemperature(int32_t* value) { return getUEIi32(SYSTEM_TEMPERATURE, value); }
aErr SystemClass::getMinimumTemperature(int32_t* value) { return getUEIi32(SYSTEM_MINIMUM_TEMPERATURE, value); }
aErr SystemClass::getInputPowerSource(uint8_t* value) { return getUEI8(SYSTEM_INPUT_POWER_SOURCE, value); }
aErr SystemClass::getPowerLimit(uint32_t* value) { return getUEI32(SYSTEM_POWER_LIMIT, value); }
aErr SystemClass::getPowerLimitMax(uint32_t* value) { return getUEI32(SYSTEM_POWER_LIMIT_MAX, value); }
aErr SystemClass::setPowerLimitMax(uint32_t value) { return setUEI32(SYSTEM_POWER_LIMIT_MAX, value); }
aErr SystemClass::getPowerLimitState(uint32_t* value) { return getUEI32(SYSTEM_POWER_LIMIT_STATE, value); }
aErr SystemClass::resetEntityToFactoryDefaults() { return callUEI(SYSTEM_RESET_ENTITY_TO_FACTORY_DEFAULTS); }
aErr SystemClass::resetDeviceToFactoryDefaults() { return callUEI(SYSTEM_RESET_DEVICE_TO_FACTORY_DEFAULTS); }
aErr SystemClass::getLinkInterface(uint8_t* value) { return getUEI8(SYSTEM_LINK_INTERFACE, value); }
aErr SystemClass::setLinkInterface(uint8_t value) { return setUEI8(SYSTEM_LINK_INTERFACE, value); }
aErr SystemClass::getHardwareVersion(uint32_t* value) { return getUEI32(SYSTEM_HARDWARE_VERSION, value); }
aErr SystemClass::getErrors(uint32_t* value) { return getUEI32(SYSTEM_ERRORS, value); }
aErr SystemClass::getInputPowerBehaviorConfig(uint8_t* buffer, uint32_t bufferLength,
                                              uint32_t* count) {
  return getByteList(SYSTEM_INPUT_POWER_BEHAVIOR_CONFIG, buffer, bufferLength, count);
}
aErr SystemClass::getName(uint8_t* buffer, uint32_t bufferLength, uint32_t* count) {
  return getByteList(SYSTEM_NAME, buffer, bufferLength, count);
}
aErr SystemClass::setName(const uint8_t*, uint32_t) { return aErrUnimplemented; }
aErr SystemClass::setInputPowerBehaviorConfig(const uint8_t*, uint32_t) { return aErrUnimplemented; }

// ---- StoreClass ------------------------------------------------------------

aErr StoreClass::slotEnable(uint8_t slot) { return setUEI8(1, slot); }
aErr StoreClass::slotDisable(uint8_t slot) { return setUEI8(2, slot); }
aErr StoreClass::getSlotState(uint8_t subindex, uint8_t* value) { return getUEI8(3, subindex, value); }
aErr StoreClass::getSlotLocked(uint8_t subindex, uint8_t* value) { return getUEI8(7, subindex, value); }
aErr StoreClass::setSlotLocked(uint8_t subindex, uint8_t value) { return setUEI8(7, subindex, value); }
aErr StoreClass::loadSlot(uint8_t slot, const uint8_t* data, uint16_t length) {
  Link* l = link();
  if (!l) return aErrResource;
  return l->loadStoreSlot(module()->getModuleAddress(), getIndex(), slot, data, length);
}

aErr StoreClass::unloadSlot(uint8_t slot, uint32_t bufferLength, uint8_t* buffer, uint32_t* count) {
  Link* l = link();
  if (!l) return aErrResource;
  return l->unloadStoreSlot(module()->getModuleAddress(), getIndex(), slot, buffer, bufferLength,
                            count);
}

aErr StoreClass::getSlotCapacity(uint8_t slot, uint32_t* capacity) {
  Link* l = link();
  if (!l) return aErrResource;
  return l->storeSlotCapacity(module()->getModuleAddress(), getIndex(), slot, capacity);
}

aErr StoreClass::getSlotSize(uint8_t slot, uint32_t* size) {
  Link* l = link();
  if (!l) return aErrResource;
  return l->storeSlotSize(module()->getModuleAddress(), getIndex(), slot, size);
}

// ---- AppClass --------------------------------------------------------------

aErr AppClass::execute(uint32_t param) { return setUEI32(1, param); }

aErr AppClass::execute(uint32_t param, uint32_t* returnValue, uint32_t timeoutMs) {
  if (!returnValue) return aErrParam;
  Link* l = link();
  if (!l) return aErrResource;
  // An answer left over from an earlier call must not pass for this one's.
  l->dropMatchingUEIPackets(module()->getModuleAddress(), COMMAND, 2, getIndex());
  aErr err = setUEI32(1, param);
  if (err != aErrNone) return err;
  return awaitUEI32Val(2, returnValue, timeoutMs);
}

// ---- TimerClass ------------------------------------------------------------

aErr TimerClass::getExpiration(uint32_t* value) { return getUEI32(1, value); }
aErr TimerClass::setExpiration(uint32_t value) { return setUEI32(1, value); }
aErr TimerClass::getMode(uint8_t* value) { return getUEI8(2, value); }
aErr TimerClass::setMode(uint8_t value) { return setUEI8(2, value); }

// ---- ClockClass ------------------------------------------------------------

aErr ClockClass::getYear(uint16_t* value) { return getUEI16(1, value); }
aErr ClockClass::setYear(uint16_t value) { return setUEI16(1, value); }
aErr ClockClass::getMonth(uint8_t* value) { return getUEI8(2, value); }
aErr ClockClass::setMonth(uint8_t value) { return setUEI8(2, value); }
aErr ClockClass::getDay(uint8_t* value) { return getUEI8(3, value); }
aErr ClockClass::setDay(uint8_t value) { return setUEI8(3, value); }
aErr ClockClass::getHour(uint8_t* value) { return getUEI8(4, value); }
aErr ClockClass::setHour(uint8_t value) { return setUEI8(4, value); }
aErr ClockClass::getMinute(uint8_t* value) { return getUEI8(5, value); }
aErr ClockClass::setMinute(uint8_t value) { return setUEI8(5, value); }
aErr ClockClass::getSecond(uint8_t* value) { return getUEI8(6, value); }
aErr ClockClass::setSecond(uint8_t value) { return setUEI8(6, value); }

// ---- PointerClass ----------------------------------------------------------

aErr PointerClass::getOffset(uint16_t* value) { return getUEI16(1, value); }
aErr PointerClass::setOffset(uint16_t value) { return setUEI16(1, value); }
aErr PointerClass::getMode(uint8_t* value) { return getUEI8(2, value); }
aErr PointerClass::setMode(uint8_t value) { return setUEI8(2, value); }
aErr PointerClass::getTransferStore(uint8_t* value) { return getUEI8(3, value); }
aErr PointerClass::setTransferStore(uint8_t value) { return setUEI8(3, value); }
aErr PointerClass::getChar(uint8_t* value) { return getUEI8(4, value); }
aErr PointerClass::setChar(uint8_t value) { return setUEI8(4, value); }
aErr PointerClass::getShort(uint16_t* value) { return getUEI16(5, value); }
aErr PointerClass::setShort(uint16_t value) { return setUEI16(5, value); }
aErr PointerClass::getInt(uint32_t* value) { return getUEI32(6, value); }
aErr PointerClass::setInt(uint32_t value) { return setUEI32(6, value); }
aErr PointerClass::initiateTransferToStore(uint8_t value) { return setUEI8(7, value); }
aErr PointerClass::initiateTransferFromStore(uint8_t value) { return setUEI8(8, value); }

}  // namespace Kelvarion
}  // namespace Mirovane
