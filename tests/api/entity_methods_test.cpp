// Every method of every entity class against the simulated module: the
// request's command, option bits, specifier, subindex and value width, and
// the value a getter hands back.
#include <cstring>

#include "SimFixture.h"

using namespace Mirovane::Kelvarion;

namespace {

enum class Kind { Get, GetSub, Set, SetSub, Command, SetValue };

// One method: how to call it with (module, index, subindex, value) and what
// it must send.
struct MethodCase {
  const char* name;
  uint8_t command;
  uint8_t option;
  Kind kind;
  uint8_t width;
  std::function<aErr(kv::Module*, uint8_t, uint8_t, uint32_t, uint32_t*)> call;
};

template <typename T>
uint32_t bits(T v) {
  return static_cast<uint32_t>(v) & (sizeof(T) == 4 ? 0xFFFFFFFFu : (1u << (8 * sizeof(T))) - 1);
}

#define GET(C, M, CMD, OPT, T)                                                                  \
  MethodCase{#C "::" #M, CMD, OPT, Kind::Get, sizeof(T),                                         \
             [](kv::Module* m, uint8_t i, uint8_t, uint32_t, uint32_t* out) {                   \
               C e;                                                                             \
               e.init(m, i);                                                                    \
               T v{};                                                                           \
               aErr err = e.M(&v);                                                              \
               *out = bits(v);                                                                  \
               return err;                                                                      \
             }}
#define GETSUB(C, M, CMD, OPT, T)                                                               \
  MethodCase{#C "::" #M, CMD, OPT, Kind::GetSub, sizeof(T),                                      \
             [](kv::Module* m, uint8_t i, uint8_t s, uint32_t, uint32_t* out) {                 \
               C e;                                                                             \
               e.init(m, i);                                                                    \
               T v{};                                                                           \
               aErr err = e.M(s, &v);                                                           \
               *out = bits(v);                                                                  \
               return err;                                                                      \
             }}
#define SET(C, M, CMD, OPT, T)                                                                  \
  MethodCase{#C "::" #M, CMD, OPT, Kind::Set, sizeof(T),                                         \
             [](kv::Module* m, uint8_t i, uint8_t, uint32_t v, uint32_t*) {                     \
               C e;                                                                             \
               e.init(m, i);                                                                    \
               return e.M(static_cast<T>(v));                                                   \
             }}
#define SETSUB(C, M, CMD, OPT, T)                                                               \
  MethodCase{#C "::" #M, CMD, OPT, Kind::SetSub, sizeof(T),                                      \
             [](kv::Module* m, uint8_t i, uint8_t s, uint32_t v, uint32_t*) {                   \
               C e;                                                                             \
               e.init(m, i);                                                                    \
               return e.M(s, static_cast<T>(v));                                                \
             }}
#define CMD(C, M, CMDCODE, OPT)                                                                 \
  MethodCase{#C "::" #M, CMDCODE, OPT, Kind::Command, 0,                                         \
             [](kv::Module* m, uint8_t i, uint8_t, uint32_t, uint32_t*) {                       \
               C e;                                                                             \
               e.init(m, i);                                                                    \
               return e.M();                                                                    \
             }}
#define SETVAL(C, M, CMDCODE, OPT)                                                              \
  MethodCase{#C "::" #M, CMDCODE, OPT, Kind::SetValue, 1,                                        \
             [](kv::Module* m, uint8_t i, uint8_t, uint32_t v, uint32_t*) {                     \
               C e;                                                                             \
               e.init(m, i);                                                                    \
               return e.M(static_cast<uint8_t>(v));                                             \
             }}
#define LIST32(C, M, CMD, OPT)                                                                  \
  MethodCase{#C "::" #M, CMD, OPT, Kind::Get, 0,                                                 \
             [](kv::Module* m, uint8_t i, uint8_t, uint32_t, uint32_t* out) {                   \
               C e;                                                                             \
               e.init(m, i);                                                                    \
               uint32_t list[4] = {};                                                           \
               uint32_t count = 0;                                                              \
               aErr err = e.M(list, 4, &count);                                                 \
               *out = count == 2 ? list[1] : 0xDEAD;                                            \
               return err;                                                                      \
             }}

const MethodCase kMethods[] = {
    GET(SystemClass, getModule, 3, 1, uint8_t),
    GET(SystemClass, getRouter, 3, 2, uint8_t),
    SET(SystemClass, setRouter, 3, 2, uint8_t),
    GET(SystemClass, getHBInterval, 3, 3, uint8_t),
    SET(SystemClass, setHBInterval, 3, 3, uint8_t),
    GET(SystemClass, getLED, 3, 4, uint8_t),
    SET(SystemClass, setLED, 3, 4, uint8_t),
    GET(SystemClass, getBootSlot, 3, 6, uint8_t),
    SET(SystemClass, setBootSlot, 3, 6, uint8_t),
    GET(SystemClass, getVersion, 3, 7, uint32_t),
    GET(SystemClass, getModel, 3, 8, uint8_t),
    GET(SystemClass, getSerialNumber, 3, 9, uint32_t),
    CMD(SystemClass, save, 3, 10),
    CMD(SystemClass, reset, 3, 11),
    GET(SystemClass, getInputVoltage, 3, 12, uint32_t),
    GET(SystemClass, getModuleHardwareOffset, 3, 13, uint8_t),
    GET(SystemClass, getModuleBaseAddress, 3, 14, uint8_t),
    GET(SystemClass, getModuleSoftwareOffset, 3, 15, uint8_t),
    SET(SystemClass, setModuleSoftwareOffset, 3, 15, uint8_t),
    GET(SystemClass, getRouterAddressSetting, 3, 16, uint8_t),
    SETVAL(SystemClass, routeToMe, 3, 20),
    GET(SystemClass, getInputCurrent, 3, 21, uint32_t),
    GET(SystemClass, getUptime, 3, 22, uint32_t),
    GET(SystemClass, getMaximumTemperature, 3, 23, int32_t),
    CMD(SystemClass, logEvents, 3, 24),
    GET(SystemClass, getUnregulatedVoltage, 3, 25, int32_t),
    GET(SystemClass, getUnregulatedCurrent, 3, 26, int32_t),
    GET(SystemClass, getTemperature, 3, 27, int32_t),
    GET(SystemClass, getMinimumTemperature, 3, 28, int32_t),
    GET(SystemClass, getInputPowerSource, 3, 29, uint8_t),
    GET(SystemClass, getPowerLimit, 3, 33, uint32_t),
    GET(SystemClass, getPowerLimitMax, 3, 34, uint32_t),
    SET(SystemClass, setPowerLimitMax, 3, 34, uint32_t),
    GET(SystemClass, getPowerLimitState, 3, 35, uint32_t),
    CMD(SystemClass, resetEntityToFactoryDefaults, 3, 36),
    CMD(SystemClass, resetDeviceToFactoryDefaults, 3, 37),
    GET(SystemClass, getLinkInterface, 3, 38, uint8_t),
    SET(SystemClass, setLinkInterface, 3, 38, uint8_t),
    GET(SystemClass, getHardwareVersion, 3, 40, uint32_t),
    GET(SystemClass, getErrors, 3, 41, uint32_t),
    SETVAL(StoreClass, slotEnable, 77, 1),
    SETVAL(StoreClass, slotDisable, 77, 2),
    GETSUB(StoreClass, getSlotState, 77, 3, uint8_t),
    GETSUB(StoreClass, getSlotLocked, 77, 7, uint8_t),
    SETSUB(StoreClass, setSlotLocked, 77, 7, uint8_t),
    GET(TimerClass, getExpiration, 79, 1, uint32_t),
    SET(TimerClass, setExpiration, 79, 1, uint32_t),
    GET(TimerClass, getMode, 79, 2, uint8_t),
    SET(TimerClass, setMode, 79, 2, uint8_t),
    GET(AnalogClass, getConfiguration, 30, 1, uint8_t),
    SET(AnalogClass, setConfiguration, 30, 1, uint8_t),
    GET(AnalogClass, getValue, 30, 2, uint16_t),
    SET(AnalogClass, setValue, 30, 2, uint16_t),
    GET(AnalogClass, getVoltage, 30, 3, int32_t),
    SET(AnalogClass, setVoltage, 30, 3, int32_t),
    GET(AnalogClass, getBulkCaptureSampleRate, 30, 4, uint32_t),
    SET(AnalogClass, setBulkCaptureSampleRate, 30, 4, uint32_t),
    GET(AnalogClass, getBulkCaptureNumberOfSamples, 30, 5, uint32_t),
    SET(AnalogClass, setBulkCaptureNumberOfSamples, 30, 5, uint32_t),
    CMD(AnalogClass, initiateBulkCapture, 30, 6),
    GET(AnalogClass, getBulkCaptureState, 30, 7, uint8_t),
    GET(AnalogClass, getRange, 30, 8, uint8_t),
    SET(AnalogClass, setRange, 30, 8, uint8_t),
    GET(AnalogClass, getEnable, 30, 9, uint8_t),
    SET(AnalogClass, setEnable, 30, 9, uint8_t),
    GET(DigitalClass, getConfiguration, 31, 1, uint8_t),
    SET(DigitalClass, setConfiguration, 31, 1, uint8_t),
    GET(DigitalClass, getState, 31, 2, uint8_t),
    SET(DigitalClass, setState, 31, 2, uint8_t),
    GET(DigitalClass, getStateAll, 31, 3, uint32_t),
    SET(DigitalClass, setStateAll, 31, 3, uint32_t),
    GET(ClockClass, getYear, 83, 1, uint16_t),
    SET(ClockClass, setYear, 83, 1, uint16_t),
    GET(ClockClass, getMonth, 83, 2, uint8_t),
    SET(ClockClass, setMonth, 83, 2, uint8_t),
    GET(ClockClass, getDay, 83, 3, uint8_t),
    SET(ClockClass, setDay, 83, 3, uint8_t),
    GET(ClockClass, getHour, 83, 4, uint8_t),
    SET(ClockClass, setHour, 83, 4, uint8_t),
    GET(ClockClass, getMinute, 83, 5, uint8_t),
    SET(ClockClass, setMinute, 83, 5, uint8_t),
    GET(ClockClass, getSecond, 83, 6, uint8_t),
    SET(ClockClass, setSecond, 83, 6, uint8_t),
    GET(MuxClass, getEnable, 6, 1, uint8_t),
    SET(MuxClass, setEnable, 6, 1, uint8_t),
    GET(MuxClass, getChannel, 6, 2, uint8_t),
    SET(MuxClass, setChannel, 6, 2, uint8_t),
    GETSUB(MuxClass, getChannelVoltage, 6, 3, int32_t),
    GET(MuxClass, getConfiguration, 6, 4, int32_t),
    SET(MuxClass, setConfiguration, 6, 4, int32_t),
    GET(MuxClass, getSplitMode, 6, 5, int32_t),
    SET(MuxClass, setSplitMode, 6, 5, int32_t),
    GET(PointerClass, getOffset, 7, 1, uint16_t),
    SET(PointerClass, setOffset, 7, 1, uint16_t),
    GET(PointerClass, getMode, 7, 2, uint8_t),
    SET(PointerClass, setMode, 7, 2, uint8_t),
    GET(PointerClass, getTransferStore, 7, 3, uint8_t),
    SET(PointerClass, setTransferStore, 7, 3, uint8_t),
    GET(PointerClass, getChar, 7, 4, uint8_t),
    SET(PointerClass, setChar, 7, 4, uint8_t),
    GET(PointerClass, getShort, 7, 5, uint16_t),
    SET(PointerClass, setShort, 7, 5, uint16_t),
    GET(PointerClass, getInt, 7, 6, uint32_t),
    SET(PointerClass, setInt, 7, 6, uint32_t),
    SETVAL(PointerClass, initiateTransferToStore, 7, 7),
    SETVAL(PointerClass, initiateTransferFromStore, 7, 8),
    GET(RCServoClass, getEnable, 13, 1, uint8_t),
    SET(RCServoClass, setEnable, 13, 1, uint8_t),
    GET(RCServoClass, getPosition, 13, 2, uint8_t),
    SET(RCServoClass, setPosition, 13, 2, uint8_t),
    GET(RCServoClass, getReverse, 13, 3, uint8_t),
    SET(RCServoClass, setReverse, 13, 3, uint8_t),
    GET(RelayClass, getEnable, 34, 1, uint8_t),
    SET(RelayClass, setEnable, 34, 1, uint8_t),
    GET(RelayClass, getVoltage, 34, 2, int32_t),
    GET(SignalClass, getEnable, 14, 1, uint8_t),
    SET(SignalClass, setEnable, 14, 1, uint8_t),
    GET(SignalClass, getInvert, 14, 2, uint8_t),
    SET(SignalClass, setInvert, 14, 2, uint8_t),
    GET(SignalClass, getT3Time, 14, 3, uint32_t),
    SET(SignalClass, setT3Time, 14, 3, uint32_t),
    GET(SignalClass, getT2Time, 14, 4, uint32_t),
    SET(SignalClass, setT2Time, 14, 4, uint32_t),
    GETSUB(EqualizerClass, getReceiverConfig, 15, 1, uint8_t),
    SETSUB(EqualizerClass, setReceiverConfig, 15, 1, uint8_t),
    GET(EqualizerClass, getTransmitterConfig, 15, 2, uint8_t),
    SET(EqualizerClass, setTransmitterConfig, 15, 2, uint8_t),
    GET(TemperatureClass, getValue, 33, 1, int32_t),
    GET(TemperatureClass, getValueMin, 33, 2, int32_t),
    GET(TemperatureClass, getValueMax, 33, 3, int32_t),
    CMD(TemperatureClass, resetEntityToFactoryDefaults, 33, 4),
    GET(RailClass, getVoltage, 32, 1, int32_t),
    GET(RailClass, getCurrent, 32, 2, int32_t),
    GET(RailClass, getCurrentLimit, 32, 3, int32_t),
    SET(RailClass, setCurrentLimit, 32, 3, int32_t),
    GET(RailClass, getTemperature, 32, 4, int32_t),
    GET(RailClass, getEnable, 32, 5, uint8_t),
    SET(RailClass, setEnable, 32, 5, uint8_t),
    GET(RailClass, getKelvinSensingEnable, 32, 7, uint8_t),
    SET(RailClass, setKelvinSensingEnable, 32, 7, uint8_t),
    GET(RailClass, getKelvinSensingState, 32, 8, uint8_t),
    GET(RailClass, getOperationalMode, 32, 9, uint8_t),
    SET(RailClass, setOperationalMode, 32, 9, uint8_t),
    GET(RailClass, getOperationalState, 32, 10, uint32_t),
    GET(RailClass, getVoltageSetpoint, 32, 11, int32_t),
    SET(RailClass, setVoltageSetpoint, 32, 11, int32_t),
    GET(RailClass, getCurrentSetpoint, 32, 12, int32_t),
    SET(RailClass, setCurrentSetpoint, 32, 12, int32_t),
    GET(RailClass, getVoltageMinLimit, 32, 13, int32_t),
    SET(RailClass, setVoltageMinLimit, 32, 13, int32_t),
    GET(RailClass, getVoltageMaxLimit, 32, 14, int32_t),
    SET(RailClass, setVoltageMaxLimit, 32, 14, int32_t),
    GET(RailClass, getPower, 32, 15, int32_t),
    GET(RailClass, getPowerSetpoint, 32, 16, int32_t),
    SET(RailClass, setPowerSetpoint, 32, 16, int32_t),
    GET(RailClass, getPowerLimit, 32, 17, int32_t),
    SET(RailClass, setPowerLimit, 32, 17, int32_t),
    GET(RailClass, getResistance, 32, 18, int32_t),
    GET(RailClass, getResistanceSetpoint, 32, 19, int32_t),
    SET(RailClass, setResistanceSetpoint, 32, 19, int32_t),
    CMD(RailClass, clearFaults, 32, 20),
    GET(UARTClass, getEnable, 35, 1, uint8_t),
    SET(UARTClass, setEnable, 35, 1, uint8_t),
    GET(UARTClass, getBaudRate, 35, 2, uint32_t),
    SET(UARTClass, setBaudRate, 35, 2, uint32_t),
    GET(UARTClass, getProtocol, 35, 3, uint8_t),
    SET(UARTClass, setProtocol, 35, 3, uint8_t),
    SETVAL(USBClass, setPortEnable, 18, 1),
    SETVAL(USBClass, setPortDisable, 18, 2),
    SETVAL(USBClass, setDataEnable, 18, 3),
    SETVAL(USBClass, setDataDisable, 18, 4),
    SETVAL(USBClass, setPowerEnable, 18, 5),
    SETVAL(USBClass, setPowerDisable, 18, 6),
    GETSUB(USBClass, getPortCurrent, 18, 7, int32_t),
    GETSUB(USBClass, getPortVoltage, 18, 8, int32_t),
    GET(USBClass, getHubMode, 18, 9, uint32_t),
    SET(USBClass, setHubMode, 18, 9, uint32_t),
    SETVAL(USBClass, clearPortErrorStatus, 18, 12),
    GET(USBClass, getUpstreamMode, 18, 14, uint8_t),
    SET(USBClass, setUpstreamMode, 18, 14, uint8_t),
    GET(USBClass, getUpstreamState, 18, 15, uint8_t),
    GET(USBClass, getEnumerationDelay, 18, 16, uint32_t),
    SET(USBClass, setEnumerationDelay, 18, 16, uint32_t),
    GETSUB(USBClass, getPortCurrentLimit, 18, 17, uint32_t),
    SETSUB(USBClass, setPortCurrentLimit, 18, 17, uint32_t),
    GET(USBClass, getUpstreamBoostMode, 18, 18, uint8_t),
    SET(USBClass, setUpstreamBoostMode, 18, 18, uint8_t),
    GET(USBClass, getDownstreamBoostMode, 18, 19, uint8_t),
    SET(USBClass, setDownstreamBoostMode, 18, 19, uint8_t),
    GETSUB(USBClass, getPortMode, 18, 20, uint32_t),
    SETSUB(USBClass, setPortMode, 18, 20, uint32_t),
    SETVAL(USBClass, setHiSpeedDataEnable, 18, 21),
    SETVAL(USBClass, setHiSpeedDataDisable, 18, 22),
    SETVAL(USBClass, setSuperSpeedDataEnable, 18, 23),
    SETVAL(USBClass, setSuperSpeedDataDisable, 18, 24),
    GETSUB(USBClass, getDownstreamDataSpeed, 18, 25, uint8_t),
    GETSUB(USBClass, getConnectMode, 18, 26, uint8_t),
    SETSUB(USBClass, setConnectMode, 18, 26, uint8_t),
    GETSUB(USBClass, getCC1Enable, 18, 27, uint8_t),
    SETSUB(USBClass, setCC1Enable, 18, 27, uint8_t),
    GETSUB(USBClass, getCC2Enable, 18, 28, uint8_t),
    SETSUB(USBClass, setCC2Enable, 18, 28, uint8_t),
    GETSUB(USBClass, getSBUEnable, 18, 29, uint8_t),
    SETSUB(USBClass, setSBUEnable, 18, 29, uint8_t),
    GETSUB(USBClass, getCC1Current, 18, 30, int32_t),
    GETSUB(USBClass, getCC2Current, 18, 31, int32_t),
    GETSUB(USBClass, getCC1Voltage, 18, 32, int32_t),
    GETSUB(USBClass, getCC2Voltage, 18, 33, int32_t),
    GETSUB(USBClass, getPortState, 18, 34, uint32_t),
    GETSUB(USBClass, getPortError, 18, 35, uint32_t),
    GETSUB(USBClass, getCableFlip, 18, 36, uint8_t),
    SETSUB(USBClass, setCableFlip, 18, 36, uint8_t),
    GETSUB(USBClass, getAltModeConfig, 18, 37, uint32_t),
    SETSUB(USBClass, setAltModeConfig, 18, 37, uint32_t),
    GETSUB(USBClass, getSBU1Voltage, 18, 38, int32_t),
    GETSUB(USBClass, getSBU2Voltage, 18, 39, int32_t),
    GET(PortClass, getVbusVoltage, 37, 1, int32_t),
    GET(PortClass, getVbusCurrent, 37, 2, int32_t),
    GET(PortClass, getVconnVoltage, 37, 3, int32_t),
    GET(PortClass, getVconnCurrent, 37, 4, int32_t),
    GET(PortClass, getEnabled, 37, 5, uint8_t),
    SET(PortClass, setEnabled, 37, 5, uint8_t),
    GET(PortClass, getPowerEnabled, 37, 6, uint8_t),
    SET(PortClass, setPowerEnabled, 37, 6, uint8_t),
    GET(PortClass, getDataEnabled, 37, 7, uint8_t),
    SET(PortClass, setDataEnabled, 37, 7, uint8_t),
    GET(PortClass, getDataHSEnabled, 37, 8, uint8_t),
    SET(PortClass, setDataHSEnabled, 37, 8, uint8_t),
    GET(PortClass, getDataHS1Enabled, 37, 9, uint8_t),
    SET(PortClass, setDataHS1Enabled, 37, 9, uint8_t),
    GET(PortClass, getDataHS2Enabled, 37, 10, uint8_t),
    SET(PortClass, setDataHS2Enabled, 37, 10, uint8_t),
    GET(PortClass, getDataSSEnabled, 37, 11, uint8_t),
    SET(PortClass, setDataSSEnabled, 37, 11, uint8_t),
    GET(PortClass, getDataSS1Enabled, 37, 12, uint8_t),
    SET(PortClass, setDataSS1Enabled, 37, 12, uint8_t),
    GET(PortClass, getDataSS2Enabled, 37, 13, uint8_t),
    SET(PortClass, setDataSS2Enabled, 37, 13, uint8_t),
    GET(PortClass, getCCEnabled, 37, 14, uint8_t),
    SET(PortClass, setCCEnabled, 37, 14, uint8_t),
    GET(PortClass, getCC1Enabled, 37, 15, uint8_t),
    SET(PortClass, setCC1Enabled, 37, 15, uint8_t),
    GET(PortClass, getCC2Enabled, 37, 16, uint8_t),
    SET(PortClass, setCC2Enabled, 37, 16, uint8_t),
    GET(PortClass, getVconnEnabled, 37, 17, uint8_t),
    SET(PortClass, setVconnEnabled, 37, 17, uint8_t),
    GET(PortClass, getVconn1Enabled, 37, 18, uint8_t),
    SET(PortClass, setVconn1Enabled, 37, 18, uint8_t),
    GET(PortClass, getVconn2Enabled, 37, 19, uint8_t),
    SET(PortClass, setVconn2Enabled, 37, 19, uint8_t),
    GET(PortClass, getState, 37, 20, uint32_t),
    GET(PortClass, getErrors, 37, 21, uint32_t),
    GET(PortClass, getCurrentLimit, 37, 22, uint32_t),
    SET(PortClass, setCurrentLimit, 37, 22, uint32_t),
    GET(PortClass, getCurrentLimitMode, 37, 23, uint8_t),
    SET(PortClass, setCurrentLimitMode, 37, 23, uint8_t),
    GET(PortClass, getPowerLimit, 37, 24, uint32_t),
    SET(PortClass, setPowerLimit, 37, 24, uint32_t),
    GET(PortClass, getPowerLimitMode, 37, 25, uint8_t),
    SET(PortClass, setPowerLimitMode, 37, 25, uint8_t),
    GET(PortClass, getAvailablePower, 37, 26, uint32_t),
    GET(PortClass, getPowerMode, 37, 30, uint8_t),
    SET(PortClass, setPowerMode, 37, 30, uint8_t),
    GET(PortClass, getDataRole, 37, 31, uint8_t),
    GET(PortClass, getDataSpeed, 37, 32, uint8_t),
    GET(PortClass, getMode, 37, 33, uint32_t),
    SET(PortClass, setMode, 37, 33, uint32_t),
    GET(PortClass, getVoltageSetpoint, 37, 34, uint32_t),
    SET(PortClass, setVoltageSetpoint, 37, 34, uint32_t),
    GET(PortClass, getAllocatedPower, 37, 35, int32_t),
    GET(PortClass, getDataHSRoutingBehavior, 37, 36, uint8_t),
    SET(PortClass, setDataHSRoutingBehavior, 37, 36, uint8_t),
    GET(PortClass, getDataSSRoutingBehavior, 37, 37, uint8_t),
    SET(PortClass, setDataSSRoutingBehavior, 37, 37, uint8_t),
    GET(PortClass, getVbusAccumulatedPower, 37, 38, int32_t),
    CMD(PortClass, resetVbusAccumulatedPower, 37, 39),
    GET(PortClass, getVconnAccumulatedPower, 37, 40, int32_t),
    CMD(PortClass, resetVconnAccumulatedPower, 37, 41),
    GET(PortClass, getHSBoost, 37, 42, uint8_t),
    SET(PortClass, setHSBoost, 37, 42, uint8_t),
    CMD(PortClass, resetEntityToFactoryDefaults, 37, 44),
    GET(USBSystemClass, getUpstream, 38, 2, uint8_t),
    SET(USBSystemClass, setUpstream, 38, 2, uint8_t),
    GET(USBSystemClass, getEnumerationDelay, 38, 3, uint32_t),
    SET(USBSystemClass, setEnumerationDelay, 38, 3, uint32_t),
    GET(USBSystemClass, getDataRoleList, 38, 4, uint32_t),
    GET(USBSystemClass, getEnabledList, 38, 5, uint32_t),
    SET(USBSystemClass, setEnabledList, 38, 5, uint32_t),
    LIST32(USBSystemClass, getModeList, 38, 6),
    LIST32(USBSystemClass, getStateList, 38, 7),
    GET(USBSystemClass, getPowerBehavior, 38, 8, uint8_t),
    SET(USBSystemClass, setPowerBehavior, 38, 8, uint8_t),
    LIST32(USBSystemClass, getPowerBehaviorConfig, 38, 9),
    GET(USBSystemClass, getDataRoleBehavior, 38, 10, uint8_t),
    SET(USBSystemClass, setDataRoleBehavior, 38, 10, uint8_t),
    LIST32(USBSystemClass, getDataRoleBehaviorConfig, 38, 11),
    CMD(USBSystemClass, resetEntityToFactoryDefaults, 38, 13),
    LIST32(PowerDeliveryClass, getPowerDataObjectList, 36, 2),
    GETSUB(PowerDeliveryClass, getPowerDataObjectEnabledList, 36, 4, uint8_t),
    GETSUB(PowerDeliveryClass, getRequestDataObject, 36, 6, uint32_t),
    SETSUB(PowerDeliveryClass, setRequestDataObject, 36, 6, uint32_t),
    GET(PowerDeliveryClass, getConnectionState, 36, 7, uint8_t),
    GET(PowerDeliveryClass, getCableVoltageMax, 36, 16, uint8_t),
    GET(PowerDeliveryClass, getCableCurrentMax, 36, 17, uint8_t),
    GET(PowerDeliveryClass, getCableSpeedMax, 36, 18, uint8_t),
    GET(PowerDeliveryClass, getCableType, 36, 19, uint8_t),
    GET(PowerDeliveryClass, getCableOrientation, 36, 20, uint8_t),
    GET(PowerDeliveryClass, getPowerRole, 36, 22, uint8_t),
    SET(PowerDeliveryClass, setPowerRole, 36, 22, uint8_t),
    GET(PowerDeliveryClass, getPowerRolePreferred, 36, 23, uint8_t),
    SET(PowerDeliveryClass, setPowerRolePreferred, 36, 23, uint8_t),
    GET(PowerDeliveryClass, getPeakCurrentConfiguration, 36, 24, uint8_t),
    SET(PowerDeliveryClass, setPeakCurrentConfiguration, 36, 24, uint8_t),
    GET(PowerDeliveryClass, getFastRoleSwapCurrent, 36, 25, uint8_t),
    SET(PowerDeliveryClass, setFastRoleSwapCurrent, 36, 25, uint8_t),
    GET(PowerDeliveryClass, getOverride, 36, 41, uint32_t),
    SET(PowerDeliveryClass, setOverride, 36, 41, uint32_t),
    SETVAL(PowerDeliveryClass, request, 36, 42),
    SET(PowerDeliveryClass, requestStatus, 36, 43, uint32_t),
    GETSUB(PowerDeliveryClass, getFlagMode, 36, 44, uint8_t),
    SETSUB(PowerDeliveryClass, setFlagMode, 36, 44, uint8_t),
    CMD(PowerDeliveryClass, resetEntityToFactoryDefaults, 36, 54)
};

Bytes bigEndian(uint32_t value, uint8_t width) {
  Bytes b;
  for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) b.push_back(static_cast<uint8_t>(value >> shift));
  return b;
}

}  // namespace

