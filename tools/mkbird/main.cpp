// mkbird: packages raw images into a BIRD firmware file, or dumps one.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "BirdDump.h"
#include "BirdWriter.h"
#include "UpdaterDisplay.h"

namespace {

const char* kUsage =
    "Usage: mkbird -o FILE [options]      build a BIRD firmware file\n"
    "       mkbird dump [-v] FILE         print the blocks of a BIRD file\n"
    "\n"
    "Blocks, written in the order given (numbers are decimal or 0x hexadecimal):\n"
    "  -l ADDR:FILE[:FLAGS]   loader image block (type 0), code from FILE loaded at ADDR\n"
    "                         (FLAGS 0-7, default 0, here and below)\n"
    "  -f ADDR:FILE[:FLAGS]   firmware image block (type 1), code from FILE loaded at ADDR\n"
    "  -s SERIAL:DESCRIPTOR   serial offset block (type 2): image addresses of the serial\n"
    "                         number and of the descriptor digits (0 = none)\n"
    "  -i PRODUCT:RELEASE:SERIAL:MODEL\n"
    "                         information block (type 4); fields are cut or padded to 16\n"
    "                         characters, a SERIAL of 1-8 hex digits is written as %08X\n"
    "  -j ADDR                jump address block (type 5)\n"
    "  -b TYPE:FLAGS:FILE     any block (type 0-31, flags 0-7), data from FILE\n"
    "  -x TYPE:FLAGS:HEX      any block, data given as hex digits (may be empty)\n"
    "File options:\n"
    "  -o FILE                output file (required)\n"
    "  -V VERSION             header version (default 0x0101)\n"
    "  -c CHECKSUM            checksum to store (default: CRC-32 of the content)\n"
    "  -N COUNT               block count to report (default: the number of blocks)\n"
    "  -z LEVEL               zlib compression level 0-9 (default 9)\n"
    "Dump options:\n"
    "  -v                     also print the loader's BIRDFILE diagnostics\n"
    "  --help                 this text\n";

int usage(const char* problem = nullptr) {
  if (problem) std::fprintf(stderr, "mkbird: %s\n", problem);
  std::fputs(kUsage, stderr);
  return 2;
}

bool parseNumber(const std::string& text, uint32_t max, uint32_t& value) {
  if (text.empty() || text[0] == '-' || std::isspace(static_cast<unsigned char>(text[0])))
    return false;
  char* end = nullptr;
  unsigned long long number = std::strtoull(text.c_str(), &end, 0);
  if (*end != '\0' || number > max) return false;
  value = uint32_t(number);
  return true;
}

bool parseHex(const std::string& text, Bytes& out) {
  if (text.size() % 2) return false;
  for (size_t i = 0; i < text.size(); i += 2) {
    if (!std::isxdigit(static_cast<unsigned char>(text[i])) ||
        !std::isxdigit(static_cast<unsigned char>(text[i + 1])))
      return false;
    out.push_back(uint8_t(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
  }
  return true;
}

// Splits "a:b:c" at its first (parts - 1) colons; the last part keeps the rest.
bool split(const std::string& text, size_t parts, std::string* out) {
  size_t start = 0;
  for (size_t i = 0; i + 1 < parts; ++i) {
    size_t colon = text.find(':', start);
    if (colon == std::string::npos) return false;
    out[i] = text.substr(start, colon - start);
    start = colon + 1;
  }
  out[parts - 1] = text.substr(start);
  return true;
}

bool addImage(BirdWriter& writer, uint8_t type, const std::string& spec) {
  std::string parts[2];
  if (!split(spec, 2, parts)) return false;
  uint32_t address = 0, flags = 0;
  if (!parseNumber(parts[0], UINT32_MAX, address)) return false;
  std::string path = parts[1];
  size_t colon = path.rfind(':');
  if (colon != std::string::npos && parseNumber(path.substr(colon + 1), 7, flags))
    path = path.substr(0, colon);
  Bytes code;
  if (!readFileBytes(path, code)) {
    std::fprintf(stderr, "mkbird: cannot read %s\n", path.c_str());
    return false;
  }
  writer.addImage(type, address, code, uint8_t(flags));
  return true;
}

bool addInfo(BirdWriter& writer, const std::string& spec) {
  std::string parts[4];
  if (!split(spec, 4, parts)) return false;
  std::string& serial = parts[2];
  bool hex = !serial.empty() && serial.size() <= 8;
  for (char c : serial) hex = hex && std::isxdigit(static_cast<unsigned char>(c));
  if (hex) {
    char text[9];
    std::snprintf(text, sizeof text, "%08lX", std::strtoul(serial.c_str(), nullptr, 16));
    serial = text;
  }
  writer.addInfo(parts[0], parts[1], serial, parts[3]);
  return true;
}

bool addAnyBlock(BirdWriter& writer, const std::string& spec, bool fromFile) {
  std::string parts[3];
  uint32_t type = 0, flags = 0;
  if (!split(spec, 3, parts) || !parseNumber(parts[0], 31, type) || !parseNumber(parts[1], 7, flags))
    return false;
  Bytes data;
  if (fromFile ? !readFileBytes(parts[2], data) : !parseHex(parts[2], data)) return false;
  writer.addBlock(uint8_t(type), uint8_t(flags), data);
  return true;
}

bool addOffsets(BirdWriter& writer, const std::string& spec) {
  std::string parts[2];
  uint32_t serial = 0, descriptor = 0;
  if (!split(spec, 2, parts) || !parseNumber(parts[0], UINT32_MAX, serial) ||
      !parseNumber(parts[1], UINT32_MAX, descriptor))
    return false;
  writer.addSerialOffsets(serial, descriptor);
  return true;
}

int dump(int argc, char** argv) {
  bool verbose = false;
  const char* path = nullptr;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "-v") == 0)
      verbose = true;
    else if (argv[i][0] == '-' || path)
      return usage("dump takes one file and the option -v");
    else
      path = argv[i];
  }
  if (!path) return usage("dump needs a file");
  if (verbose) {
    setDebugStream(stderr);
    addDebugChannels(DEBUG_BirdFile);
  }
  return birdDump(stdout, path);
}

