// Serial ISP client, line level: raw sends paced by their wire time, echo
// checks, status lines and replies of known length. Every wait is bounded in
// time (the target table's waits), measured on the steady clock while the
// stream waits for bytes.
#include <algorithm>
#include <cstring>

#include "UpdaterDisplay.h"
#include "aTime.h"
#include "recovery/isp/NXPSerialISP.h"

namespace {

const uint32_t kWaitSliceMs = 10;  // one "." of a wait that finds nothing

// How much of the line end "\r\n" the bytes so far end with: 0, 1 ("\r")
// or 2 (the whole of it) after one more byte.
int nextTerminatorState(int state, uint8_t byte) {
  if (byte == '\r') return 1;
  return byte == '\n' && state == 1 ? 2 : 0;
}

}  // namespace

aErr NXPSerialISP::readByte(uint8_t* byte, uint64_t deadlineUs, uint32_t channel) {
  if (!stream_)
    return aErrIO;
  for (;;) {
    aErr err = aStream_Read(stream_, byte, 1);
    if (err != aErrNotReady)
      return err;
    uint64_t now = aTime_GetUSTicks();
    if (now >= deadlineUs)
      return aErrTimeout;
    uint32_t slice = static_cast<uint32_t>(std::min<uint64_t>((deadlineUs - now + 999) / 1000, kWaitSliceMs));
    if (aStream_Wait(stream_, slice) == aErrNotReady)
      debugPrint(channel, ".");
  }
}

uint64_t NXPSerialISP::deadlineAfter(uint32_t milliseconds) const {
  return aTime_GetUSTicks() + static_cast<uint64_t>(milliseconds) * 1000;
}

// The transmission-time pacing, counted on a running schedule: each
// text is due to have left the wire its 9-bit-per-character time after the
// previous one did, so rounding and the sleeps' own lateness do not add up.
uint32_t NXPSerialISP::account(size_t length) {
  if (baud_ == 0)
    return 0;
  uint64_t now = aTime_GetUSTicks();
  uint64_t wireUs = static_cast<uint64_t>(length) * 9 * 1000000 / baud_;
  wireFreeAtUs_ = std::max(wireFreeAtUs_, now) + wireUs;
  return static_cast<uint32_t>((wireFreeAtUs_ - now) / 1000);
}

void NXPSerialISP::pace() {
  uint64_t now = aTime_GetUSTicks();
  if (wireFreeAtUs_ > now)
    aTime_USSleep(static_cast<uint32_t>(std::min<uint64_t>(wireFreeAtUs_ - now, UINT32_MAX)));
}

aErr NXPSerialISP::Send(const char* text, bool checkEcho) {
  if (!stream_ || !text)
    return aErrParam;
  size_t length = strlen(text);
  debugPrint(DEBUG_NXPSerial_SR, "Sending:[%s] [%s]\n", ispHexBytes(text, length).c_str(),
             ispPrintable(text, length, true).c_str());
  aErr err = aStream_Write(stream_, reinterpret_cast<const uint8_t*>(text), length);
  uint32_t waitMs = account(length);
  debugPrint(DEBUG_NXPSerial_E, "Send() wait %dms\n", static_cast<int>(waitMs));
  pace();
  if (err != aErrNone) {
    debugPrint(DEBUG_NXPSerial, "Error Test_Serial_Send() [%s]\n", aError_GetErrorText(err));
    return err;
  }
  if (checkEcho) {
    int matched = 0;
    GetEcho(text, static_cast<int>(length) - 1, &matched);
  }
  return err;
}

aErr NXPSerialISP::SendCommand(const char* text, int waitMs) {
  if (!stream_ || !text)
    return aErrParam;
  size_t length = strlen(text);
  debugPrint(DEBUG_NXPSerial_SR, "Sending:[%s] [%s]\n", ispHexBytes(text, length).c_str(),
             ispPrintable(text, length, false).c_str());
  aErr err = aStream_Write(stream_, reinterpret_cast<const uint8_t*>(text), length);
  account(length);
  if (waitMs > 0) {
    debugPrint(DEBUG_NXPSerial_E, "SendCommand() wait for command completion [%d ms]\n", waitMs);
    aTime_MSSleep(static_cast<uint32_t>(waitMs));
  }
  if (err != aErrNone) {
    debugPrint(DEBUG_NXPSerial, "Error Test_Serial_Send() [%s]\n", aError_GetErrorText(err));
    debugPrint(DEBUG_NXPSerial, "Error Write Serial [%s]\n", aError_GetErrorText(err));
    return err;
  }
  if (echo_) {
    int matched = 0;
    GetEcho(text, static_cast<int>(length) - 1, &matched);
    if (matched < static_cast<int>(length) - 1)
      debugPrint(DEBUG_NXPSerial, "Error SendCommand() bad echo [%d!=%d]\n", matched, static_cast<int>(length));
  }
  return err;
}

