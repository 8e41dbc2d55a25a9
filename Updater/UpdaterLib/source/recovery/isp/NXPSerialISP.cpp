// Serial ISP client: line level and one function per boot-loader command.
#include "recovery/isp/NXPSerialISP.h"

NXPSerialISP::NXPSerialISP() : target_(kIspTarget) {}
NXPSerialISP::~NXPSerialISP() { close(); }
aErr NXPSerialISP::open(const char*, uint32_t) { return aErrUnimplemented; }
aErr NXPSerialISP::close() {
  if (stream_)
    return aStream_Destroy(&stream_);
  return aErrNone;
}
aErr NXPSerialISP::sync() { return aErrUnimplemented; }
aErr NXPSerialISP::setEcho(bool) { return aErrUnimplemented; }
aErr NXPSerialISP::unlock() { return aErrUnimplemented; }
aErr NXPSerialISP::prepareSectors(uint32_t, uint32_t) { return aErrUnimplemented; }
aErr NXPSerialISP::eraseSectors(uint32_t, uint32_t) { return aErrUnimplemented; }
aErr NXPSerialISP::Write(uint32_t, uint32_t, const uint8_t*) { return aErrUnimplemented; }
aErr NXPSerialISP::copyRamToFlash(uint32_t, uint32_t, uint32_t) { return aErrUnimplemented; }
aErr NXPSerialISP::go(uint32_t) { return aErrUnimplemented; }
aErr NXPSerialISP::readSerialNumber() { return aErrUnimplemented; }
uint32_t NXPSerialISP::sectorOf(uint32_t address) const { return ispSectorOf(target_, address); }
uint32_t NXPSerialISP::copyLength(uint32_t count) const { return ispCopyLength(count); }
aErr NXPSerialISP::SendCommand(const char*, int) { return aErrUnimplemented; }
aErr NXPSerialISP::Send(const char*, bool) { return aErrUnimplemented; }
aErr NXPSerialISP::GetEcho(const char*, int, int*) { return aErrUnimplemented; }
aErr NXPSerialISP::GetLine(char*, size_t, size_t*, uint32_t) { return aErrUnimplemented; }
aErr NXPSerialISP::Response(char*, size_t, size_t*, const char*, size_t) { return aErrUnimplemented; }
