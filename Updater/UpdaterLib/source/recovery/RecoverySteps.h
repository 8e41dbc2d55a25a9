#ifndef UPDATER_RECOVERY_STEPS_H
#define UPDATER_RECOVERY_STEPS_H
// The inner steps of recovery (-U -t RECOVER) and of the fingerprint command
// (-N), used by UpdaterApp::identifyDevice and UpdaterApp::recover:
//   - serial-ISP modules: the processor's ISP boot loader on a serial port
//     gives the identifier and takes the firmware straight into flash;
//   - liveloader modules: the serial download boot loader (USB HID, or a
//     serial port) runs a small loader program, which enumerates on USB as a
//     module; it gives the identifier and takes the firmware stage.
// A step that fails says why in *cause (when given) so that the caller can
// name it on the error output.
#include <cstdint>
#include <string>

#include "UpdaterApp.h"
#include "aError.h"

class BirdFile;
class UpdaterDisplayInterface;

namespace recovery {

// The serial number a liveloader announces itself with, and the store entry
// that keeps the liveloader's own BIRD file.
constexpr uint32_t kPlaceholderSerial = PLACEHOLDER_SERIAL;
// The serial download boot loader on USB HID, chosen by the port name "USB".
constexpr uint16_t kSdpVendorId = 0x1FC9;
constexpr uint16_t kSdpProductId = 0x0130;
constexpr const char* kHidPortName = "USB";

// The four words of the ISP loader's device serial number. When nothing
// answered, *strayBytes counts the bytes the attempt left on the line (a
// serial download loader takes them for the start of a command).
bool readIspFingerprint(uint32_t identifier[4], const std::string& port, uint32_t baud,
                        uint32_t* strayBytes, std::string* cause);

// Starts the liveloader through the serial download boot loader on port and
// reads the identifier from it over USB; with resetAfter the module is reset
// afterwards.
bool identifyThroughLiveloader(UpdaterApp& app, const std::string& port, uint32_t serial,
                               const std::string& birdPath, bool resetAfter, uint32_t strayBytes,
                               uint32_t identifier[4], std::string* cause);

// Writes every loader block of bird to its address through the serial
// download boot loader on port ("USB": HID) and jumps to the start address.
// strayBytes left on a serial line by an earlier probe are completed into
// one whole command first, so that the loader's commands line up again.
aErr loadLiveloaderSDP(const BirdFile& bird, const std::string& port, uint32_t strayBytes,
                       std::string* cause);

// The firmware stage through the liveloader, found on USB under the
// placeholder serial or serial.
bool recoverOverUsb(UpdaterDisplayInterface* display, const BirdFile& bird, uint32_t serial);

// Checks that every firmware block can go through the ISP loader's RAM buffer
// into flash; false with *cause naming the first block that cannot.
bool checkIspFirmware(const BirdFile& bird, std::string* cause);

// Unlocks, prepares and erases the flash, writes every firmware block and
// starts the code.
bool recoverOverIsp(UpdaterDisplayInterface* display, const BirdFile& bird, const std::string& port,
                    uint32_t baud);

}  // namespace recovery

#endif