class EntityMethods : public SimFixture {};

TEST_F(EntityMethods, EveryMethodSendsItsRequestAndTakesItsReply) {
  const uint8_t index = 3, subindex = 5;
  for (const MethodCase& c : kMethods) {
    SCOPED_TRACE(c.name);
    const uint32_t value = 0x89ABCDEF & (c.width == 4 ? 0xFFFFFFFFu : (1u << (8 * c.width)) - 1);
    Bytes expected = {c.command, 0, static_cast<uint8_t>(index | 0x20)};
    bool list = c.width == 0 && c.kind == Kind::Get;
    switch (c.kind) {
      case Kind::Get:
      case Kind::GetSub:
        expected[1] = static_cast<uint8_t>(c.option | 0x40);
        if (c.kind == Kind::GetSub) expected.push_back(subindex);
        if (list) simmodule::setUeiBytes(device(), c.command, c.option, index, {0, 0, 0, 1, 0x12, 0x34, 0x56, 0x78});
        else simmodule::setUeiValue(device(), c.command, c.option, index, c.kind == Kind::GetSub ? subindex : -1, c.width, value);
        break;
      case Kind::Set:
      case Kind::SetSub:
      case Kind::SetValue:
        expected[1] = static_cast<uint8_t>(c.option | 0x80);
        if (c.kind == Kind::SetSub) expected.push_back(subindex);
        for (uint8_t b : bigEndian(value, c.width)) expected.push_back(b);
        break;
      case Kind::Command:
        expected[1] = static_cast<uint8_t>(c.option | 0x80);
        break;
    }
    uint32_t out = 0;
    EXPECT_EQ(aErrNone, c.call(&module, index, subindex, value, &out));
    if (c.kind == Kind::Get || c.kind == Kind::GetSub) {
      EXPECT_EQ(list ? 0x12345678u : value, out);
    }
    std::vector<Bytes> sent = requests();
    ASSERT_EQ(1u, sent.size());
    EXPECT_EQ(expected, sent[0]);
  }
}

