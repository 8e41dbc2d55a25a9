// Serial ports through the file interface with overlapped I/O and the
// communication-state and time-out calls. Ports are opened by name ("COM3",
// or "\\.\COM12"); a plain name is opened through the device namespace, so
// ports above COM9 work as well.
#include "platform/serial.h"

#include <windows.h>

#include <new>
#include <string>

#include "platform/win32/wakeup_win32.h"

namespace platform {

struct SerialPort {
  HANDLE handle;
  DCB savedState;
  COMMTIMEOUTS savedTimeouts;
  HANDLE readEvent;
  HANDLE writeEvent;
  // A byte taken while waiting for input, handed out by the next read.
  bool hasPending;
  uint8_t pending;
};

struct Pty {};

namespace {

bool standardRate(uint32_t rate) {
  switch (rate) {
    case 2400:
    case 4800:
    case 9600:
    case 19200:
    case 38400:
    case 57600:
    case 115200:
    case 230400: return true;
    default: return false;
  }
}

std::wstring devicePath(const char* path) {
  std::wstring wide;
  int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
  if (length <= 1) return wide;
  wide.resize(static_cast<size_t>(length));
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, &wide[0], length);
  wide.resize(static_cast<size_t>(length - 1));
  if (wide.find(L'\\') == std::wstring::npos && wide.find(L'/') == std::wstring::npos)
    wide = L"\\\\.\\" + wide;
  return wide;
}

// Waits for an overlapped transfer started on handle; cancels it after
// timeoutMs, or as soon as the wake-up (if any) is signalled. *done gets the
// count moved. False when the transfer failed.
bool finishTransfer(HANDLE handle, OVERLAPPED* overlapped, uint32_t timeoutMs, DWORD* done,
                    Wakeup* wakeup = nullptr, bool* woken = nullptr) {
  HANDLE events[2] = {overlapped->hEvent, wakeupEvent(wakeup)};
  DWORD wait = WaitForMultipleObjects(wakeup ? 2 : 1, events, FALSE, timeoutMs);
  if (wait == WAIT_OBJECT_0 + 1 && wakeupConsume(wakeup) && woken) *woken = true;
  if (wait != WAIT_OBJECT_0) CancelIo(handle);
  // After a cancel the transfer still reports what it moved before it ended.
  if (!GetOverlappedResult(handle, overlapped, done, TRUE))
    return GetLastError() == ERROR_OPERATION_ABORTED;
  return true;
}

// Reads one byte, waiting up to timeoutMs (0 = only what is there) or until
// the wake-up (if any) is signalled.
SerialRead readOne(SerialPort* port, uint8_t* byte, uint32_t timeoutMs, Wakeup* wakeup = nullptr,
                   bool* woken = nullptr) {
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = MAXDWORD;
  if (timeoutMs > 0) {
    // Returns at once with what is there, else waits up to the constant for one byte.
    t.ReadTotalTimeoutMultiplier = MAXDWORD;
    t.ReadTotalTimeoutConstant = timeoutMs >= MAXDWORD - 1 ? MAXDWORD - 1 : timeoutMs;
  }
  if (!SetCommTimeouts(port->handle, &t)) return SerialRead::Failed;
  OVERLAPPED overlapped{};
  overlapped.hEvent = port->readEvent;
  ResetEvent(port->readEvent);
  DWORD done = 0;
  if (!ReadFile(port->handle, byte, 1, &done, &overlapped)) {
    if (GetLastError() != ERROR_IO_PENDING) return SerialRead::Failed;
    // The port's own time-out ends the read; a second's grace before cancelling.
    uint32_t bound = timeoutMs >= MAXDWORD - 1000 ? INFINITE : timeoutMs + 1000;
    if (!finishTransfer(port->handle, &overlapped, bound, &done, wakeup, woken)) return SerialRead::Failed;
  }
  return done == 1 ? SerialRead::Byte : SerialRead::Nothing;
}

}  // namespace

