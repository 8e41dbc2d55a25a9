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

}  // namespace simusb

#endif
