// simsdp: a serial download boot loader on a pseudo-terminal.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cerrno>
#include <mutex>
#include <string>
#include <thread>

#include "SdpPtySimulator.h"

namespace {

std::atomic<bool> stopSignal{false};
std::atomic<bool> jumped{false};

void onSignal(int) {
  stopSignal = true;
}

const char kUsage[] =
    "usage: simsdp [OPTIONS]\n"
    "Serves the serial download protocol on a pseudo-terminal and prints its path.\n"
    "  --path-file FILE        also write the pseudo-terminal's path to FILE (default: none)\n"
    "  --ram-base N            first RAM address (default 0x20000000)\n"
    "  --ram-size N            RAM size in bytes (default 0x400000)\n"
    "  --hab-mode N            HAB-mode word of every reply (default 0x56787856)\n"
    "  --error-status N        status word ERROR_STATUS reports (default 0)\n"
    "  --image-out FILE        save the RAM image after each file written and at exit (default: none)\n"
    "  --record FILE           append \"write ADDRESS SIZE\" and \"jump ADDRESS\" lines (default: none)\n"
    "  --exit-after-jump       end after the first JUMP_ADDRESS (default: run until signalled)\n"
    "faults (default: all off):\n"
    "  --no-ack                ERROR_STATUS gets no reply\n"
    "  --silent                nothing gets a reply\n"
    "  --unsolicited           a HAB word goes out as soon as WRITE_FILE arrives\n"
    "  --completion-status N   WRITE_FILE ends with status N instead of 0x88888888\n"
    "  --stall-after-write     stop reading the line after a WRITE_FILE command\n"
    "  --help                  this text\n";

struct Options {
  simsdp::DeviceConfig device;
  std::string pathFile;
  std::string imageOut;
  std::string record;
  bool exitAfterJump = false;
};

bool parseNumber(const char* text, uint32_t* value) {
  char* end = nullptr;
  errno = 0;
  unsigned long long n = strtoull(text, &end, 0);
  if (!*text || *end || errno || n > 0xFFFFFFFFull || text[0] == '-')
    return false;
  *value = static_cast<uint32_t>(n);
  return true;
}

// 0 = parsed, 1 = error, 2 = help printed.
int parseArguments(int argc, char** argv, Options* o) {
  simsdp::Faults& f = o->device.faults;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      fputs(kUsage, stdout);
      return 2;
    }
    bool* flag = arg == "--no-ack"              ? &f.noAck
                 : arg == "--silent"            ? &f.silent
                 : arg == "--unsolicited"       ? &f.unsolicited
                 : arg == "--stall-after-write" ? &f.stallAfterWriteFile
                 : arg == "--exit-after-jump"   ? &o->exitAfterJump
                                                : nullptr;
    if (flag) {
      *flag = true;
      continue;
    }
    if (i + 1 >= argc) {
      fprintf(stderr, "simsdp: unknown option or missing value: \"%s\"\n", arg.c_str());
      return 1;
    }
    const char* value = argv[++i];
    std::string* text = arg == "--path-file"   ? &o->pathFile
                        : arg == "--image-out" ? &o->imageOut
                        : arg == "--record"    ? &o->record
                                               : nullptr;
    if (text) {
      *text = value;
      continue;
    }
    uint32_t* number = arg == "--ram-base"            ? &o->device.ramBase
                       : arg == "--ram-size"          ? &o->device.ramSize
                       : arg == "--hab-mode"          ? &o->device.habMode
                       : arg == "--error-status"      ? &o->device.errorStatus
                       : arg == "--completion-status" ? &f.completionStatus
                                                      : nullptr;
    if (!number) {
      fprintf(stderr, "simsdp: unknown option \"%s\"\n", arg.c_str());
      return 1;
    }
    if (!parseNumber(value, number)) {
      fprintf(stderr, "simsdp: bad number \"%s\" for %s\n", value, arg.c_str());
      return 1;
    }
    if (arg == "--completion-status")
      f.wrongCompletion = true;
  }
  if (o->device.ramSize == 0 || o->device.ramSize > (256u << 20) ||
      static_cast<uint64_t>(o->device.ramBase) + o->device.ramSize > 0x100000000ull) {
    fprintf(stderr, "simsdp: RAM must be 1 byte to 256 MiB inside the 32-bit address space\n");
    return 1;
  }
  return 0;
}

class Recorder {
 public:
  explicit Recorder(const std::string& path) : path_(path) {}
  void line(const std::string& text) {
    if (path_.empty())
      return;
    std::lock_guard<std::mutex> lock(mutex_);
    FILE* file = fopen(path_.c_str(), "a");
    if (!file) {
      fprintf(stderr, "simsdp: cannot append to \"%s\"\n", path_.c_str());
      return;
    }
    fputs(text.c_str(), file);
    fclose(file);
  }

 private:
  std::string path_;
  std::mutex mutex_;
};

void saveImage(const simsdp::SdpDevice& device, const std::string& path) {
  std::string error;
  if (!path.empty() && !device.saveImage(path, &error))
    fprintf(stderr, "simsdp: %s\n", error.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  int parsed = parseArguments(argc, argv, &options);
  if (parsed != 0)
    return parsed == 2 ? 0 : 1;
  signal(SIGINT, onSignal);
  signal(SIGTERM, onSignal);

  simsdp::SdpPtySimulator simulator(options.device);
  Recorder recorder(options.record);
  simsdp::SdpDevice& device = simulator.device();
  device.onWrite = [&](const simsdp::WrittenBlock& block) {
    char text[64];
    snprintf(text, sizeof text, "write 0x%08X %zu\n", block.address, block.bytes.size());
    recorder.line(text);
    saveImage(device, options.imageOut);
  };
  device.onJump = [&](uint32_t address) {
    char text[32];
    snprintf(text, sizeof text, "jump 0x%08X\n", address);
    recorder.line(text);
    jumped = true;
  };
  if (!simulator.start()) {
    fprintf(stderr, "simsdp: cannot open a pseudo-terminal\n");
    return 1;
  }
  // The path goes to standard output first, so that whoever waits for the
  // path file finds it printed as well.
  printf("%s\n", simulator.slavePath().c_str());
  fflush(stdout);
  if (!options.pathFile.empty()) {
    FILE* file = fopen(options.pathFile.c_str(), "w");
    if (!file || fprintf(file, "%s\n", simulator.slavePath().c_str()) < 0 || fclose(file) != 0) {
      fprintf(stderr, "simsdp: cannot write \"%s\"\n", options.pathFile.c_str());
      return 1;
    }
  }
  while (!stopSignal && !(options.exitAfterJump && jumped))
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  simulator.stop();
  saveImage(device, options.imageOut);
  return 0;
}