TEST_F(EntityMethods, GetterWithNullOutputSendsNothing) {
  ClockClass clock;
  clock.init(&module, 0);
  EXPECT_EQ(aErrParam, clock.getYear(nullptr));
  USBClass usb;
  usb.init(&module, 0);
  EXPECT_EQ(aErrParam, usb.getPortCurrent(1, nullptr));
  EXPECT_TRUE(requests().empty());
}

TEST_F(EntityMethods, UnimplementedMethodsSendNothing) {
  SystemClass system;
  system.init(&module, 0);
  PortClass port;
  port.init(&module, 0);
  USBSystemClass hub;
  hub.init(&module, 0);
  const uint8_t bytes[4] = {1, 2, 3, 4};
  const uint32_t words[2] = {1, 2};
  EXPECT_EQ(aErrUnimplemented, system.setName(bytes, 4));
  EXPECT_EQ(aErrUnimplemented, system.setInputPowerBehaviorConfig(bytes, 4));
  EXPECT_EQ(aErrUnimplemented, port.setName(bytes, 4));
  EXPECT_EQ(aErrUnimplemented, hub.setModeList(words, 2));
  EXPECT_EQ(aErrUnimplemented, hub.setPowerBehaviorConfig(words, 2));
  EXPECT_EQ(aErrUnimplemented, hub.setDataRoleBehaviorConfig(words, 2));
  EXPECT_TRUE(requests().empty());
}

