// Input and output entity classes: one UEI exchange per method; I2C over raw packets.
#include "IOEntities.h"

#include <cstring>

namespace Mirovane {
namespace Kelvarion {

// ---- AnalogClass -----------------------------------------------------------

aErr AnalogClass::getConfiguration(uint8_t* value) { return getUEI8(1, value); }
aErr AnalogClass::setConfiguration(uint8_t value) { return setUEI8(1, value); }
aErr AnalogClass::getValue(uint16_t* value) { return getUEI16(2, value); }
aErr AnalogClass::setValue(uint16_t value) { return setUEI16(2, value); }
aErr AnalogClass::getVoltage(int32_t* value) { return getUEIi32(3, value); }
aErr AnalogClass::setVoltage(int32_t value) { return setUEIi32(3, value); }
aErr AnalogClass::getBulkCaptureSampleRate(uint32_t* value) { return getUEI32(4, value); }
aErr AnalogClass::setBulkCaptureSampleRate(uint32_t value) { return setUEI32(4, value); }
aErr AnalogClass::getBulkCaptureNumberOfSamples(uint32_t* value) { return getUEI32(5, value); }
aErr AnalogClass::setBulkCaptureNumberOfSamples(uint32_t value) { return setUEI32(5, value); }
aErr AnalogClass::initiateBulkCapture() { return callUEI(6); }
aErr AnalogClass::getBulkCaptureState(uint8_t* value) { return getUEI8(7, value); }
aErr AnalogClass::getRange(uint8_t* value) { return getUEI8(8, value); }
aErr AnalogClass::setRange(uint8_t value) { return setUEI8(8, value); }
aErr AnalogClass::getEnable(uint8_t* value) { return getUEI8(9, value); }
aErr AnalogClass::setEnable(uint8_t value) { return setUEI8(9, value); }

// ---- DigitalClass ----------------------------------------------------------

aErr DigitalClass::getConfiguration(uint8_t* value) { return getUEI8(1, value); }
aErr DigitalClass::setConfiguration(uint8_t value) { return setUEI8(1, value); }
aErr DigitalClass::getState(uint8_t* value) { return getUEI8(2, value); }
aErr DigitalClass::setState(uint8_t value) { return setUEI8(2, value); }
aErr DigitalClass::getStateAll(uint32_t* value) { return getUEI32(3, value); }
aErr DigitalClass::setStateAll(uint32_t value) { return setUEI32(3, value); }

// ---- MuxClass --------------------------------------------------------------

aErr MuxClass::getEnable(uint8_t* value) { return getUEI8(1, value); }
aErr MuxClass::setEnable(uint8_t value) { return setUEI8(1, value); }
aErr MuxClass::getChannel(uint8_t* value) { return getUEI8(2, value); }
aErr MuxClass::setChannel(uint8_t value) { return setUEI8(2, value); }
aErr MuxClass::getChannelVoltage(uint8_t subindex, int32_t* value) { return getUEIi32(3, subindex, value); }
aErr MuxClass::getConfiguration(int32_t* value) { return getUEIi32(4, value); }
aErr MuxClass::setConfiguration(int32_t value) { return setUEIi32(4, value); }
aErr MuxClass::getSplitMode(int32_t* value) { return getUEIi32(5, value); }
aErr MuxClass::setSplitMode(int32_t value) { return setUEIi32(5, value); }

// ---- RCServoClass ----------------------------------------------------------

aErr RCServoClass::getEnable(uint8_t* value) { return getUEI8(1, value); }
aErr RCServoClass::setEnable(uint8_t value) { return setUEI8(1, value); }
aErr RCServoClass::getPosition(uint8_t* value) { return getUEI8(2, value); }
aErr RCServoClass::setPosition(uint8_t value) { return setUEI8(2, value); }
aErr RCServoClass::getReverse(uint8_t* value) { return getUEI8(3, value); }
aErr RCServoClass::setReverse(uint8_t value) { return setUEI8(3, value); }

// ---- RelayClass ------------------------------------------------------------

aErr RelayClass::getEnable(uint8_t* value) { return getUEI8(1, value); }
aErr RelayClass::setEnable(uint8_t value) { return setUEI8(1, value); }
aErr RelayClass::getVoltage(int32_t* value) { return getUEIi32(2, value); }

// ---- SignalClass -----------------------------------------------------------

aErr SignalClass::getEnable(uint8_t* value) { return getUEI8(1, value); }
aErr SignalClass::setEnable(uint8_t value) { return setUEI8(1, value); }
aErr SignalClass::getInvert(uint8_t* value) { return getUEI8(2, value); }
aErr SignalClass::setInvert(uint8_t value) { return setUEI8(2, value); }
aErr SignalClass::getT3Time(uint32_t* value) { return getUEI32(3, value); }
aErr SignalClass::setT3Time(uint32_t value) { return setUEI32(3, value); }
aErr SignalClass::getT2Time(uint32_t* value) { return getUEI32(4, value); }
aErr SignalClass::setT2Time(uint32_t value) { return setUEI32(4, value); }

// ---- EqualizerClass --------------------------------------------------------

aErr EqualizerClass::getReceiverConfig(uint8_t subindex, uint8_t* value) { return getUEI8(1, subindex, value); }
aErr EqualizerClass::setReceiverConfig(uint8_t subindex, uint8_t value) { return setUEI8(1, subindex, value); }
aErr EqualizerClass::getTransmitterConfig(uint8_t* value) { return getUEI8(2, value); }
aErr EqualizerClass::setTransmitterConfig(uint8_t value) { return setUEI8(2, value); }

// ---- TemperatureClass ------------------------------------------------------

aErr TemperatureClass::getValue(int32_t* value) { return getUEIi32(1, value); }
aErr TemperatureClass::getValueMin(int32_t* value) { return getUEIi32(2, value); }
aErr TemperatureClass::getValueMax(int32_t* value) { return getUEIi32(3, value); }
aErr TemperatureClass::resetEntityToFactoryDefaults() { return callUEI(4); }

// ---- RailClass -------------------------------------------------------------

aErr RailClass::getVoltage(int32_t* value) { return getUEIi32(1, value); }
aErr RailClass::getCurrent(int32_t* value) { return getUEIi32(2, value); }
aErr RailClass::getCurrentLimit(int32_t* value) { return getUEIi32(3, value); }
aErr RailClass::setCurrentLimit(int32_t value) { return setUEIi32(3, value); }
aErr RailClass::getTemperature(int32_t* value) { return getUEIi32(4, value); }
aErr RailClass::getEnable(uint8_t* value) { return getUEI8(5, value); }
aErr RailClass::setEnable(uint8_t value) { return setUEI8(5, value); }
aErr RailClass::getKelvinSensingEnable(uint8_t* value) { return getUEI8(7, value); }
aErr RailClass::setKelvinSensingEnable(uint8_t value) { return setUEI8(7, value); }
aErr RailClass::getKelvinSensingState(uint8_t* value) { return getUEI8(8, value); }
aErr RailClass::getOperationalMode(uint8_t* value) { return getUEI8(9, value); }
aErr RailClass::setOperationalMode(uint8_t value) { return setUEI8(9, value); }
aErr RailClass::getOperationalState(uint32_t* value) { return getUEI32(10, value); }
aErr RailClass::getVoltageSetpoint(int32_t* value) { return getUEIi32(11, value); }
aErr RailClass::setVoltageSetpoint(int32_t value) { return setUEIi32(11, value); }
aErr RailClass::getCurrentSetpoint(int32_t* value) { return getUEIi32(12, value); }
aErr RailClass::setCurrentSetpoint(int32_t value) { return setUEIi32(12, value); }
aErr RailClass::getVoltageMinLimit(int32_t* value) { return getUEIi32(13, value); }
aErr RailClass::setVoltageMinLimit(int32_t value) { return setUEIi32(13, value); }
aErr RailClass::getVoltageMaxLimit(int32_t* value) { return getUEIi32(14, value); }
aErr RailClass::setVoltageMaxLimit(int32_t value) { return setUEIi32(14, value); }
aErr RailClass::getPower(int32_t* value) { return getUEIi32(15, value); }
aErr RailClass::getPowerSetpoint(int32_t* value) { return getUEIi32(16, value); }
aErr RailClass::setPowerSetpoint(int32_t value) { return setUEIi32(16, value); }
aErr RailClass::getPowerLimit(int32_t* value) { return getUEIi32(17, value); }
aErr RailClass::setPowerLimit(int32_t value) { return setUEIi32(17, value); }
aErr RailClass::getResistance(int32_t* value) { return getUEIi32(18, value); }
aErr RailClass::getResistanceSetpoint(int32_t* value) { return getUEIi32(19, value); }
aErr RailClass::setResistanceSetpoint(int32_t value) { return setUEIi32(19, value); }
aErr RailClass::clearFaults() { return callUEI(20); }

// ---- UARTClass -------------------------------------------------------------

aErr UARTClass::getEnable(uint8_t* value) { return getUEI8(1, value); }
aErr UARTClass::setEnable(uint8_t value) { return setUEI8(1, value); }
aErr UARTClass::getBaudRate(uint32_t* value) { return getUEI32(2, value); }
aErr UARTClass::setBaudRate(uint32_t value) { return setUEI32(2, value); }
aErr UARTClass::getProtocol(uint8_t* value) { return getUEI8(3, value); }
aErr UARTClass::setProtocol(uint8_t value) { return setUEI8(3, value); }

// ---- I2CClass --------------------------------------------------------------

aErr I2CClass::setSpeed(uint8_t speed) {
  if (speed > 3) return aErrParam;
  speed_ = speed;
  return aErrNone;
}

aErr I2CClass::getSpeed(uint8_t* speed) {
  if (!speed) return aErrParam;
  *speed = speed_;
  return aErrNone;
}

// Sends the request as command 8 and takes the reply for this bus: bytes
// 8, index, ..., its length byte at 3, its status at 4, then the data read.
aErr I2CClass::transfer(const uint8_t* request, uint8_t length, uint8_t* data, uint8_t wanted) {
  if (!link()) return aErrResource;
  aErr err = sendPacket(COMMAND, length, request);
  if (err != aErrNone) return err;
  const uint8_t match[] = {COMMAND, getIndex()};
  uint8_t replyLength = sizeof match;
  uint8_t reply[aPACKET_MAXDATA];
  err = receivePacket(match, &replyLength, reply);
  if (err != aErrNone) return err;
  if (replyLength < 5) return aErrPacket;
  if (reply[4] & 0x80) return reply[4] & 0x7F;
  if (!data) return aErrNone;
  // The data the reply says it carries must be there and fit the request.
  uint8_t count = reply[3];
  if (count > wanted || 5u + count > replyLength) return aErrPacket;
  std::memcpy(data, reply + 5, count);
  return aErrNone;
}

aErr I2CClass::read(uint8_t address, uint8_t length, uint8_t* data) {
  if (length > MAX_TRANSFER) return aErrSize;
  if (!data) return aErrParam;
  const uint8_t request[] = {getIndex(), static_cast<uint8_t>(address | 1), length, speed_};
  return transfer(request, sizeof request, data, length);
}

aErr I2CClass::write(uint8_t address, uint8_t length, const uint8_t* data) {
  if (length > MAX_TRANSFER) return aErrSize;
  if (length && !data) return aErrParam;
  uint8_t request[4 + MAX_TRANSFER] = {getIndex(), address, length, speed_};
  if (length) std::memcpy(request + 4, data, length);
  return transfer(request, static_cast<uint8_t>(4 + length), nullptr, 0);
}

aErr I2CClass::setPullup(bool enable) {
  const uint8_t request[] = {getIndex(), 1, static_cast<uint8_t>(enable ? 1 : 0)};
  return transfer(request, sizeof request, nullptr, 0);
}

}  // namespace Kelvarion
}  // namespace Mirovane