aErr NXPSerialISP::GetEcho(const char* text, int count, int* matched) {
  if (!text || !matched)
    return aErrParam;
  *matched = 0;
  int length = static_cast<int>(strlen(text));
  count = std::min(count, length);
  debugPrint(DEBUG_NXPSerial_E, "GetEcho([%s] %d, ...)\n", ispHexBytes(text, static_cast<size_t>(length)).c_str(),
             count);
  debugPrint(DEBUG_NXPSerial_E, "recv Echo:[");
  // The echo comes back at the rate it went out, plus the target's allowance.
  uint64_t deadline = deadlineAfter(target_.echoTimeoutMs + static_cast<uint32_t>(ispSendTimeMs(count, baud_)));
  // The echo is as long as the text: each byte takes its place, so a wrong
  // echo cannot swallow the status line behind it. Line ends before the
  // first place are what an earlier echo left.
  aErr last = aErrNone;
  int position = 0;
  while (position < count) {
    uint8_t byte = 0;
    last = readByte(&byte, deadline, DEBUG_NXPSerial_E);
    if (last != aErrNone)
      break;
    unsigned char want = static_cast<unsigned char>(text[position]);
    if (position == 0 && byte != want && (byte == '\r' || byte == '\n')) {
      debugPrint(DEBUG_NXPSerial_E, " %.2X!=%.2X", byte, want);
      continue;
    }
    ++position;
    if (byte == want) {
      debugPrint(DEBUG_NXPSerial_E, " %02X", byte);
      ++*matched;
    } else {
      debugPrint(DEBUG_NXPSerial_E, " %.2X!=%.2X", byte, want);
    }
  }
  debugPrint(DEBUG_NXPSerial_E, "]\n");
  return last;
}

aErr NXPSerialISP::GetLine(char* buffer, size_t size, size_t* length, uint32_t timeoutMs) {
  if (!buffer || !length || size == 0)
    return aErrParam;
  *length = 0;
  int terminator = 0;  // 1 after "\r", 2 after "\r\n"
  uint64_t deadline = deadlineAfter(timeoutMs);
  aErr last = aErrNone;
  while (*length < size - 1 && terminator < 2) {
    uint8_t byte = 0;
    last = readByte(&byte, deadline, DEBUG_NXPSerial_SR);
    if (last != aErrNone)
      break;
    if (byte == '\n' && *length == 0) {
      debugPrint(DEBUG_NXPSerial_SR, ",");  // the rest of an echo's line end
      continue;
    }
    buffer[(*length)++] = static_cast<char>(byte);
    terminator = nextTerminatorState(terminator, byte);
  }
  buffer[*length] = '\0';
  debugPrint(DEBUG_NXPSerial_SR, "GetLine() Received: [%s] [%s] %d %s [%s]\n", ispHexBytes(buffer, *length).c_str(),
             ispPrintable(buffer, *length, true).c_str(), static_cast<int>(*length),
             terminator == 2 ? "term" : "non-term", aError_GetErrorText(last));
  return last;
}

aErr NXPSerialISP::Response(char* buffer, size_t size, size_t* length, const char* expected, size_t expectedLength) {
  if (!buffer || !length || size == 0)
    return aErrParam;
  *length = 0;
  size_t limit = expected ? std::min(expectedLength, size - 1) : size - 1;
  size_t comparable = expected ? strlen(expected) : 0;
  int waitMs = baud_ ? static_cast<int>((expectedLength + 2) * 9000 / baud_ + 21) : 21;
  debugPrint(DEBUG_NXPSerial_E, "Response() wait for serial [%d bytes, %d, %d ms]\n", static_cast<int>(expectedLength),
             static_cast<int>(baud_), waitMs);
  uint64_t deadline = deadlineAfter(static_cast<uint32_t>(waitMs) + target_.replyTimeoutMs);
  int terminator = 0;
  aErr last = aErrNone;
  while (*length < limit && terminator < 2) {
    uint8_t byte = 0;
    last = readByte(&byte, deadline, DEBUG_NXPSerial_SR);
    if (last != aErrNone)
      break;
    if (*length == 0 && (byte == '\n' || byte == '\r')) {
      debugPrint(DEBUG_NXPSerial_E, byte == '\n' ? "Response ignoring leading \\n\n" : "Response ignoring leading \\r\n");
      continue;
    }
    if (*length < 3 && byte == 0) {
      debugPrint(DEBUG_NXPSerial_E, "Response ignoring leading 0 byte\n");
      continue;
    }
    if (*length < comparable && byte != static_cast<unsigned char>(expected[*length])) {
      unsigned char want = static_cast<unsigned char>(expected[*length]);
      debugPrint(DEBUG_NXPSerial,
                 "Error Test_Serial_Response() Expected byte %d does not match [[%02X] %c != %c [%02X]]\n",
                 static_cast<int>(*length), byte, isprint(byte) ? byte : ' ', isprint(want) ? want : ' ', want);
    }
    buffer[(*length)++] = static_cast<char>(byte);
    terminator = nextTerminatorState(terminator, byte);
  }
  buffer[*length] = '\0';
  debugPrint(DEBUG_NXPSerial_SR, "Response: [%s] [%s]\n", ispHexBytes(buffer, *length).c_str(),
             ispPrintable(buffer, *length, true).c_str());
  return last;
}
