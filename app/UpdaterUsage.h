#ifndef UPDATER_UPDATERUSAGE_H
#define UPDATER_UPDATERUSAGE_H
// The usage text: always the short usage; when full, the parameters and
// commands, then (when extended) the extended block, then the samples.
#include <string>

std::string usageText(bool extended, bool full);
// Writes usageText to the standard error stream.
void printUsage(bool extended, bool full);
// Only the short usage, as written after a rejected command line.
void printShortUsage();

#endif