TEST_F(EntityMethods, UnboundEntityIsUnusable) {
  SystemClass system;
  uint32_t serial = 0;
  EXPECT_EQ(aErrResource, system.getSerialNumber(&serial));
  EXPECT_EQ(aErrResource, system.reset());
  StoreClass store;
  uint32_t size = 0;
  EXPECT_EQ(aErrResource, store.getSlotSize(0, &size));
  I2CClass i2c;
  EXPECT_EQ(aErrResource, i2c.setPullup(true));
}

TEST_F(EntityMethods, CopiesAreBoundAndIndependent) {
  SystemClass* original = new SystemClass;
  original->init(&module, 0);
  SystemClass copy(*original);
  SystemClass assigned;
  assigned = copy;
  delete original;
  uint32_t serial = 0;
  EXPECT_EQ(aErrNone, copy.getSerialNumber(&serial));
  EXPECT_EQ(0x0012ABCDu, serial);
  EXPECT_EQ(aErrNone, assigned.getSerialNumber(&serial));
  EXPECT_EQ(0u, assigned.getIndex());
}

TEST_F(EntityMethods, ByteListGettersOfNames) {
  SystemClass system;
  system.init(&module, 0);
  uint8_t name[64];
  uint32_t count = 99;  // the getter counts from 0 itself
  ASSERT_EQ(aErrNone, system.getName(name, sizeof name, &count));
  EXPECT_EQ("Simulated module", std::string(reinterpret_cast<char*>(name), count));
  EXPECT_EQ((Bytes{3, 32 | 0x40, 0x20}), requests().at(0));
  PortClass port;
  port.init(&module, 4);
  simmodule::setUeiBytes(device(), 37, 27, 4, {'P', '4'});
  ASSERT_EQ(aErrNone, port.getName(name, sizeof name, &count));
  EXPECT_EQ(2u, count);
  EXPECT_EQ((Bytes{37, 27 | 0x40, 4 | 0x20}), requests().at(0));
  simmodule::setUeiBytes(device(), 3, 31, 0, {7, 8, 9});
  ASSERT_EQ(aErrNone, system.getInputPowerBehaviorConfig(name, sizeof name, &count));
  EXPECT_EQ(3u, count);
  EXPECT_EQ(9, name[2]);
}

