#ifndef SIMMODULE_USB_USBRUN_H
#define SIMMODULE_USB_USBRUN_H
// Runs a program inside a USB test bed and waits for it.
#include <string>
#include <vector>

#include "UsbTestbed.h"

namespace simusb {

// Runs argv with the bed's environment added; returns its exit code, 128 +
// the signal number when a signal ended it, or 127 when it could not be started.
int runInTestbed(const UsbTestbed& bed, const std::vector<std::string>& argv);

// A process that makes a test bed must itself run with umockdev's preload
// library for the bed's hot-plug events to reach the programs inside. When
// it does not, this starts the program again (argv as main got it) with the
// library preloaded and does not return; it returns when the library is in
// place already, or when it is missing or the new start failed.
void restartWithPreload(char** argv);

}  // namespace simusb

#endif
