#ifndef KELVARION_API_USBENTITIES_H
#define KELVARION_API_USBENTITIES_H
// USB hub entities: the hub's ports (USBClass, PortClass), the hub as a
// whole (USBSystemClass) and USB power delivery (PowerDeliveryClass).
//
// Every method is one UEI exchange with the bound entity: getters store the
// reply value (also a stale streamed one, with aErrStreamStale) and give
// aErrParam for a null output; setters and commands send a set.
#include "EntityClass.h"

namespace Mirovane {
namespace Kelvarion {

// Command 18.
class KLV_EXPORT USBClass : public EntityClass {
 public:
  static const uint8_t COMMAND = 18;
  void init(Module* module, uint8_t index) { EntityClass::init(module, COMMAND, index); }

  aErr setPortEnable(uint8_t port);
  aErr setPortDisable(uint8_t port);
  aErr setDataEnable(uint8_t port);
  aErr setDataDisable(uint8_t port);
  aErr setPowerEnable(uint8_t port);
  aErr setPowerDisable(uint8_t port);
  aErr getPortCurrent(uint8_t subindex, int32_t* value);
  aErr getPortVoltage(uint8_t subindex, int32_t* value);
  aErr getHubMode(uint32_t* value);
  aErr setHubMode(uint32_t value);
  aErr clearPortErrorStatus(uint8_t port);
  aErr getUpstreamMode(uint8_t* value);
  aErr setUpstreamMode(uint8_t value);
  aErr getUpstreamState(uint8_t* value);
  aErr getEnumerationDelay(uint32_t* value);
  aErr setEnumerationDelay(uint32_t value);
  aErr getPortCurrentLimit(uint8_t subindex, uint32_t* value);
  aErr setPortCurrentLimit(uint8_t subindex, uint32_t value);
  aErr getUpstreamBoostMode(uint8_t* value);
  aErr setUpstreamBoostMode(uint8_t value);
  aErr getDownstreamBoostMode(uint8_t* value);
  aErr setDownstreamBoostMode(uint8_t value);
  aErr getPortMode(uint8_t subindex, uint32_t* value);
  aErr setPortMode(uint8_t subindex, uint32_t value);
  aErr setHiSpeedDataEnable(uint8_t port);
  aErr setHiSpeedDataDisable(uint8_t port);
  aErr setSuperSpeedDataEnable(uint8_t port);
  aErr setSuperSpeedDataDisable(uint8_t port);
  aErr getDownstreamDataSpeed(uint8_t subindex, uint8_t* value);
  aErr getConnectMode(uint8_t subindex, uint8_t* value);
  aErr setConnectMode(uint8_t subindex, uint8_t value);
  aErr getCC1Enable(uint8_t subindex, uint8_t* value);
  aErr setCC1Enable(uint8_t subindex, uint8_t value);
  aErr getCC2Enable(uint8_t subindex, uint8_t* value);
  aErr setCC2Enable(uint8_t subindex, uint8_t value);
  aErr getSBUEnable(uint8_t subindex, uint8_t* value);
  aErr setSBUEnable(uint8_t subindex, uint8_t value);
  aErr getCC1Current(uint8_t subindex, int32_t* value);
  aErr getCC2Current(uint8_t subindex, int32_t* value);
  aErr getCC1Voltage(uint8_t subindex, int32_t* value);
  aErr getCC2Voltage(uint8_t subindex, int32_t* value);
  aErr getPortState(uint8_t subindex, uint32_t* value);
  aErr getPortError(uint8_t subindex, uint32_t* value);
  aErr getCableFlip(uint8_t subindex, uint8_t* value);
  aErr setCableFlip(uint8_t subindex, uint8_t value);
  aErr getAltModeConfig(uint8_t subindex, uint32_t* value);
  aErr setAltModeConfig(uint8_t subindex, uint32_t value);
  aErr getSBU1Voltage(uint8_t subindex, int32_t* value);
  aErr getSBU2Voltage(uint8_t subindex, int32_t* value);
};

// Command 37.
class KLV_EXPORT PortClass : public EntityClass {
 public:
  static const uint8_t COMMAND = 37;
  void init(Module* module, uint8_t index) { EntityClass::init(module, COMMAND, index); }

