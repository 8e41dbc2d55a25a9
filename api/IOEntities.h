#ifndef KELVARION_API_IOENTITIES_H
#define KELVARION_API_IOENTITIES_H
// Input and output entities: analog and digital pins, multiplexers, servos,
// relays, signals, equalizers, temperature sensors, power rails, UARTs and I2C buses.
//
// Every method is one UEI exchange with the bound entity: getters store the
// reply value (also a stale streamed one, with aErrStreamStale) and give
// aErrParam for a null output; setters and commands send a set.
#include "EntityClass.h"

namespace Mirovane {
namespace Kelvarion {

// Command 30.
class KLV_EXPORT AnalogClass : public EntityClass {
 public:
  static const uint8_t COMMAND = 30;
  void init(Module* module, uint8_t index) { EntityClass::init(module, COMMAND, index); }

  aErr getConfiguration(uint8_t* value);
  aErr setConfiguration(uint8_t value);
  aErr getValue(uint16_t* value);
  aErr setValue(uint16_t value);
  aErr getVoltage(int32_t* value);
  aErr setVoltage(int32_t value);
  aErr getBulkCaptureSampleRate(uint32_t* value);
  aErr setBulkCaptureSampleRate(uint32_t value);
  aErr getBulkCaptureNumberOfSamples(uint32_t* value);
  aErr setBulkCaptureNumberOfSamples(uint32_t value);
  aErr initiateBulkCapture();
  aErr getBulkCaptureState(uint8_t* value);
  aErr getRange(uint8_t* value);
  aErr setRange(uint8_t value);
  aErr getEnable(uint8_t* value);
  aErr setEnable(uint8_t value);
};

// Command 31.
class KLV_EXPORT DigitalClass : public EntityClass {
 public:
  static const uint8_t COMMAND = 31;
  void init(Module* module, uint8_t index) { EntityClass::init(module, COMMAND, index); }

  aErr getConfiguration(uint8_t* value);
  aErr setConfiguration(uint8_t value);
  aErr getState(uint8_t* value);
  aErr setState(uint8_t value);
  aErr getStateAll(uint32_t* value);
  aErr setStateAll(uint32_t value);
};

// Command 6.
class KLV_EXPORT MuxClass : public EntityClass {
 public:
  static const uint8_t COMMAND = 6;
  void init(Module* module, uint8_t index) { EntityClass::init(module, COMMAND, index); }

  aErr getEnable(uint8_t* value);
  aErr setEnable(uint8_t value);
  aErr getChannel(uint8_t* value);
  aErr setChannel(uint8_t value);
  aErr getChannelVoltage(uint8_t subindex, int32_t* value);
  aErr getConfiguration(int32_t* value);
  aErr setConfiguration(int32_t value);
  aErr getSplitMode(int32_t* value);
  aErr setSplitMode(int32_t value);
};

// Command 13.
class KLV_EXPORT RCServoClass : public EntityClass {
 public:
  static const uint8_t COMMAND = 13;
  void init(Module* module, uint8_t index) { EntityClass::init(module, COMMAND, index); }

  aErr getEnable(uint8_t* value);
  aErr setEnable(uint8_t value);
  aErr getPosition(uint8_t* value);
  aErr setPosition(uint8_t value);
  aErr getReverse(uint8_t* value);
  aErr setReverse(uint8_t value);
};

// Command 34.
class KLV_EXPORT RelayClass : public EntityClass {
 public:
  static const uint8_t COMMAND = 34;
  void init(Module* module, uint8_t index) { EntityClass::init(module, COMMAND, index); }

  aErr getEnable(uint8_t* value);
  aErr setEnable(uint8_t value);
  aErr getVoltage(int32_t* value);
};

// Command 14.
class KLV_EXPORT SignalClass : public EntityClass {
 public:
  static const uint8_t COMMAND = 14;
  void init(Module* module, uint8_t index) { EntityClass::init(module, COMMAND, index); }

  aErr getEnable(uint8_t* value);
  aErr setEnable(uint8_t value);
  aErr getInvert(uint8_t* value);
  aErr setInvert(uint8_t value);
  aErr getT3Time(uint32_t* value);
  aErr setT3Time(uint32_t value);
  aErr getT2Time(uint32_t* value);
  aErr setT2Time(uint32_t value);
};

// Command 15.
class KLV_EXPORT EqualizerClass : public EntityClass {
 public:
  static const uint8_t COMMAND = 15;
  void init(Module* module, uint8_t index) { EntityClass::init(module, COMMAND, index); }

