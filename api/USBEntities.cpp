// USB hub entity classes: one UEI exchange per method, and the power data
// object attribute packing.
#include "USBEntities.h"

namespace Mirovane {
namespace Kelvarion {

// ---- USBClass --------------------------------------------------------------

aErr USBClass::setPortEnable(uint8_t port) { return setUEI8(1, port); }
aErr USBClass::setPortDisable(uint8_t port) { return setUEI8(2, port); }
aErr USBClass::setDataEnable(uint8_t port) { return setUEI8(3, port); }
aErr USBClass::setDataDisable(uint8_t port) { return setUEI8(4, port); }
aErr USBClass::setPowerEnable(uint8_t port) { return setUEI8(5, port); }
aErr USBClass::setPowerDisable(uint8_t port) { return setUEI8(6, port); }
aErr USBClass::getPortCurrent(uint8_t subindex, int32_t* value) { return getUEIi32(7, subindex, value); }
aErr USBClass::getPortVoltage(uint8_t subindex, int32_t* value) { return getUEIi32(8, subindex, value); }
aErr USBClass::getHubMode(uint32_t* value) { return getUEI32(9, value); }
aErr USBClass::setHubMode(uint32_t value) { return setUEI32(9, value); }
aErr USBClass::clearPortErrorStatus(uint8_t port) { return setUEI8(12, port); }
aErr USBClass::getUpstreamMode(uint8_t* value) { return getUEI8(14, value); }
aErr USBClass::setUpstreamMode(uint8_t value) { return setUEI8(14, value); }
aErr USBClass::getUpstreamState(uint8_t* value) { return getUEI8(15, value); }
aErr USBClass::getEnumerationDelay(uint32_t* value) { return getUEI32(16, value); }
aErr USBClass::setEnumerationDelay(uint32_t value) { return setUEI32(16, value); }
aErr USBClass::getPortCurrentLimit(uint8_t subindex, uint32_t* value) { return getUEI32(17, subindex, value); }
aErr USBClass::setPortCurrentLimit(uint8_t subindex, uint32_t value) { return setUEI32(17, subindex, value); }
aErr USBClass::getUpstreamBoostMode(uint8_t* value) { return getUEI8(18, value); }
aErr USBClass::setUpstreamBoostMode(uint8_t value) { return setUEI8(18, value); }
aErr USBClass::getDownstreamBoostMode(uint8_t* value) { return getUEI8(19, value); }
aErr USBClass::setDownstreamBoostMode(uint8_t value) { return setUEI8(19, value); }
aErr USBClass::getPortMode(uint8_t subindex, uint32_t* value) { return getUEI32(20, subindex, value); }
aErr USBClass::setPortMode(uint8_t subindex, uint32_t value) { return setUEI32(20, subindex, value); }
aErr USBClass::setHiSpeedDataEnable(uint8_t port) { return setUEI8(21, port); }
aErr USBClass::setHiSpeedDataDisable(uint8_t port) { return setUEI8(22, port); }
aErr USBClass::setSuperSpeedDataEnable(uint8_t port) { return setUEI8(23, port); }
aErr USBClass::setSuperSpeedDataDisable(uint8_t port) { return setUEI8(24, port); }
aErr USBClass::getDownstreamDataSpeed(uint8_t subindex, uint8_t* value) { return getUEI8(25, subindex, value); }
aErr USBClass::getConnectMode(uint8_t subindex, uint8_t* value) { return getUEI8(26, subindex, value); }
aErr USBClass::setConnectMode(uint8_t subindex, uint8_t value) { return setUEI8(26, subindex, value); }
aErr USBClass::getCC1Enable(uint8_t subindex, uint8_t* value) { return getUEI8(27, subindex, value); }
aErr USBClass::setCC1Enable(uint8_t subindex, uint8_t value) { return setUEI8(27, subindex, value); }
aErr USBClass::getCC2Enable(uint8_t subindex, uint8_t* value) { return getUEI8(28, subindex, value); }
aErr USBClass::setCC2Enable(uint8_t subindex, uint8_t value) { return setUEI8(28, subindex, value); }
aErr USBClass::getSBUEnable(uint8_t subindex, uint8_t* value) { return getUEI8(29, subindex, value); }
aErr USBClass::setSBUEnable(uint8_t subindex, uint8_t value) { return setUEI8(29, subindex, value); }
aErr USBClass::getCC1Current(uint8_t subindex, int32_t* value) { return getUEIi32(30, subindex, value); }
aErr USBClass::getCC2Current(uint8_t subindex, int32_t* value) { return getUEIi32(31, subindex, value); }
aErr USBClass::getCC1Voltage(uint8_t subindex, int32_t* value) { return getUEIi32(32, subindex, value); }
aErr USBClass::getCC2Voltage(uint8_t subindex, int32_t* value) { return getUEIi32(33, subindex, value); }
aErr USBClass::getPortState(uint8_t subindex, uint32_t* value) { return getUEI32(34, subindex, value); }
aErr USBClass::getPortError(uint8_t subindex, uint32_t* value) { return getUEI32(35, subindex, value); }
aErr USBClass::getCableFlip(uint8_t subindex, uint8_t* value) { return getUEI8(36, subindex, value); }
aErr USBClass::setCableFlip(uint8_t subindex, uint8_t value) { return setUEI8(36, subindex, value); }
aErr USBClass::getAltModeConfig(uint8_t subindex, uint32_t* value) { return getUEI32(37, subindex, value); }
aErr USBClass::setAltModeConfig(uint8_t subindex, uint32_t value) { return setUEI32(37, subindex, value); }
aErr USBClass::getSBU1Voltage(uint8_t subindex, int32_t* value) { return getUEIi32(38, subindex, value); }
aErr USBClass::getSBU2Voltage(uint8_t subindex, int32_t* value) { return getUEIi32(39, subindex, value); }

// ---- PortClass -------------------------------------------------------------

aErr PortClass::getVbusVoltage(int32_t* value) { return getUEIi32(1, value); }
aErr PortClass::getVbusCurrent(int32_t* value) { return getUEIi32(2, value); }
aErr PortClass::getVconnVoltage(int32_t* value) { return getUEIi32(3, value); }
aErr PortClass::getVconnCurrent(int32_t* value) { return getUEIi32(4, value); }
aErr PortClass::getEnabled(uint8_t* value) { return getUEI8(5, value); }
aErr PortClass::setEnabled(uint8_t value) { return setUEI8(5, value); }
aErr PortClass::getPowerEnabled(uint8_t* value) { return getUEI8(6, value); }
aErr PortClass::setPowerEnabled(uint8_t value) { return setUEI8(6, value); }
aErr PortClass::getDataEnabled(uint8_t* value) { return getUEI8(7, value); }
aErr PortClass::setDataEnabled(uint8_t value) { return setUEI8(7, value); }
aErr PortClass::getDataHSEnabled(uint8_t* value) { return getUEI8(8, value); }
aErr PortClass::setDataHSEnabled(uint8_t value) { return setUEI8(8, value); }
aErr PortClass::getDataHS1Enabled(uint8_t* value) { return getUEI8(9, value); }
aErr PortClass::setDataHS1Enabled(uint8_t value) { return setUEI8(9, value); }
aErr PortClass::getDataHS2Enabled(uint8_t* value) { return getUEI8(10, value); }
aErr PortClass::setDataHS2Enabled(uint8_t value) { return setUEI8(10, value); }
aErr PortClass::getDataSSEnabled(uint8_t* value) { return getUEI8(11, value); }
aErr PortClass::setDataSSEnabled(uint8_t value) { return setUEI8(11, value); }
aErr PortClass::getDataSS1Enabled(uint8_t* value) { return getUEI8(12, value); }
aErr PortClass::setDataSS1Enabled(uint8_t value) { return setUEI8(12, value); }
aErr PortClass::getDataSS2Enabled(uint8_t* value) { return getUEI8(13, value); }
aErr PortClass::setDataSS2Enabled(uint8_t value) { return setUEI8(13, value); }
aErr PortClass::getCCEnabled(uint8_t* value) { return getUEI8(14, value); }
aErr PortClass::setCCEnabled(uint8_t value) { return setUEI8(14, value); }
aErr PortClass::getCC1Enabled(uint8_t* value) { return getUEI8(15, value); }
aErr PortClass::setCC1Enabled(uint8_t value) { return setUEI8(15, value); }
aErr PortClass::getCC2Enabled(uint8_t* value) { return getUEI8(16, value); }
aErr PortClass::setCC2Enabled(uint8_t value) { return setUEI8(16, value); }
aErr PortClass::getVconnEnabled(uint8_t* value) { return getUEI8(17, value); }
aErr PortClass::setVconnEnabled(uint8_t value) { return setUEI8(17, value); }
aErr PortClass::getVconn1Enabled(uint8_t* value) { return getUEI8(18, value); }
aErr PortClass::setVconn1Enabled(uint8_t value) { return setUEI8(18, value); }
aErr PortClass::getVconn2Enabled(uint8_t* value) { return getUEI8(19, value); }
aErr PortClass::setVconn2Enabled(uint8_t value) { return setUEI8(19, value); }
aErr PortClass::getState(uint32_t* value) { return getUEI32(20, value); }
aErr PortClass::getErrors(uint32_t* value) { return getUEI32(21, value); }
aErr PortClass::getCurrentLimit(uint32_t* value) { return getUEI32(22, value); }
aErr PortClass::setCurrentLimit(uint32_t value) { return setUEI32(22, value); }
aErr PortClass::getCurrentLimitMode(uint8_t* value) { return getUEI8(23, value); }
aErr PortClass::setCurrentLimitMode(uint8_t value) { return setUEI8(23, value); }
aErr PortClass::getPowerLimit(uint32_t* value) { return getUEI32(24, value); }
aErr PortClass::setPowerLimit(uint32_t value) { return setUEI32(24, value); }
aErr PortClass::getPowerLimitMode(uint8_t* value) { return getUEI8(25, value); }
aErr PortClass::setPowerLimitMode(uint8_t value) { return setUEI8(25, value); }
aErr PortClass::getAvailablePower(uint32_t* value) { return getUEI32(26, value); }
aErr PortClass::getPowerMode(uint8_t* value) { return getUEI8(30, value); }
aErr PortClass::setPowerMode(uint8_t value) { return setUEI8(30, value); }
aErr PortClass::getDataRole(uint8_t* value) { return getUEI8(31, value); }
aErr PortClass::getDataSpeed(uint8_t* value) { return getUEI8(32, value); }
aErr PortClass::getMode(uint32_t* value) { return getUEI32(33, value); }
aErr PortClass::setMode(uint32_t value) { return setUEI32(33, value); }
aErr PortClass::getVoltageSetpoint(uint32_t* value) { return getUEI32(34, value); }
aErr PortClass::setVoltageSetpoint(uint32_t value) { return setUEI32(34, value); }
aErr PortClass::getAllocatedPower(int32_t* value) { return getUEIi32(35, value); }
aErr PortClass::getDataHSRoutingBehavior(uint8_t* value) { return getUEI8(36, value); }
aErr PortClass::setDataHSRoutingBehavior(uint8_t value) { return setUEI8(36, value); }
aErr PortClass::getDataSSRoutingBehavior(uint8_t* value) { return getUEI8(37, value); }
aErr PortClass::setDataSSRoutingBehavior(uint8_t value) { return setUEI8(37, value); }
aErr PortClass::getVbusAccumulatedPower(int32_t* value) { return getUEIi32(38, value); }
aErr PortClass::resetVbusAccumulatedPower() { return callUEI(39); }
aErr PortClass::getVconnAccumulatedPower(int32_t* value) { return getUEIi32(40, value); }
aErr PortClass::resetVconnAccumulatedPower() { return callUEI(41); }
aErr PortClass::getHSBoost(uint8_t* value) { return getUEI8(42, value); }
aErr PortClass::setHSBoost(uint8_t value) { return setUEI8(42, value); }
aErr PortClass::resetEntityToFactoryDefaults() { return callUEI(44); }
aErr PortClass::getName(uint8_t* buffer, uint32_t bufferLength, uint32_t* count) {
  return getByteList(27, buffer, bufferLength, count);
}
aErr PortClass::setName(const uint8_t*, uint32_t) { return aErrUnimplemented; }

// ---- USBSystemClass --------------------------------------------------------

aErr USBSystemClass::getUpstream(uint8_t* value) { return getUEI8(2, value); }
aErr USBSystemClass::setUpstream(uint8_t value) { return setUEI8(2, value); }
aErr USBSystemClass::getEnumerationDelay(uint32_t* value) { return getUEI32(3, value); }
aErr USBSystemClass::setEnumerationDelay(uint32_t value) { return setUEI32(3, value); }
aErr USBSystemClass::getDataRoleList(uint32_t* value) { return getUEI32(4, value); }
aErr USBSystemClass::getEnabledList(uint32_t* value) { return getUEI32(5, value); }
aErr USBSystemClass::setEnabledList(uint32_t value) { return setUEI32(5, value); }
aErr USBSystemClass::getModeList(uint32_t* buffer, uint32_t bufferLength, uint32_t* count) {
  return getUEIBytes32(6, buffer, bufferLength, count);
}
aErr USBSystemClass::getStateList(uint32_t* buffer, uint32_t bufferLength, uint32_t* count) {
  return getUEIBytes32(7, buffer, bufferLength, count);
}
aErr USBSystemClass::getPowerBehavior(uint8_t* value) { return getUEI8(8, value); }
aErr USBSystemClass::setPowerBehavior(uint8_t value) { return setUEI8(8, value); }
aErr USBSystemClass::getPowerBehaviorConfig(uint32_t* buffer, uint32_t bufferLength, uint32_t* count) {
  return getUEIBytes32(9, buffer, bufferLength, count);
}
aErr USBSystemClass::getDataRoleBehavior(uint8_t* value) { return getUEI8(10, value); }
aErr USBSystemClass::setDataRoleBehavior(uint8_t value) { return setUEI8(10, value); }
aErr USBSystemClass::getDataRoleBehaviorConfig(uint32_t* buffer, uint32_t bufferLength, uint32_t* count) {
  return getUEIBytes32(11, buffer, bufferLength, count);
}
aErr USBSystemClass::resetEntityToFactoryDefaults() { return callUEI(13); }
aErr USBSystemClass::setModeList(const uint32_t*, uint32_t) { return aErrUnimplemented; }
aErr USBSystemClass::setPowerBehaviorConfig(const uint32_t*, uint32_t) { return aErrUnimplemented; }
aErr USBSystemClass::setDataRoleBehaviorConfig(const uint32_t*, uint32_t) { return aErrUnimplemented; }

// ---- PowerDeliveryClass ----------------------------------------------------

aErr PowerDeliveryClass::getPowerDataObjectList(uint32_t* buffer, uint32_t bufferLength, uint32_t* count) {
  return getUEIBytes32(2, buffer, bufferLength, count);
}
aErr PowerDeliveryClass::getPowerDataObjectEnabledList(uint8_t subindex, uint8_t* value) { return getUEI8(4, subindex, value); }
aErr PowerDeliveryClass::getRequestDataObject(uint8_t subindex, uint32_t* value) { return getUEI32(6, subindex, value); }
aErr PowerDeliveryClass::setRequestDataObject(uint8_t subindex, uint32_t value) { return setUEI32(6, subindex, value); }
aErr PowerDeliveryClass::getConnectionState(uint8_t* value) { return getUEI8(7, value); }
aErr PowerDeliveryClass::getCableVoltageMax(uint8_t* value) { return getUEI8(16, value); }
aErr PowerDeliveryClass::getCableCurrentMax(uint8_t* value) { return getUEI8(17, value); }
aErr PowerDeliveryClass::getCableSpeedMax(uint8_t* value) { return getUEI8(18, value); }
aErr PowerDeliveryClass::getCableType(uint8_t* value) { return getUEI8(19, value); }
aErr PowerDeliveryClass::getCableOrientation(uint8_t* value) { return getUEI8(20, value); }
aErr PowerDeliveryClass::getPowerRole(uint8_t* value) { return getUEI8(22, value); }
aErr PowerDeliveryClass::setPowerRole(uint8_t value) { return setUEI8(22, value); }
aErr PowerDeliveryClass::getPowerRolePreferred(uint8_t* value) { return getUEI8(23, value); }
aErr PowerDeliveryClass::setPowerRolePreferred(uint8_t value) { return setUEI8(23, value); }
aErr PowerDeliveryClass::getPeakCurrentConfiguration(uint8_t* value) { return getUEI8(24, value); }
aErr PowerDeliveryClass::setPeakCurrentConfiguration(uint8_t value) { return setUEI8(24, value); }
aErr PowerDeliveryClass::getFastRoleSwapCurrent(uint8_t* value) { return getUEI8(25, value); }
aErr PowerDeliveryClass::setFastRoleSwapCurrent(uint8_t value) { return setUEI8(25, value); }
aErr PowerDeliveryClass::getOverride(uint32_t* value) { return getUEI32(41, value); }
aErr PowerDeliveryClass::setOverride(uint32_t value) { return setUEI32(41, value); }
aErr PowerDeliveryClass::request(uint8_t value) { return setUEI8(42, value); }
aErr PowerDeliveryClass::requestStatus(uint32_t value) { return setUEI32(43, value); }
aErr PowerDeliveryClass::getFlagMode(uint8_t subindex, uint8_t* value) { return getUEI8(44, subindex, value); }
aErr PowerDeliveryClass::setFlagMode(uint8_t subindex, uint8_t value) { return setUEI8(44, subindex, value); }
aErr PowerDeliveryClass::resetEntityToFactoryDefaults() { return callUEI(54); }
aErr PowerDeliveryClass::packDataObjectAttributes(uint8_t* attributes, uint8_t partner,
                                                  uint8_t powerRole, uint8_t ruleIndex) {
  if (!attributes || partner > 1 || ruleIndex > 63 || (powerRole != 1 && powerRole != 2))
    return aErrParam;
  *attributes = static_cast<uint8_t>((powerRole == 2 ? 0x80 : 0) | partner << 6 | ruleIndex);
  return aErrNone;
}

aErr PowerDeliveryClass::unpackDataObjectAttributes(uint8_t attributes, uint8_t* partner,
                                                    uint8_t* powerRole, uint8_t* ruleIndex) {
  if (!partner || !powerRole || !ruleIndex) return aErrParam;
  *partner = (attributes >> 6) & 1;
  *powerRole = (attributes & 0x80) ? 2 : 1;
  *ruleIndex = attributes & 0x3F;
  return aErrNone;
}

aErr PowerDeliveryClass::getPowerDataObject(uint8_t partner, uint8_t powerRole, uint8_t ruleIndex,
                                            uint32_t* pdo) {
  uint8_t attributes;
  aErr err = packDataObjectAttributes(&attributes, partner, powerRole, ruleIndex);
  return err != aErrNone ? err : getUEI32(1, attributes, pdo);
}

aErr PowerDeliveryClass::setPowerDataObject(uint8_t powerRole, uint8_t ruleIndex, uint32_t pdo) {
  uint8_t attributes;
  aErr err = packDataObjectAttributes(&attributes, 0, powerRole, ruleIndex);
  return err != aErrNone ? err : setUEI32(1, attributes, pdo);
}

aErr PowerDeliveryClass::getPowerDataObjectEnabled(uint8_t partner, uint8_t powerRole,
                                                   uint8_t ruleIndex, uint8_t* enabled) {
  uint8_t attributes;
  aErr err = packDataObjectAttributes(&attributes, partner, powerRole, ruleIndex);
  return err != aErrNone ? err : getUEI8(3, attributes, enabled);
}

aErr PowerDeliveryClass::setPowerDataObjectEnabled(uint8_t powerRole, uint8_t ruleIndex,
                                                   uint8_t enabled) {
  uint8_t attributes;
  aErr err = packDataObjectAttributes(&attributes, 0, powerRole, ruleIndex);
  return err != aErrNone ? err : setUEI8(3, attributes, enabled);
}

aErr PowerDeliveryClass::getNumberOfPowerDataObjects(uint8_t partner, uint8_t powerRole,
                                                     uint8_t* count) {
  uint8_t attributes;
  aErr err = packDataObjectAttributes(&attributes, partner, powerRole, 0);
  return err != aErrNone ? err : getUEI8(5, attributes, count);
}

aErr PowerDeliveryClass::resetPowerDataObjectToDefault(uint8_t powerRole, uint8_t ruleIndex) {
  uint8_t attributes;
  aErr err = packDataObjectAttributes(&attributes, 0, powerRole, ruleIndex);
  return err != aErrNone ? err : setUEI8(15, attributes);
}

}  // namespace Kelvarion
}  // namespace Mirovane