  aErr getVbusVoltage(int32_t* value);
  aErr getVbusCurrent(int32_t* value);
  aErr getVconnVoltage(int32_t* value);
  aErr getVconnCurrent(int32_t* value);
  aErr getEnabled(uint8_t* value);
  aErr setEnabled(uint8_t value);
  aErr getPowerEnabled(uint8_t* value);
  aErr setPowerEnabled(uint8_t value);
  aErr getDataEnabled(uint8_t* value);
  aErr setDataEnabled(uint8_t value);
  aErr getDataHSEnabled(uint8_t* value);
  aErr setDataHSEnabled(uint8_t value);
  aErr getDataHS1Enabled(uint8_t* value);
  aErr setDataHS1Enabled(uint8_t value);
  aErr getDataHS2Enabled(uint8_t* value);
  aErr setDataHS2Enabled(uint8_t value);
  aErr getDataSSEnabled(uint8_t* value);
  aErr setDataSSEnabled(uint8_t value);
  aErr getDataSS1Enabled(uint8_t* value);
  aErr setDataSS1Enabled(uint8_t value);
  aErr getDataSS2Enabled(uint8_t* value);
  aErr setDataSS2Enabled(uint8_t value);
  aErr getCCEnabled(uint8_t* value);
  aErr setCCEnabled(uint8_t value);
  aErr getCC1Enabled(uint8_t* value);
  aErr setCC1Enabled(uint8_t value);
  aErr getCC2Enabled(uint8_t* value);
  aErr setCC2Enabled(uint8_t value);
  aErr getVconnEnabled(uint8_t* value);
  aErr setVconnEnabled(uint8_t value);
  aErr getVconn1Enabled(uint8_t* value);
  aErr setVconn1Enabled(uint8_t value);
  aErr getVconn2Enabled(uint8_t* value);
  aErr setVconn2Enabled(uint8_t value);
  aErr getState(uint32_t* value);
  aErr getErrors(uint32_t* value);
  aErr getCurrentLimit(uint32_t* value);
  aErr setCurrentLimit(uint32_t value);
  aErr getCurrentLimitMode(uint8_t* value);
  aErr setCurrentLimitMode(uint8_t value);
  aErr getPowerLimit(uint32_t* value);
  aErr setPowerLimit(uint32_t value);
  aErr getPowerLimitMode(uint8_t* value);
  aErr setPowerLimitMode(uint8_t value);
  aErr getAvailablePower(uint32_t* value);
  aErr getPowerMode(uint8_t* value);
  aErr setPowerMode(uint8_t value);
  aErr getDataRole(uint8_t* value);
  aErr getDataSpeed(uint8_t* value);
  aErr getMode(uint32_t* value);
  aErr setMode(uint32_t value);
  aErr getVoltageSetpoint(uint32_t* value);
  aErr setVoltageSetpoint(uint32_t value);
  aErr getAllocatedPower(int32_t* value);
  aErr getDataHSRoutingBehavior(uint8_t* value);
  aErr setDataHSRoutingBehavior(uint8_t value);
  aErr getDataSSRoutingBehavior(uint8_t* value);
  aErr setDataSSRoutingBehavior(uint8_t value);
  aErr getVbusAccumulatedPower(int32_t* value);
  aErr resetVbusAccumulatedPower();
  aErr getVconnAccumulatedPower(int32_t* value);
  aErr resetVconnAccumulatedPower();
  aErr getHSBoost(uint8_t* value);
  aErr setHSBoost(uint8_t value);
  aErr resetEntityToFactoryDefaults();
  aErr getName(uint8_t* buffer, uint32_t bufferLength, uint32_t* count);
  // Not supported: aErrUnimplemented without any exchange.
  aErr setName(const uint8_t* buffer, uint32_t length);
};

// Command 38.
class KLV_EXPORT USBSystemClass : public EntityClass {
 public:
  static const uint8_t COMMAND = 38;
  void init(Module* module, uint8_t index) { EntityClass::init(module, COMMAND, index); }