TEST_F(EntityMethods, PowerDataObjectAttributes) {
  uint8_t attributes = 0;
  EXPECT_EQ(aErrNone, PowerDeliveryClass::packDataObjectAttributes(&attributes, 1, 2, 63));
  EXPECT_EQ(0xFF, attributes);
  EXPECT_EQ(aErrNone, PowerDeliveryClass::packDataObjectAttributes(&attributes, 0, 1, 5));
  EXPECT_EQ(0x05, attributes);
  EXPECT_EQ(aErrParam, PowerDeliveryClass::packDataObjectAttributes(&attributes, 2, 1, 0));
  EXPECT_EQ(aErrParam, PowerDeliveryClass::packDataObjectAttributes(&attributes, 0, 3, 0));
  EXPECT_EQ(aErrParam, PowerDeliveryClass::packDataObjectAttributes(&attributes, 0, 0, 0));
  EXPECT_EQ(aErrParam, PowerDeliveryClass::packDataObjectAttributes(&attributes, 0, 1, 64));
  EXPECT_EQ(aErrParam, PowerDeliveryClass::packDataObjectAttributes(nullptr, 0, 1, 0));
  uint8_t partner, role, rule;
  EXPECT_EQ(aErrNone, PowerDeliveryClass::unpackDataObjectAttributes(0xC7, &partner, &role, &rule));
  EXPECT_EQ(1, partner);
  EXPECT_EQ(2, role);
  EXPECT_EQ(7, rule);
  EXPECT_EQ(aErrParam, PowerDeliveryClass::unpackDataObjectAttributes(0xC7, &partner, nullptr, &rule));
}

