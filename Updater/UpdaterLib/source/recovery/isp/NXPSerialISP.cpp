// Serial ISP client: opening the port and one function per boot-loader command.
#include "recovery/isp/NXPSerialISP.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "UpdaterDisplay.h"
#include "aTime.h"

namespace {

const size_t kPortNameMax = 2047;

}  // namespace

NXPSerialISP::NXPSerialISP() : target_(kIspTarget) {}

NXPSerialISP::~NXPSerialISP() {
  close();
}

aErr NXPSerialISP::close() {
  if (!stream_)
    return aErrNone;
  return aStream_Destroy(&stream_);
}

aErr NXPSerialISP::open(const char* portName, uint32_t baud) {
  close();
  if (!portName)
    return aErrParam;
  uint32_t index = 0;
  baud_ = ispRoundRate(baud, &index);
  wireFreeAtUs_ = 0;
  debugPrint(DEBUG_NXPSerial, "Creating serial connection: [%s] stream baud:%d(%d)\n", portName,
             static_cast<int>(index), static_cast<int>(baud_));
  aErr err = aStream_CreateSerial(portName, index, 0, 0, 0, &stream_);
  if (err != aErrNone) {
    debugPrint(DEBUG_NXPSerial, "Error Creating Serial [%s] ==> %s", portName, aError_GetErrorText(err));
    return err;
  }
  portName_.assign(portName, strnlen(portName, kPortNameMax));
  return aErrNone;
}

aErr NXPSerialISP::sync() {
  if (!stream_)
    return aErrIO;
  char reply[64];
  size_t length = 0;
  Send("?", false);
  aErr err = Response(reply, sizeof reply, &length, "Synchronized\r\n", 14);
  if (err != aErrNone) {
    debugPrint(DEBUG_NXPSerial, "Did not receive correct response to opening sync command: [%s]. Response: [%s]\n",
               aError_GetErrorText(err), ispPrintable(reply, length, true).c_str());
    return err;
  }
  if (strcmp(reply, "Synchronized\r\n") != 0)
    debugPrint(DEBUG_NXPSerial, "Did not receive correct response [%s]\n", ispPrintable(reply, length, true).c_str());
  Send("Synchronized\r\n", false);
  Response(reply, sizeof reply, &length, "Synchronized\r\n", 13);
  Response(reply, sizeof reply, &length, "OK\r\n", 4);
  if (strncmp(reply, "OK", 2) != 0)
    debugPrint(DEBUG_NXPSerial, "Did not receive correct response [%s] != [%s]\n",
               ispPrintable(reply, length, true).c_str(), "OK\\r\\n");
  char crystal[16];
  snprintf(crystal, sizeof crystal, "%u\r\n", target_.crystalKHz);
  Send(crystal, false);
  Response(reply, sizeof reply, &length, crystal, strlen(crystal) - 1);
  err = Response(reply, sizeof reply, &length, "OK\r\n", 4);
  if (err == aErrNone && strncmp(reply, "OK", 2) != 0) {
    debugPrint(DEBUG_NXPSerial, "Did not receive correct response [%s] != [%s]\n",
               ispPrintable(reply, length, true).c_str(), "OK\\r\\n");
    err = aErrIO;
  }
  return err;
}

aErr NXPSerialISP::readStatus(const char* errorPrefix, uint32_t channel) {
  char line[1024];
  size_t length = 0;
  aErr err = GetLine(line, sizeof line, &length, target_.statusTimeoutMs);
  long status = -1;
  if (ispParseStatus(line, length, echo_, &status) && status == 0)
    return aErrNone;
  if (err != aErrNone) {
    debugPrint(channel, "%s%s]\n", errorPrefix, aError_GetErrorText(err));
    return err;
  }
  debugPrint(channel, "%s%s]\n", errorPrefix, ispStatusName(status));
  return aErrParam;
}

aErr NXPSerialISP::command(const char* text, const char* errorPrefix, uint32_t channel) {
  if (!stream_)
    return aErrIO;
  aErr err = SendCommand(text, 0);
  if (err != aErrNone) {
    size_t length = strlen(text);
    debugPrint(DEBUG_NXPSerial, "Error Sending command [%s] [%s]\n", ispPrintable(text, length, true).c_str(),
               aError_GetErrorText(err));
    return err;
  }
  return readStatus(errorPrefix, channel);
}

aErr NXPSerialISP::setEcho(bool on) {
  debugPrint(DEBUG_NXPSerial, "Setting device echo %d\n", on ? 1 : 0);
  char text[16];
  snprintf(text, sizeof text, "A %d\r\n", on ? 1 : 0);
  aErr err = command(text, "Error response ==>[", DEBUG_NXPSerial);
  if (err == aErrNone)
    echo_ = on;
  return err;
}

aErr NXPSerialISP::unlock() {
  char text[24];
  snprintf(text, sizeof text, "U %u\r\n", target_.unlockCode);
  return command(text, "Error response ==>[", DEBUG_NXPSerial);
}

aErr NXPSerialISP::prepareSectors(uint32_t first, uint32_t last) { return sectorCommand('P', first, last); }

aErr NXPSerialISP::eraseSectors(uint32_t first, uint32_t last) { return sectorCommand('E', first, last); }

aErr NXPSerialISP::sectorCommand(char letter, uint32_t first, uint32_t last) {
  if (last < first)
    return aErrParam;
  char text[40];
  snprintf(text, sizeof text, "%c %u %u\r\n", letter, first, last);
  return command(text, "Error response ==>[", DEBUG_NXPSerial);
}