  aErr getReceiverConfig(uint8_t subindex, uint8_t* value);
  aErr setReceiverConfig(uint8_t subindex, uint8_t value);
  aErr getTransmitterConfig(uint8_t* value);
  aErr setTransmitterConfig(uint8_t value);
};

// Command 33.
class KLV_EXPORT TemperatureClass : public EntityClass {
 public:
  static const uint8_t COMMAND = 33;
  void init(Module* module, uint8_t index) { EntityClass::init(module, COMMAND, index); }

  aErr getValue(int32_t* value);
  aErr getValueMin(int32_t* value);
  aErr getValueMax(int32_t* value);
  aErr resetEntityToFactoryDefaults();
};

// Command 32.
class KLV_EXPORT RailClass : public EntityClass {
 public:
  static const uint8_t COMMAND = 32;
  void init(Module* module, uint8_t index) { EntityClass::init(module, COMMAND, index); }

  aErr getVoltage(int32_t* value);
  aErr getCurrent(int32_t* value);
  aErr getCurrentLimit(int32_t* value);
  aErr setCurrentLimit(int32_t value);
  aErr getTemperature(int32_t* value);
  aErr getEnable(uint8_t* value);
  aErr setEnable(uint8_t value);
  aErr getKelvinSensingEnable(uint8_t* value);
  aErr setKelvinSensingEnable(uint8_t value);
  aErr getKelvinSensingState(uint8_t* value);
  aErr getOperationalMode(uint8_t* value);
  aErr setOperationalMode(uint8_t value);
  aErr getOperationalState(uint32_t* value);
  aErr getVoltageSetpoint(int32_t* value);
  aErr setVoltageSetpoint(int32_t value);
  aErr getCurrentSetpoint(int32_t* value);
  aErr setCurrentSetpoint(int32_t value);
  aErr getVoltageMinLimit(int32_t* value);
  aErr setVoltageMinLimit(int32_t value);
  aErr getVoltageMaxLimit(int32_t* value);
  aErr setVoltageMaxLimit(int32_t value);
  aErr getPower(int32_t* value);
  aErr getPowerSetpoint(int32_t* value);
  aErr setPowerSetpoint(int32_t value);
  aErr getPowerLimit(int32_t* value);
  aErr setPowerLimit(int32_t value);
  aErr getResistance(int32_t* value);
  aErr getResistanceSetpoint(int32_t* value);
  aErr setResistanceSetpoint(int32_t value);
  aErr clearFaults();
};

// Command 35.
class KLV_EXPORT UARTClass : public EntityClass {
 public:
  static const uint8_t COMMAND = 35;
  void init(Module* module, uint8_t index) { EntityClass::init(module, COMMAND, index); }

  aErr getEnable(uint8_t* value);
  aErr setEnable(uint8_t value);
  aErr getBaudRate(uint32_t* value);
  aErr setBaudRate(uint32_t value);
  aErr getProtocol(uint8_t* value);
  aErr setProtocol(uint8_t value);
};

// Command 8.
class KLV_EXPORT I2CClass : public EntityClass {
 public:
  static const uint8_t COMMAND = 8;
  // Also resets the bus speed to 0.
  void init(Module* module, uint8_t index) {
    EntityClass::init(module, COMMAND, index);
    speed_ = 0;
  }

  // Bus speeds 0-3 (kept in the object, sent with each transfer).
  aErr setSpeed(uint8_t speed);
  aErr getSpeed(uint8_t* speed);
  // Reads length bytes (at most 23) from the device at address.
  aErr read(uint8_t address, uint8_t length, uint8_t* data);
  // Writes length bytes (at most 23) to the device at address.
  aErr write(uint8_t address, uint8_t length, const uint8_t* data);
  aErr setPullup(bool enable);

  // Largest transfer in one packet.
  static const uint8_t MAX_TRANSFER = 23;

 private:
  aErr transfer(const uint8_t* request, uint8_t length, uint8_t* data, uint8_t wanted);

  uint8_t speed_ = 0;

};

}  // namespace Kelvarion
}  // namespace Mirovane

#endif
