#ifndef SIMISP_SIMULATOR_H
#define SIMISP_SIMULATOR_H
// The simulated ISP boot loader on a pseudo-terminal: a thread reads what the
// host writes to the slave side, feeds the loader model and writes its
// answers, optionally paced at the wire time of the line's rate.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "IspLoaderModel.h"
#include "IspSimOptions.h"

class IspSimulator {
 public:
  explicit IspSimulator(const IspSimOptions& options);
  ~IspSimulator();
  IspSimulator(const IspSimulator&) = delete;
  IspSimulator& operator=(const IspSimulator&) = delete;

  // Opens the pseudo-terminal, loads the initial flash and starts the thread.
  // False with *error set on failure.
  bool start(std::string* error);
  // Stops the thread and saves the flash (when a flash file is set). The
  // state stays readable until the simulator is destroyed or started again.
  void stop();
  // Path of the slave side, to be opened as the serial port.
  std::string portPath() const;

  // Copies of the loader's state, taken under the lock (only after a
  // successful start).
  std::vector<uint8_t> flash() const;
  std::vector<std::string> commands() const;
  std::vector<std::string> dataLines() const;
  bool started() const;
  uint32_t startAddress() const;
  // Saves the flash to path. False on failure.
  bool saveFlash(const std::string& path) const;

 private:
  class Runner;
  IspSimOptions options_;
  std::unique_ptr<Runner> runner_;
  bool running_ = false;
};

#endif
