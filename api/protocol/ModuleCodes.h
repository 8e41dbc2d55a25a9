#ifndef KELVARION_MODULE_CODES_H
#define KELVARION_MODULE_CODES_H
// The command and option codes of the module protocol, one copy for the
// object layer and the updater engine. Not installed: programs built on the
// library speak to modules through Link, Module and the entity classes. The
// entity classes' command codes are their public COMMAND constants.
#include <cstdint>

// The module-address query is a packet to this address with no data; the
// module answers with an empty packet from its own address.
constexpr uint8_t MODULE_ADDRESS_QUERY = 0xAD;

// Debug echo: the module sends the request's data back.
constexpr uint8_t cmdDEBUG = 23;  // 0x17

// Module queries: the first data byte after the command selects the query.
constexpr uint8_t cmdQUERY = 73;  // 0x49
constexpr uint8_t QUERY_HAS_UEI = 1;
constexpr uint8_t QUERY_CLASS_QUANTITY = 4;
constexpr uint8_t QUERY_SUBCLASS_QUANTITY = 5;
constexpr uint8_t QUERY_ENTITY_GROUP = 6;
constexpr uint8_t QUERY_BUILD = 0xFF;

// Store slots: command, option, then store and slot (options 1-4) or the
// handle an open gave (options 6-8). A reply with STORE_ERROR in its option
// carries the module's error code.
constexpr uint8_t cmdSTORE = 4;
constexpr uint8_t STORE_CAPACITY = 1;
constexpr uint8_t STORE_SIZE = 2;
constexpr uint8_t STORE_OPEN_READ = 3;
constexpr uint8_t STORE_OPEN_WRITE = 4;
constexpr uint8_t STORE_READ = 6;
constexpr uint8_t STORE_WRITE = 7;
constexpr uint8_t STORE_CLOSE = 8;
constexpr uint8_t STORE_ERROR = 0x80;
constexpr uint8_t STORE_INVALID_HANDLE = 0xFF;

// Streams: enabled and disabled by a set of the option, their state read by a get.
constexpr uint8_t cmdSTREAM = 93;  // 0x5D
constexpr uint8_t STREAM_ENABLE = 1;
constexpr uint8_t STREAM_DISABLE = 2;
constexpr uint8_t STREAM_STATUS = 1;

// Factory data: the option byte holds the selector in its low bits and the
// flags above it.
constexpr uint8_t cmdFACTORY = 0x5E;
constexpr uint8_t FACTORY_SELECTOR = 0x0F;
constexpr uint8_t FACTORY_WRITE = 0x10;
constexpr uint8_t FACTORY_CLOSE = 0x20;
constexpr uint8_t FACTORY_FIRST = 0x40;
constexpr uint8_t FACTORY_ERROR = 0x80;

// Options of the system entity (SystemClass).
constexpr uint8_t SYSTEM_MODULE = 1;
constexpr uint8_t SYSTEM_ROUTER = 2;
constexpr uint8_t SYSTEM_HB_INTERVAL = 3;
constexpr uint8_t SYSTEM_LED = 4;
constexpr uint8_t SYSTEM_BOOT_SLOT = 6;
constexpr uint8_t SYSTEM_VERSION = 7;
constexpr uint8_t SYSTEM_MODEL = 8;
constexpr uint8_t SYSTEM_SERIAL_NUMBER = 9;
constexpr uint8_t SYSTEM_SAVE = 10;
constexpr uint8_t SYSTEM_RESET = 11;
constexpr uint8_t SYSTEM_INPUT_VOLTAGE = 12;
constexpr uint8_t SYSTEM_MODULE_HARDWARE_OFFSET = 13;
constexpr uint8_t SYSTEM_MODULE_BASE_ADDRESS = 14;
constexpr uint8_t SYSTEM_MODULE_SOFTWARE_OFFSET = 15;
constexpr uint8_t SYSTEM_ROUTER_ADDRESS_SETTING = 16;
constexpr uint8_t SYSTEM_ROUTE_TO_ME = 20;
constexpr uint8_t SYSTEM_INPUT_CURRENT = 21;
constexpr uint8_t SYSTEM_UPTIME = 22;
constexpr uint8_t SYSTEM_MAXIMUM_TEMPERATURE = 23;
constexpr uint8_t SYSTEM_LOG_EVENTS = 24;
constexpr uint8_t SYSTEM_UNREGULATED_VOLTAGE = 25;
constexpr uint8_t SYSTEM_UNREGULATED_CURRENT = 26;
constexpr uint8_t SYSTEM_TEMPERATURE = 27;
constexpr uint8_t SYSTEM_MINIMUM_TEMPERATURE = 28;
constexpr uint8_t SYSTEM_INPUT_POWER_SOURCE = 29;
constexpr uint8_t SYSTEM_INPUT_POWER_BEHAVIOR_CONFIG = 31;
constexpr uint8_t SYSTEM_NAME = 32;
constexpr uint8_t SYSTEM_POWER_LIMIT = 33;
constexpr uint8_t SYSTEM_POWER_LIMIT_MAX = 34;
constexpr uint8_t SYSTEM_POWER_LIMIT_STATE = 35;
constexpr uint8_t SYSTEM_RESET_ENTITY_TO_FACTORY_DEFAULTS = 36;
constexpr uint8_t SYSTEM_RESET_DEVICE_TO_FACTORY_DEFAULTS = 37;
constexpr uint8_t SYSTEM_LINK_INTERFACE = 38;
// Four 32-bit words of the processor's identifier, subindex 0-3 (a
// liveloader answers it).
constexpr uint8_t SYSTEM_IDENTIFIER = 39;
constexpr uint8_t SYSTEM_HARDWARE_VERSION = 40;
constexpr uint8_t SYSTEM_ERRORS = 41;

// Upgrade: every request to a module's loader is cmdUPGRADE followed by one of
// these option bytes; the loader answers PREPARE, SUM and WRITE with a STATUS
// reply.
constexpr uint8_t cmdUPGRADE = 95;  // 0x5F
enum : uint8_t {
  val_UPGRADE_INIT = 0,
  val_UPGRADE_DATA = 1,
  val_UPGRADE_LOAD = 2,
  val_UPGRADE_PREPARE = 3,
  val_UPGRADE_SUM = 4,
  val_UPGRADE_WRITE = 5,
  val_UPGRADE_REBOOT = 6,
  val_UPGRADE_STATUS = 7
};

#endif
