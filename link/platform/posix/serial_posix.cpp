// Serial ports through termios, pseudo-terminals through posix_openpt.
#include "platform/serial.h"
#include "platform/posix/wakeup_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <new>

namespace platform {

struct SerialPort {
  int fd;
  struct termios saved;
};

struct Pty {
  int master;
  int slave;  // kept open so the master never sees the line hung up
  char slavePath[128];
};

namespace {

bool speedFor(uint32_t rate, speed_t* speed) {
  switch (rate) {
    case 2400: *speed = B2400; return true;
    case 4800: *speed = B4800; return true;
    case 9600: *speed = B9600; return true;
    case 19200: *speed = B19200; return true;
    case 38400: *speed = B38400; return true;
    case 57600: *speed = B57600; return true;
    case 115200: *speed = B115200; return true;
    case 230400: *speed = B230400; return true;
    default: return false;
  }
}

// Waits until fd can take more output; false after timeoutMs or on failure.
bool waitWritable(int fd, uint32_t timeoutMs) {
  struct pollfd p = {fd, POLLOUT, 0};
  int n;
  do {
    n = poll(&p, 1, static_cast<int>(timeoutMs));
  } while (n < 0 && errno == EINTR);
  return n > 0 && (p.revents & POLLOUT) && !(p.revents & (POLLERR | POLLNVAL));
}

bool writeAll(int fd, const uint8_t* bytes, size_t count, uint32_t timeoutMs) {
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::write(fd, bytes + done, count - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
      return false;
    if (!waitWritable(fd, timeoutMs))
      return false;
  }
  return true;
}

void makeRaw(struct termios* t) {
  cfmakeraw(t);
  t->c_cflag |= CREAD | CLOCAL;
  t->c_cc[VMIN] = 0;
  t->c_cc[VTIME] = 0;
}

}  // namespace

SerialPort* serialOpen(const char* path) {
  int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    return nullptr;
  struct termios saved;
  // Exclusive use: a second program (or a second stream) opening the same port is refused.
  if (!isatty(fd) || tcgetattr(fd, &saved) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0 ||
      ioctl(fd, TIOCEXCL) != 0) {
    ::close(fd);
    return nullptr;
  }
  SerialPort* port = new (std::nothrow) SerialPort;
  if (!port) {
    ::close(fd);
    return nullptr;
  }
  port->fd = fd;
  port->saved = saved;
  return port;
}

bool serialConfigure(SerialPort* port, const SerialSettings& settings) {
  speed_t speed;
  if (!speedFor(settings.baudRate, &speed))
    return false;
  struct termios t = port->saved;
  makeRaw(&t);
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
  t.c_cflag |= settings.sevenBits ? CS7 : CS8;
  if (settings.oddParity) {
    t.c_cflag |= PARENB | PARODD;
    t.c_iflag |= INPCK;
  }
  if (settings.twoStopBits)
    t.c_cflag |= CSTOPB;
  if (cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0)
    return false;
  return tcsetattr(port->fd, TCSANOW, &t) == 0;
}

SerialRead serialReadByte(SerialPort* port, uint8_t* byte) {
  for (;;) {
    ssize_t n = ::read(port->fd, byte, 1);
    if (n == 1)
      return SerialRead::Byte;
    if (n == 0)
      return SerialRead::Nothing;
    if (errno == EINTR)
      continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? SerialRead::Nothing : SerialRead::Failed;
  }
}

bool serialWaitReadable(SerialPort* port, uint32_t timeoutMs, Wakeup* wakeup) {
  // A failing poll is left for the read to report.
  return pollReadableOrWoken(port->fd, wakeup, timeoutMs);
}

bool serialWrite(SerialPort* port, const uint8_t* bytes, size_t count, uint32_t timeoutMs) {
  return writeAll(port->fd, bytes, count, timeoutMs);
}

bool serialClose(SerialPort* port) {
  if (!port)
    return false;
  bool restored = tcsetattr(port->fd, TCSANOW, &port->saved) == 0;
  ioctl(port->fd, TIOCNXCL);
  ::close(port->fd);
  delete port;
  return restored;
}

Pty* ptyOpen() {
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0)
    return nullptr;
  Pty* pty = new (std::nothrow) Pty;
  if (!pty || grantpt(master) != 0 || unlockpt(master) != 0 ||
      ptsname_r(master, pty->slavePath, sizeof pty->slavePath) != 0) {
    delete pty;
    ::close(master);
    return nullptr;
  }
  int slave = ::open(pty->slavePath, O_RDWR | O_NOCTTY | O_CLOEXEC);
  struct termios t;
  if (slave < 0 || tcgetattr(slave, &t) != 0) {
    if (slave >= 0)
      ::close(slave);
    delete pty;
    ::close(master);
    return nullptr;
  }
  makeRaw(&t);
  tcsetattr(slave, TCSANOW, &t);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  pty->master = master;
  pty->slave = slave;
  return pty;
}

const char* ptySlavePath(const Pty* pty) {
  return pty->slavePath;
}

long ptyRead(Pty* pty, uint8_t* buffer, size_t size, uint32_t timeoutMs) {
  struct pollfd p = {pty->master, POLLIN, 0};
  int n = poll(&p, 1, static_cast<int>(timeoutMs));
  if (n < 0)
    return errno == EINTR ? 0 : -1;
  if (n == 0)
    return 0;
  ssize_t got = ::read(pty->master, buffer, size);
  if (got < 0)
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
  return static_cast<long>(got);
}

bool ptyWrite(Pty* pty, const uint8_t* bytes, size_t count, uint32_t timeoutMs) {
  return writeAll(pty->master, bytes, count, timeoutMs);
}

void ptyClose(Pty* pty) {
  if (!pty)
    return;
  ::close(pty->slave);
  ::close(pty->master);
  delete pty;
}

}  // namespace platform