TEST_F(EntityMethods, PowerDataObjectRequestsCarryTheAttributeByte) {
  PowerDeliveryClass pd;
  pd.init(&module, 1);
  simmodule::setUeiValue(device(), 36, 1, 1, 0xC9, 4, 0x11223344);
  uint32_t pdo = 0;
  ASSERT_EQ(aErrNone, pd.getPowerDataObject(1, 2, 9, &pdo));
  EXPECT_EQ(0x11223344u, pdo);
  EXPECT_EQ((Bytes{36, 0x41, 0x21, 0xC9}), requests().at(0));
  ASSERT_EQ(aErrNone, pd.setPowerDataObject(1, 9, 0xA1B2C3D4));
  EXPECT_EQ((Bytes{36, 0x81, 0x21, 0x09, 0xA1, 0xB2, 0xC3, 0xD4}), requests().at(0));
  simmodule::setUeiValue(device(), 36, 3, 1, 0x82, 1, 1);
  uint8_t enabled = 0;
  ASSERT_EQ(aErrNone, pd.getPowerDataObjectEnabled(0, 2, 2, &enabled));
  EXPECT_EQ(1, enabled);
  EXPECT_EQ((Bytes{36, 0x43, 0x21, 0x82}), requests().at(0));
  ASSERT_EQ(aErrNone, pd.setPowerDataObjectEnabled(2, 2, 0));
  EXPECT_EQ((Bytes{36, 0x83, 0x21, 0x82, 0x00}), requests().at(0));
  simmodule::setUeiValue(device(), 36, 5, 1, 0x40, 1, 6);
  uint8_t count = 0;
  ASSERT_EQ(aErrNone, pd.getNumberOfPowerDataObjects(1, 1, &count));
  EXPECT_EQ(6, count);
  EXPECT_EQ((Bytes{36, 0x45, 0x21, 0x40}), requests().at(0));
  ASSERT_EQ(aErrNone, pd.resetPowerDataObjectToDefault(2, 3));
  EXPECT_EQ((Bytes{36, 0x8F, 0x21, 0x83}), requests().at(0));
  EXPECT_EQ(aErrParam, pd.getPowerDataObject(0, 1, 64, &pdo));
  EXPECT_EQ(aErrParam, pd.getPowerDataObject(0, 3, 1, &pdo));
  EXPECT_EQ(aErrParam, pd.setPowerDataObject(3, 1, 0));
  EXPECT_TRUE(requests().empty());
}

