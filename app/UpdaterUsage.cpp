// The usage text, laid out from tables: option entries in columns of 5 + 25
// characters followed by "- " (descriptions continue at column 32), debug
// channels at column 32 in a 20-character name column, samples in a
// 31-character command column.
#include "UpdaterUsage.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "UpdaterDisplay.h"
#include "server/ServerComm.h"

namespace {

const char kProgram[] = "Updater";
// The default server's host and port, as the -u line shows them: the default
// URL without its scheme and path.
std::string defaultServerShown() {
  std::string url = UPDATER_DEFAULT_SERVER_URL;
  size_t scheme = url.find("://");
  if (scheme != std::string::npos) url.erase(0, scheme + 3);
  return url.substr(0, url.find('/'));
}

const char kShortUsage[] =
    "\nApplication Usage:\n%s <-B | -D | -G | -U > [-Hh | --help] [-b build_num]\n"
    "    [-d serial_num]\n"
    "    [-t transport] [-r router_serial]\n"
    "    [-s serial_port] [-o baud_rate]\n\n"
    "  Kelvarion Update and Maintenance Application\n"
    "    -H -h or --help for full usage information.\n\n";

const int kEntryIndent = 5;
const int kOptionColumn = 25;
const int kDescriptionIndent = 32;
const int kChannelNameColumn = 20;
const int kSampleColumn = 31;

struct Entry {
  const char* option;
  std::vector<std::string> lines;
  bool blankAfter;
};

struct Block {
  const char* heading;
  std::vector<Entry> entries;
};

// One channel line of the -X entry, or an empty line where name is null.
struct Channel {
  const char* name;
  uint32_t value;
};

const Channel kChannels[] = {
    {"DEBUG_Updater", DEBUG_Updater},
    {"DEBUG_History", DEBUG_History},
    {"DEBUG_Attributes", DEBUG_Attributes},
    {"DEBUG_BirdFile", DEBUG_BirdFile},
    {"DEBUG_Network", DEBUG_Network_Legacy},
    {"DEBUG_ServerComm", DEBUG_ServerComm},
    {nullptr, 0},
    {"DEBUG_Network", DEBUG_Network},
    {"DEBUG_Network_SR", DEBUG_Network_SR},
    {"DEBUG_Network_FIRM", DEBUG_Network_FIRM},
    {nullptr, 0},
    {"DEBUG_NXPSerial", DEBUG_NXPSerial},
    {"DEBUG_NXPSerial_E", DEBUG_NXPSerial_E},
    {"DEBUG_NXPSerial_SR", DEBUG_NXPSerial_SR},
    {nullptr, 0},
    {"DEBUG_APP", DEBUG_APP},
    {nullptr, 0},
    {"DEBUG_iMXSerial", DEBUG_iMXSerial},
};

std::string format(const char* pattern, int width, const char* text) {
  char line[256];
  snprintf(line, sizeof line, pattern, width, text);
  return line;
}

std::vector<std::string> channelLines() {
  std::vector<std::string> lines = {"Bitmask for Logging"};
  for (const Channel& channel : kChannels) {
    if (!channel.name) {
      lines.push_back("");
      continue;
    }
    char line[64];
    snprintf(line, sizeof line, "%-*s0x%08X", kChannelNameColumn, channel.name, channel.value);
    lines.push_back(line);
  }
  return lines;
}

std::vector<Block> mainBlocks() {
  return {
      {"  Parameters to commands:",
       {
           {"-b <build number>",
            {"Build version of the firmware to transfer.", "[Default: latest version available]."},
            false},
           {"-d <device>", {"Device serial number of the device to access."}, false},
           {"-t <transport type>", {"communications method [USB,TCP,RECOVER]."}, false},
           {"-r <router serial>", {"indirect connection through router device"}, false},
           {"-s <serial port>", {"name of serial port to use for recovery"}, false},
           {"-o <baud rate>",
            {"baud rate for serial port (2400, 4800, 9600,", "19200, 38400, 57600, 115200, 230400)"},
            false},
       }},
      {"  Commands:",
       {
           {"-B", {"list the Builds available for given device."}, true},
           {"-D", {"Discover devices that are currently connected."}, true},
           {"-G",
            {"Get build file from the Mirovane server and",
             "store on local machine for download to device.",
             "Must specify a specific device [\"-d\" option].",
             "Default is to obtain the latest build for the", "given device, override with \"-b\" option."},
            true},
           {"-U",
            {"Update the firmware on device specified.", "Must specify a specific device [\"-d\" option].",
             "Default is to download the latest build for the",
             "given device, override with \"-b\" option or",
             "specify specific BIRD file using \"-f\" option."},
            false},
           {"-H or -h", {"Display extended usage information."}, true},
       }},
  };
}

std::vector<Block> extendedBlocks() {
  return {
      {"  Extended Parameters:",
       {
           {"-f <bird file>", {"Firmware file to be transferred to device."}, false},
           {"-e", {"echoing of bytes enabled during recovery."}, true},
           {"-l 'log message'", {"message to place in device history log"}, false},
           {"-k <filename>", {"log messages written into given filename", "Default:[APP.log]"}, false},
           {"-u <host:port>",
            {"The hostname and port of the update server", "Default: " + defaultServerShown()},
            false},
       }},
      {"  Extended Commands:",
       {
           {"-I",
            {"View stored device information.", "Must either use DISCOVER command [\"-D\"] or",
             "specify a specific device [\"-d\" option]."},
            true},
           {"-OVERRIDE",
            {"Override the model checks for BIRD firmware files.",
             "This option should only be used when authorized by", "Mirovane development engineers."},
            true},
           {"-N", {"Get fingerprint from a device, requires -s"}, true},
           {"-X <BIT_MASK>", channelLines(), true},
           {"-C", {"Check the given BIRDFILE"}, true},
       }},
  };
}

struct Sample {
  const char* command;
  std::vector<const char*> lines;
};

const char kSampleHeading[] = " Sample usage:";
const char kNetworkSampleHeading[] = " Sample usage for network discovery and updates:";

const std::vector<Sample>& samples() {
  static const std::vector<Sample> list = {
      {"-D",
       {"Discover all devices connected by either USB or TCPIP.",
        "Records the device information into the settings for that device."}},
      {"-D -t USB",
       {"Discover all the devices connected by USB. Records the",
        "device information into the settings for that device."}},
      {"-D -t USB -d 0F5849A", {"Discover settings of the specific device (serial number 0x40F5849A)"}},
      {"-G -d 40F5849A",
       {"Get the latest firmware for the given device.",
        "Downloads the firmware file into the updater specific device directory."}},
      {"-U -d 40F5849A",
       {"Update the firmware on the specific device.",
        "Without other options, this command will try to locate",
        "the latest firmware version to be used for updating the device."}},
      {"-G -d 40F5849A -b 99528558",
       {"Get the specified build's firmware for the given device.",
        "Downloads the firmware file into the updater's specific",
        "device directory with the build number as the filename."}},
      {"-G -U -d 40F5849A",
       {"Get the latest firmware for the given device.",
        "Downloads the firmware file into the updater specific",
        "device directory. After download, update the firmware", "using the latest release."}},
      {"-U -t RECOVER -s /dev/serial",
       {"Update the firmware as described above, but uses the serial interface",
        "in communicating with the device to install the latest firmware."}},
      {"-D -r D272031D",
       {"Discover all devices connected to the I2C Kelvarion network",
        "of the given routing device D272031D."}},
  };
  return list;
}

// A description line after the first: indented, or empty as it stands.
std::string continuation(int indent, const std::string& line) {
  return line.empty() ? "\n" : std::string(static_cast<size_t>(indent), ' ') + line + "\n";
}

std::string blockText(const std::vector<Block>& blocks) {
  std::string text;
  for (const Block& block : blocks) {
    text += std::string(block.heading) + "\n";
    for (const Entry& entry : block.entries) {
      text += std::string(kEntryIndent, ' ') + format("%-*s- ", kOptionColumn, entry.option);
      text += entry.lines.front() + "\n";
      for (size_t i = 1; i < entry.lines.size(); ++i)
        text += continuation(kDescriptionIndent, entry.lines[i]);
      if (entry.blankAfter) text += "\n";
    }
  }
  return text;
}

std::string sampleText() {
  std::string text = std::string(kSampleHeading) + "\n\n";
  const std::vector<Sample>& list = samples();
  for (size_t i = 0; i < list.size(); ++i) {
    if (i + 1 == list.size()) text += std::string(kNetworkSampleHeading) + "\n\n";
    text += format("%-*s", kSampleColumn, list[i].command) + list[i].lines.front() + "\n";
    for (size_t line = 1; line < list[i].lines.size(); ++line)
      text += continuation(kSampleColumn, list[i].lines[line]);
    text += "\n";
  }
  return text;
}

}  // namespace

std::string usageText(bool extended, bool full) {
  char head[sizeof kShortUsage + sizeof kProgram];
  snprintf(head, sizeof head, kShortUsage, kProgram);
  std::string text = head;
  if (full) {
    text += blockText(mainBlocks());
    if (extended) text += blockText(extendedBlocks());
    text += sampleText();
  }
  return text;
}

void printUsage(bool extended, bool full) { fputs(usageText(extended, full).c_str(), stderr); }

void printShortUsage() { printUsage(false, false); }
