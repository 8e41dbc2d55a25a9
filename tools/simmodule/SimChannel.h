#ifndef SIMMODULE_SIMCHANNEL_H
#define SIMMODULE_SIMCHANNEL_H
// The byte channel between the simulated module and the host: a connected
// socket (TCP or an in-process pair) or the master side of a pseudo-terminal.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/serial.h"
#include "platform/socket.h"

namespace simmodule {

class Channel {
 public:
  virtual ~Channel() = default;
  // Up to size bytes, waiting up to timeoutMs for the first: the count,
  // 0 when nothing came, -1 when the channel is gone.
  virtual long read(uint8_t* buffer, size_t size, uint32_t timeoutMs) = 0;
  // Every byte or false.
  virtual bool write(const uint8_t* bytes, size_t count) = 0;
  // Ends the connection: with a reset where the transport has one.
  virtual void close(bool reset) = 0;
  // Whether close() really ends the host's connection.
  virtual bool canDrop() const = 0;
};

// An endpoint that hands out the host's connections one at a time and can be
// taken away while the module restarts (a USB device on its bus).
class Port {
 public:
  virtual ~Port() = default;
  // The next host connection, waiting up to timeoutMs; null when none came.
  virtual std::unique_ptr<Channel> accept(uint32_t timeoutMs) = 0;
  // Takes the endpoint away (false) or brings it back (true).
  virtual void setPresent(bool present) = 0;
};

std::unique_ptr<Channel> makeSocketChannel(platform::SocketHandle socket);
// Takes ownership of the pseudo-terminal.
std::unique_ptr<Channel> makePtyChannel(platform::Pty* pty);

}  // namespace simmodule

#endif