TEST_F(EntityMethods, AppExecuteWaitsForTheAnswer) {
  AppClass app;
  app.init(&module, 2);
  uint32_t answer = 0;
  ASSERT_EQ(aErrNone, app.execute(41, &answer, 1000));
  EXPECT_EQ(42u, answer);
  EXPECT_EQ((Bytes{5, 0x81, 0x22, 0, 0, 0, 41}), requests().at(0));
  // A stale answer queued before the call is dropped, not taken. The reply
  // of a get sent after it proves it has been queued.
  sim->sendPacket(simmodule::Packet::make(2, {5, 2, 2, 0, 0, 0, 7}));
  SystemClass system;
  system.init(&module, 0);
  uint32_t serial = 0;
  ASSERT_EQ(aErrNone, system.getSerialNumber(&serial));
  ASSERT_EQ(aErrNone, app.execute(99, &answer, 1000));
  EXPECT_EQ(100u, answer);
  EXPECT_EQ(aErrParam, app.execute(1, nullptr, 1000));
}

TEST_F(EntityMethods, StoreClassUsesTheStoreSlotProtocol) {
  StoreClass store;
  store.init(&module, 1);
  simmodule::setStoreSlot(device(), 1, 2, {}, 100);
  const uint8_t data[] = {1, 2, 3};
  ASSERT_EQ(aErrNone, store.loadSlot(2, data, 3));
  uint32_t size = 0, capacity = 0;
  EXPECT_EQ(aErrNone, store.getSlotSize(2, &size));
  EXPECT_EQ(3u, size);
  EXPECT_EQ(aErrNone, store.getSlotCapacity(2, &capacity));
  EXPECT_EQ(100u, capacity);
  uint8_t back[8];
  uint32_t count = 0;
  EXPECT_EQ(aErrNone, store.unloadSlot(2, sizeof back, back, &count));
  EXPECT_EQ(3u, count);
  EXPECT_EQ(0, std::memcmp(back, data, 3));
  EXPECT_EQ((Bytes{4, 4, 1, 2}), requests().at(0));
}

