#ifndef KELVARION_INTERNAL_ADISCOVERYINTERNAL_H
#define KELVARION_INTERNAL_ADISCOVERYINTERNAL_H
// Discovery's inner steps, apart from their I/O so that they can be tested
// with made-up devices and answers (not part of the exported interface).
#include "aDiscovery.h"
#include "platform/usb.h"

// Most modules one USB walk keeps.
#define aDISCOVERY_USB_TABLE_SIZE 128

// The walk's table: one entry per serial number, at most 128, in the order
// in which serial numbers were first seen.
struct aUSBModuleTable {
  struct Entry {
    uint32_t serialNumber;
    uint32_t model;
  } entries[aDISCOVERY_USB_TABLE_SIZE];
  size_t count = 0;
};

// Enters one device in the table when it is one of the maker's modules with
// the link interface; returns whether it was entered (or overwrote an entry).
bool aDiscovery_AddUSBDevice(aUSBModuleTable* table, const platform::UsbDeviceInfo* device);

// Reads a serial-number string as hexadecimal: 1 to 8 hex digits, nothing else.
bool aDiscovery_ParseUSBSerial(const char* text, uint32_t* serialNumber);

// Decodes one TCP/IP discovery answer received from fromAddress (network byte
// order). False for answers shorter than 16 bytes and for datagrams that are
// no module's answer (zero sender, or a module address that is 0 or odd).
bool aDiscovery_DecodeAnswer(const uint8_t* data, size_t length, uint32_t fromAddress,
                                        linkSpec* spec);

// The 16-byte request.
void aDiscovery_MakeRequest(uint8_t request[aDISCOVERY_MESSAGE_SIZE]);

#endif