uint32_t NXPSerialISP::sectorOf(uint32_t address) const {
  return ispSectorOf(target_, address);
}

uint32_t NXPSerialISP::copyLength(uint32_t count) const {
  if (count > target_.largestCopy)
    debugPrint(DEBUG_NXPSerial, "Copy length is too large. %d > %d.\n", static_cast<int>(count),
               static_cast<int>(target_.largestCopy));
  return ispCopyLength(count);
}

aErr NXPSerialISP::copyRamToFlash(uint32_t flashAddress, uint32_t ramAddress, uint32_t count) {
  if (flashAddress % 256 != 0 || !ispValidCopyLength(count))
    return aErrParam;
  char text[64];
  snprintf(text, sizeof text, "C %u %u %u\r\n", flashAddress, ramAddress, count);
  return command(text, "Error response ==>[", DEBUG_NXPSerial);
}

aErr NXPSerialISP::go(uint32_t address) {
  if (!stream_)
    return aErrIO;
  char text[32];
  snprintf(text, sizeof text, "G %u T\r\n", address);
  aErr err = SendCommand(text, 0);
  if (err != aErrNone)
    debugPrint(DEBUG_NXPSerial, "Error Sending command [%s] [%s]\n", ispPrintable(text, strlen(text), true).c_str(),
               aError_GetErrorText(err));
  return err;
}

aErr NXPSerialISP::readSerialNumber() {
  // A refused N answers no words: its status is judged so that nothing else
  // is taken for them.
  aErr err = command("N\r\n", "Error response ==>[", DEBUG_NXPSerial);
  if (err != aErrNone)
    return err;
  uint32_t words[4];
  for (uint32_t& word : words) {
    char line[32];
    size_t length = 0;
    err = GetLine(line, sizeof line, &length, target_.serialLineTimeoutMs);
    if (err != aErrNone)
      return err;
    char* end = nullptr;
    errno = 0;
    unsigned long value = strtoul(line, &end, 0);
    if (end == line || errno != 0 || value > 0xFFFFFFFFul || (*end != '\r' && *end != '\0')) {
      debugPrint(DEBUG_NXPSerial, "Error response ==>[%s]\n", ispPrintable(line, length, true).c_str());
      return aErrParse;
    }
    word = static_cast<uint32_t>(value);
  }
  memcpy(serial_, words, sizeof serial_);
  return aErrNone;
}

aErr NXPSerialISP::sendLines(const uint8_t* data, uint32_t* position, uint32_t count) {
  for (uint32_t lines = 0; lines < target_.linesPerChecksum && *position < count; ++lines) {
    uint32_t take = std::min(target_.bytesPerLine, count - *position);
    char line[128];
    ispUuEncodeLine(data + *position, take, line);
    aErr err = Send(line, echo_);
    if (err == aErrNone)
      err = Send("\r\n", echo_);
    if (err != aErrNone)
      return err;
    *position += take;
  }
  return aErrNone;
}

aErr NXPSerialISP::writeBlocks(uint32_t count, const uint8_t* data) {
  uint32_t checkpoint = 0;
  uint32_t position = 0;
  uint32_t budget = target_.triesPerWrite;
  while (position < count) {
    aErr err = sendLines(data, &position, count);
    if (err != aErrNone)
      return err;
    uint32_t sum = ispChecksum(data + checkpoint, position - checkpoint);
    debugPrint(DEBUG_NXPSerial_E, "Write() Checksum: %08X (%d)\n", sum, static_cast<int>(sum));
    char text[24];
    snprintf(text, sizeof text, "%u\r\n", sum);
    if ((err = Send(text, echo_)) != aErrNone)
      return err;
    char reply[1024];
    size_t length = 0;
    uint32_t started = aTime_GetMSTicks();
    GetLine(reply, sizeof reply, &length, target_.checksumTimeoutMs);
    debugPrint(DEBUG_NXPSerial_E, "Write() waited for checksum %d ms\n", static_cast<int>(aTime_GetMSTicks() - started + 1));
    if (strcmp(reply, "OK\r\n") == 0) {
      checkpoint = position;
      debugPrint(DEBUG_NXPSerial, "Write() valid transfer of %d of %d (%.0f%%) bytes\n", static_cast<int>(position),
                 static_cast<int>(count), 100.0 * position / count);
    } else if (strcmp(reply, "RESEND\r\n") == 0) {
      if (--budget == 0) {
        debugPrint(DEBUG_NXPSerial, "Write() exceeded retries\n");
        return aErrTimeout;
      }
      position = checkpoint;
    } else {
      debugPrint(DEBUG_NXPSerial, "Write() unexpected response [%s]\n", ispPrintable(reply, length, true).c_str());
      return aErrIO;
    }
  }
  return aErrNone;
}

aErr NXPSerialISP::Write(uint32_t ramAddress, uint32_t count, const uint8_t* data) {
  if (count == 0 || count % 4 != 0 || !data)
    return aErrParam;
  if (!stream_)
    return aErrIO;
  char text[48];
  snprintf(text, sizeof text, "W %u %u\r\n", ramAddress, count);
  aErr err = SendCommand(text, 0);
  if (err != aErrNone) {
    debugPrint(DEBUG_NXPSerial, "Write() Error Sending command [%s] [%s]\n",
               ispPrintable(text, strlen(text), true).c_str(), aError_GetErrorText(err));
    return err;
  }
  if ((err = readStatus("Write() Error response ==>[", DEBUG_NXPSerial_SR)) != aErrNone)
    return err;
  return writeBlocks(count, data);
}