TEST_F(EntityMethods, I2CTransfers) {
  I2CClass i2c;
  i2c.init(&module, 1);
  EXPECT_EQ(aErrParam, i2c.setSpeed(4));
  EXPECT_EQ(aErrNone, i2c.setSpeed(2));
  uint8_t speed = 0;
  EXPECT_EQ(aErrNone, i2c.getSpeed(&speed));
  EXPECT_EQ(2, speed);
  uint8_t data[23] = {};
  EXPECT_EQ(aErrSize, i2c.read(0x50, 24, data));
  EXPECT_TRUE(requests().empty());
  ASSERT_EQ(aErrNone, i2c.read(0x50, 23, data));
  EXPECT_EQ((Bytes{8, 1, 0x51, 23, 2}), requests().at(0));
  EXPECT_EQ(0xA0, data[0]);
  EXPECT_EQ(0xA0 + 22, data[22]);
  const uint8_t out[] = {9, 8};
  ASSERT_EQ(aErrNone, i2c.write(0x50, 2, out));
  EXPECT_EQ((Bytes{8, 1, 0x50, 2, 2, 9, 8}), requests().at(0));
  ASSERT_EQ(aErrNone, i2c.setPullup(true));
  EXPECT_EQ((Bytes{8, 1, 1, 1}), requests().at(0));
  // Status byte with its top bit set carries the module's code; a short reply is a bad packet.
  simmodule::scriptReplies(device(), 8, {{8, 1, 1, 0, 0x80 | 13}});
  EXPECT_EQ(aErrRange, i2c.setPullup(false));
  simmodule::scriptReplies(device(), 8, {{8, 1, 1, 0}});
  EXPECT_EQ(aErrPacket, i2c.setPullup(false));
  // A read reply claiming more data than it carries is refused.
  simmodule::scriptReplies(device(), 8, {{8, 1, 0x51, 4, 0, 1, 2}});
  EXPECT_EQ(aErrPacket, i2c.read(0x50, 4, data));
  i2c.init(&module, 1);
  EXPECT_EQ(aErrNone, i2c.getSpeed(&speed));
  EXPECT_EQ(0, speed);
}