SerialPort* serialOpen(const char* path) {
  if (!path || !*path) return nullptr;
  std::wstring wide = devicePath(path);
  if (wide.empty()) return nullptr;
  // No sharing: a second opener is refused by the system.
  HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  SerialPort* port = new (std::nothrow) SerialPort{};
  if (port) {
    port->handle = handle;
    port->savedState.DCBlength = sizeof(DCB);
    port->readEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    port->writeEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  if (!port || !port->readEvent || !port->writeEvent || !GetCommState(handle, &port->savedState) ||
      !GetCommTimeouts(handle, &port->savedTimeouts)) {
    if (port) {
      if (port->readEvent) CloseHandle(port->readEvent);
      if (port->writeEvent) CloseHandle(port->writeEvent);
      delete port;
    }
    CloseHandle(handle);
    return nullptr;
  }
  return port;
}

bool serialConfigure(SerialPort* port, const SerialSettings& settings) {
  if (!port || !standardRate(settings.baudRate)) return false;
  DCB dcb = port->savedState;
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = settings.baudRate;
  dcb.fBinary = TRUE;
  dcb.fParity = settings.oddParity ? TRUE : FALSE;
  dcb.Parity = settings.oddParity ? ODDPARITY : NOPARITY;
  dcb.ByteSize = settings.sevenBits ? 7 : 8;
  dcb.StopBits = settings.twoStopBits ? TWOSTOPBITS : ONESTOPBIT;
  // Raw line: no flow control, no character replacement.
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  return SetCommState(port->handle, &dcb) != 0;
}

SerialRead serialReadByte(SerialPort* port, uint8_t* byte) {
  if (!port) return SerialRead::Failed;
  if (port->hasPending) {
    port->hasPending = false;
    *byte = port->pending;
    return SerialRead::Byte;
  }
  return readOne(port, byte, 0);
}

bool serialWaitReadable(SerialPort* port, uint32_t timeoutMs, Wakeup* wakeup) {
  if (!port) return true;
  if (port->hasPending) return true;
  if (wakeup && WaitForSingleObject(wakeupEvent(wakeup), 0) == WAIT_OBJECT_0) {
    wakeupConsume(wakeup);
    return true;
  }
  bool woken = false;
  SerialRead got = readOne(port, &port->pending, timeoutMs, wakeup, &woken);
  port->hasPending = got == SerialRead::Byte;
  // A failure is a condition for the next read to find.
  return got != SerialRead::Nothing || woken;
}

bool serialWrite(SerialPort* port, const uint8_t* bytes, size_t count, uint32_t timeoutMs) {
  if (!port) return false;
  size_t done = 0;
  while (done < count) {
    size_t chunk = count - done > 0x10000u ? 0x10000u : count - done;
    OVERLAPPED overlapped{};
    overlapped.hEvent = port->writeEvent;
    ResetEvent(port->writeEvent);
    DWORD moved = 0;
    if (!WriteFile(port->handle, bytes + done, static_cast<DWORD>(chunk), &moved, &overlapped)) {
      if (GetLastError() != ERROR_IO_PENDING) return false;
      if (!finishTransfer(port->handle, &overlapped, timeoutMs, &moved)) return false;
    }
    if (moved == 0) return false;  // nothing taken within timeoutMs
    done += moved;
  }
  return true;
}

bool serialClose(SerialPort* port) {
  if (!port) return false;
  bool restored = SetCommState(port->handle, &port->savedState) != 0;
  restored = SetCommTimeouts(port->handle, &port->savedTimeouts) != 0 && restored;
  CloseHandle(port->handle);
  CloseHandle(port->readEvent);
  CloseHandle(port->writeEvent);
  delete port;
  return restored;
}

// Pseudo-terminals are a feature of other systems; tests here use a port
// that Wine maps onto one.
Pty* ptyOpen() { return nullptr; }
const char* ptySlavePath(const Pty*) { return ""; }
long ptyRead(Pty*, uint8_t*, size_t, uint32_t) { return -1; }
bool ptyWrite(Pty*, const uint8_t*, size_t, uint32_t) { return false; }
void ptyClose(Pty*) {}

}  // namespace platform