  aErr getUpstream(uint8_t* value);
  aErr setUpstream(uint8_t value);
  aErr getEnumerationDelay(uint32_t* value);
  aErr setEnumerationDelay(uint32_t value);
  aErr getDataRoleList(uint32_t* value);
  aErr getEnabledList(uint32_t* value);
  aErr setEnabledList(uint32_t value);
  aErr getModeList(uint32_t* buffer, uint32_t bufferLength, uint32_t* count);
  aErr getStateList(uint32_t* buffer, uint32_t bufferLength, uint32_t* count);
  aErr getPowerBehavior(uint8_t* value);
  aErr setPowerBehavior(uint8_t value);
  aErr getPowerBehaviorConfig(uint32_t* buffer, uint32_t bufferLength, uint32_t* count);
  aErr getDataRoleBehavior(uint8_t* value);
  aErr setDataRoleBehavior(uint8_t value);
  aErr getDataRoleBehaviorConfig(uint32_t* buffer, uint32_t bufferLength, uint32_t* count);
  aErr resetEntityToFactoryDefaults();
  // Not supported: aErrUnimplemented without any exchange.
  aErr setModeList(const uint32_t* buffer, uint32_t length);
  aErr setPowerBehaviorConfig(const uint32_t* buffer, uint32_t length);
  aErr setDataRoleBehaviorConfig(const uint32_t* buffer, uint32_t length);
};

// Command 36.
class KLV_EXPORT PowerDeliveryClass : public EntityClass {
 public:
  static const uint8_t COMMAND = 36;
  void init(Module* module, uint8_t index) { EntityClass::init(module, COMMAND, index); }

  aErr getPowerDataObjectList(uint32_t* buffer, uint32_t bufferLength, uint32_t* count);
  aErr getPowerDataObjectEnabledList(uint8_t subindex, uint8_t* value);
  aErr getRequestDataObject(uint8_t subindex, uint32_t* value);
  aErr setRequestDataObject(uint8_t subindex, uint32_t value);
  aErr getConnectionState(uint8_t* value);
  aErr getCableVoltageMax(uint8_t* value);
  aErr getCableCurrentMax(uint8_t* value);
  aErr getCableSpeedMax(uint8_t* value);
  aErr getCableType(uint8_t* value);
  aErr getCableOrientation(uint8_t* value);
  aErr getPowerRole(uint8_t* value);
  aErr setPowerRole(uint8_t value);
  aErr getPowerRolePreferred(uint8_t* value);
  aErr setPowerRolePreferred(uint8_t value);
  aErr getPeakCurrentConfiguration(uint8_t* value);
  aErr setPeakCurrentConfiguration(uint8_t value);
  aErr getFastRoleSwapCurrent(uint8_t* value);
  aErr setFastRoleSwapCurrent(uint8_t value);
  aErr getOverride(uint32_t* value);
  aErr setOverride(uint32_t value);
  aErr request(uint8_t value);
  aErr requestStatus(uint32_t value);
  aErr getFlagMode(uint8_t subindex, uint8_t* value);
  aErr setFlagMode(uint8_t subindex, uint8_t value);
  aErr resetEntityToFactoryDefaults();
  // The attribute byte naming a power data object: bit 7 power role (0 for
  // role 1, 1 for role 2), bit 6 partner (0 or 1), bits 0-5 rule index (0-63).
  static aErr packDataObjectAttributes(uint8_t* attributes, uint8_t partner, uint8_t powerRole,
                                       uint8_t ruleIndex);
  static aErr unpackDataObjectAttributes(uint8_t attributes, uint8_t* partner, uint8_t* powerRole,
                                         uint8_t* ruleIndex);
  aErr getPowerDataObject(uint8_t partner, uint8_t powerRole, uint8_t ruleIndex, uint32_t* pdo);
  aErr setPowerDataObject(uint8_t powerRole, uint8_t ruleIndex, uint32_t pdo);
  aErr getPowerDataObjectEnabled(uint8_t partner, uint8_t powerRole, uint8_t ruleIndex, uint8_t* enabled);
  aErr setPowerDataObjectEnabled(uint8_t powerRole, uint8_t ruleIndex, uint8_t enabled);
  aErr getNumberOfPowerDataObjects(uint8_t partner, uint8_t powerRole, uint8_t* count);
  aErr resetPowerDataObjectToDefault(uint8_t powerRole, uint8_t ruleIndex);
};

}  // namespace Kelvarion
}  // namespace Mirovane

#endif
