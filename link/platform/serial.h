#ifndef KELVARION_PLATFORM_SERIAL_H
#define KELVARION_PLATFORM_SERIAL_H
// Serial ports and pseudo-terminals. A port is opened by path (on this system
// "/dev/ttyUSB0", "/dev/pts/3"); its settings at open time are kept and put
// back when it is closed.
//
// Backend contract (platform/<system>/serial*.cpp): one port is used by one
// reader thread and one writer thread at a time; serialClose is called once
// neither uses it. Nothing blocks without a bound: reads never wait (waiting
// is serialWaitReadable's, bounded by its time-out and ended early by the
// wake-up), writes give up after timeoutMs without progress. Failures are
// returned (null, false, Failed), never printed; interrupted system calls are
// retried. Pseudo-terminals are for tests; a system without them returns null
// from ptyOpen.
#include <cstddef>
#include <cstdint>

namespace platform {

struct Wakeup;

struct SerialPort;

struct SerialSettings {
  uint32_t baudRate;   // bits per second, one of the standard rates
  bool oddParity;      // parity generated and checked (odd); else none
  bool sevenBits;      // 7 data bits; else 8
  bool twoStopBits;    // 2 stop bits; else 1
};

enum class SerialRead { Byte, Nothing, Failed };

// Opens the port for reading and writing, exclusively (a second opener is
// refused), without making it the controlling terminal. Null on failure.
SerialPort* serialOpen(const char* path);
// Raw binary line with the given framing; reads return at once with what is
// there. False when the port refuses a setting (for example an unknown rate).
bool serialConfigure(SerialPort* port, const SerialSettings& settings);
// One byte if one is waiting, else Nothing; Failed when the port is gone.
SerialRead serialReadByte(SerialPort* port, uint8_t* byte);
// Waits up to timeoutMs for a byte to read; true as soon as one is waiting
// or the port reports a condition (hang-up, failure) for the next read to
// find, or the wake-up (if any) is signalled; false when the time ran out.
bool serialWaitReadable(SerialPort* port, uint32_t timeoutMs, Wakeup* wakeup = nullptr);
// Writes every byte, waiting while the output is full; false when the port
// fails or takes nothing for timeoutMs.
bool serialWrite(SerialPort* port, const uint8_t* bytes, size_t count, uint32_t timeoutMs);
// Puts the saved settings back and closes; false when restoring failed (the
// port is closed anyway).
bool serialClose(SerialPort* port);

// A pseudo-terminal pair standing in for a serial line: the master side is
// kept by its creator, the slave side is opened by path like any port.
// The slave starts as a raw line so that nothing is echoed or held back
// before a program has configured it.
struct Pty;
Pty* ptyOpen();
const char* ptySlavePath(const Pty* pty);
// Reads up to size bytes from the master, waiting up to timeoutMs for the
// first; 0 = nothing in time, -1 = failure.
long ptyRead(Pty* pty, uint8_t* buffer, size_t size, uint32_t timeoutMs);
// Writes every byte to the master; false on failure or after timeoutMs
// without progress.
bool ptyWrite(Pty* pty, const uint8_t* bytes, size_t count, uint32_t timeoutMs);
void ptyClose(Pty* pty);

}  // namespace platform

#endif
