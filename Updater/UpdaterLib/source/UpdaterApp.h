#ifndef UPDATER_UPDATERAPP_H
#define UPDATER_UPDATERAPP_H
// The command object built by main: one operation per command. Each group of
// operations lives in its own source file (UpdaterApp_<group>.cpp).
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "upgrade/UpdateFirmware.h"  // the update's pre-transfer check

class UpdaterDisplayInterface;
class BirdFile;
struct DeviceListEntry;

// Device kinds found by the recovery identification step.
enum { DEVICE_KIND_NONE = 0, DEVICE_KIND_LIVELOADER = 1, DEVICE_KIND_SERIAL_ISP = 2 };
// The serial number a started liveloader announces itself with; it also
// stands for a missing serial number in the fingerprint command.
constexpr uint32_t PLACEHOLDER_SERIAL = 0xDEADDEAD;

class UpdaterApp {
 public:
  UpdaterApp(const std::string& serverUrl, const std::string& updaterDirectory,
             UpdaterDisplayInterface* display)
      : serverUrl(serverUrl), updaterDirectory(updaterDirectory), display(display) {}

  // Device discovery and listing (-D).
  std::vector<DeviceListEntry> discoverDevices(int linkType);
  std::vector<DeviceListEntry> discoverNetworkDevices(uint32_t routerSerial, int linkType);

  // Build listing and retrieval (-B, -G). listBuilds sets *ok (when given) to
  // false when the server could not be asked, so that -B can fail.
  std::map<std::string, std::string> listBuilds(uint32_t serial, bool* ok = nullptr);
  uint32_t getBuild(uint32_t serial, const std::string& build, bool override, bool noCal);
  bool isBuildValid(uint32_t serial, uint32_t build, const std::string& baseUrl);

  // Device update (-U).
  bool updateDevice(uint32_t serial, uint32_t build, const std::string& birdPath,
                    uint8_t moduleAddress, uint32_t routerSerial, bool override);
  // Raises std::runtime_error when the file cannot be had.
  BirdFile openBirdForDevice(const char* label, const std::string& birdPath, uint32_t serial,
                             uint32_t build, bool download);

  // Recovery through a boot loader (-U -t RECOVER) and fingerprint (-N).
  bool recover(const std::string& serialPort, uint32_t build, uint32_t baud, uint32_t serial,
               const std::string& birdPath, bool override);
  bool identifyDevice(uint32_t identifier[4], const std::string& serialPort, uint32_t serial,
                      const std::string& birdPath, uint32_t baud, bool resetAfter);

  const std::string serverUrl;
  const std::string updaterDirectory;
  UpdaterDisplayInterface* const display;
  int deviceKind = DEVICE_KIND_NONE;
};

#endif