int build(int argc, char** argv) {
  BirdWriter writer;
  std::string output;
  uint32_t level = 9;
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    if (option.size() != 2 || option[0] != '-') return usage(("unknown argument " + option).c_str());
    if (option == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (i + 1 >= argc) return usage(("missing value after " + option).c_str());
    std::string value = argv[++i];
    uint32_t number = 0;
    bool ok = true;
    switch (option[1]) {
      case 'l': ok = addImage(writer, 0, value); break;
      case 'f': ok = addImage(writer, 1, value); break;
      case 's': ok = addOffsets(writer, value); break;
      case 'i': ok = addInfo(writer, value); break;
      case 'j': ok = parseNumber(value, UINT32_MAX, number) && (writer.addJumpAddress(number), true); break;
      case 'b': ok = addAnyBlock(writer, value, true); break;
      case 'x': ok = addAnyBlock(writer, value, false); break;
      case 'o': output = value; break;
      case 'V': ok = parseNumber(value, 0xFFFF, number) && (writer.setVersion(uint16_t(number)), true); break;
      case 'c': ok = parseNumber(value, UINT32_MAX, number) && (writer.setChecksum(number), true); break;
      case 'N': ok = parseNumber(value, UINT32_MAX, number) && (writer.setReportedBlockCount(number), true); break;
      case 'z': ok = parseNumber(value, 9, level); break;
      default: return usage(("unknown option " + option).c_str());
    }
    if (!ok) return usage(("bad value for " + option + ": " + value).c_str());
  }
  if (output.empty()) return usage("no output file (-o)");
  if (!writer.writeFile(output, int(level))) {
    std::fprintf(stderr, "mkbird: cannot write %s\n", output.c_str());
    return 1;
  }
  std::printf("mkbird: wrote %s (%zu blocks)\n", output.c_str(), writer.blockCount());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (std::strcmp(argv[1], "dump") == 0) return dump(argc, argv);
  return build(argc, argv);
}
