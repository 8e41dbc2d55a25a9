#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "OptionTokenizer.h"
#include "RecordingDisplay.h"
#include "TestEnv.h"
#include "UpdaterDirectory.h"
#include "UpdaterOptions.h"

namespace {

struct Parsed {
  int result;
  UpdaterOptions options;
  std::vector<std::string> errors;
};

Parsed parse(std::vector<const char*> args) {
  args.insert(args.begin(), "/opt/tools/Updater");
  RecordingDisplay display;
  Parsed parsed;
  parsed.options.serialNumber = 0xBAD;  // the parser resets the record first
  parsed.result = parseOptions(&display, static_cast<int>(args.size()), args.data(), parsed.options);
  parsed.errors = display.errors;
  return parsed;
}

}  // namespace

TEST(OptionTokenizer, LookupMatchesShortOptionsExactlyAndLongOnesByUniquePrefix) {
  EXPECT_STREQ(OptionTokenizer::lookup("-B")->text, "-B");
  EXPECT_STREQ(OptionTokenizer::lookup("-O")->text, "-OVERRIDE");
  EXPECT_STREQ(OptionTokenizer::lookup("-OVERRID")->text, "-OVERRIDE");
  EXPECT_STREQ(OptionTokenizer::lookup("--h")->text, "--help");
  EXPECT_EQ(OptionTokenizer::lookup("-OVERRIDEX"), nullptr);
  EXPECT_EQ(OptionTokenizer::lookup("-Bx"), nullptr);
  EXPECT_EQ(OptionTokenizer::lookup("-b1"), nullptr);
  EXPECT_EQ(OptionTokenizer::lookup("-"), nullptr);  // prefix of two long options
  EXPECT_EQ(OptionTokenizer::lookup("-x"), nullptr);  // case matters
}

TEST(OptionTokenizer, ParametersAndErrors) {
  const char* argv[] = {"prog", "plain", "-d", "-5", "-d=12", "-B=1", "/abs/path", "-s", "/dev/tty0", "-e"};
  OptionTokenizer tokenizer(10, argv);
  OptionToken token;
  std::vector<TokenStatus> statuses;
  std::vector<std::string> parameters;
  while (tokenizer.next(token)) {
    statuses.push_back(token.status);
    parameters.push_back(token.parameter);
  }
  EXPECT_EQ(statuses, (std::vector<TokenStatus>{TokenStatus::MissingParameter, TokenStatus::UnknownOption,
                                                TokenStatus::Option, TokenStatus::UnexpectedParameter,
                                                TokenStatus::Option, TokenStatus::MissingParameter}));
  EXPECT_EQ(parameters[2], "12");
  EXPECT_EQ(parameters[4], "/dev/tty0");
}

TEST(UpdaterOptions, Defaults) {
  Parsed p = parse({});
  EXPECT_EQ(p.result, 0);
  EXPECT_EQ(p.options.commands, 0u);
  EXPECT_EQ(p.options.serialNumber, 0u);
  EXPECT_EQ(p.options.transport, TRANSPORT_USB);
  EXPECT_EQ(p.options.baudRate, 115200u);
  EXPECT_EQ(p.options.serverUrl, "http://127.0.0.1:8750/cgi/u");
  EXPECT_EQ(p.options.programName, "Updater");
  EXPECT_EQ(p.options.logMode, "a+");
  EXPECT_EQ(p.options.logFileName, "Updater.log");
  EXPECT_TRUE(p.errors.empty());
}

TEST(UpdaterOptions, SerialNumbers) {
  EXPECT_EQ(parse({"-d", "0x40F5849A"}).options.serialNumber, 0x40F5849Au);
  EXPECT_EQ(parse({"-d", "40f5849a"}).options.serialNumber, 0x40F5849Au);
  EXPECT_EQ(parse({"-d=0X00000001"}).options.serialNumber, 1u);
  EXPECT_EQ(parse({"-d", "1", "-d", "2"}).options.serialNumber, 2u);  // later wins
  EXPECT_EQ(parse({"-r", "d272031d"}).options.routerSerialNumber, 0xD272031Du);
  for (const char* bad : {"0", "xyz", "0x", "12 34", "123456789", "0x0x1"}) {
    Parsed p = parse({"-d", bad});
    EXPECT_EQ(p.result, 1) << bad;
    EXPECT_EQ(p.options.serialNumber, 0u) << bad;
  }
  Parsed p = parse({"-d", "0xzz"});
  ASSERT_EQ(p.errors.size(), 1u);
  EXPECT_EQ(p.errors[0], "Invalid serial number obtained from argument [zz]");
  p = parse({"-r", "0"});
  ASSERT_EQ(p.errors.size(), 1u);
  EXPECT_EQ(p.errors[0], "Invalid router serial number obtained from argument [0]");
}

TEST(UpdaterOptions, Transport) {
  Parsed p = parse({"-t", "TCPIP"});
  EXPECT_EQ(p.options.transport, TRANSPORT_TCPIP);
  EXPECT_TRUE(p.options.transportGiven);
  EXPECT_EQ(parse({"-t", "USB"}).options.transport, TRANSPORT_USB);
  EXPECT_EQ(parse({"-t", "RECOVER"}).options.transport, TRANSPORT_RECOVER);
  p = parse({"-t", "usb"});
  EXPECT_EQ(p.result, 1);
  EXPECT_EQ(p.options.transport, TRANSPORT_INVALID);
  EXPECT_TRUE(p.options.transportGiven);
  ASSERT_EQ(p.errors.size(), 1u);
  EXPECT_EQ(p.errors[0], "Invalid transport type:[usb]\nMust be one of the following: USB, TCPIP, RECOVER");
  EXPECT_EQ(parse({"-t", "RECOVE"}).result, 1);
}

TEST(UpdaterOptions, NumbersAndTexts) {
  EXPECT_EQ(parse({"-b", "007"}).options.buildNumber, "7");
  EXPECT_EQ(parse({"-b", "abc"}).options.buildNumber, "0");
  EXPECT_EQ(parse({"-b", "4294967295"}).options.buildNumber, "4294967295");
  EXPECT_EQ(parse({"-b", "00000000000042"}).options.buildNumber, "42");
  // Digits beyond 32 bits are refused, not taken as 0 (the current build).
  for (const char* big : {"4294967296", "4294967313", "99999999999"}) {
    Parsed p = parse({"-G", "-b", big});
    EXPECT_EQ(p.result, 1) << big;
    EXPECT_EQ(p.options.buildNumber, "") << big;
    ASSERT_EQ(p.errors.size(), 1u) << big;
    EXPECT_EQ(p.errors[0], std::string("Build number '") + big + "' does not fit in 32 bits");
  }
  EXPECT_EQ(parse({"-o", "9600"}).options.baudRate, 9600u);
  EXPECT_EQ(parse({"-o", "fast"}).options.baudRate, 0u);
  Parsed p = parse({"-s", "/dev/ttyUSB0", "-f", "/abs/fw.bird", "-l", "note", "-k", "x.log", "-u",
                    "http://h:1/cgi/u", "-n"});
  EXPECT_EQ(p.options.serialPort, "/dev/ttyUSB0");
  EXPECT_EQ(p.options.birdFile, "/abs/fw.bird");
  EXPECT_EQ(p.options.logMessage, "note");
  EXPECT_EQ(p.options.logFileName, "x.log");
  EXPECT_EQ(p.options.serverUrl, "http://h:1/cgi/u");
  EXPECT_TRUE(p.options.nFlag);
}

TEST(UpdaterOptions, FlagsAndCommands) {
  EXPECT_TRUE(parse({"-e", "1"}).options.echo);
  Parsed p = parse({"-e"});
  EXPECT_FALSE(p.options.echo);
  EXPECT_EQ(p.result, 0);
  EXPECT_TRUE(p.errors.empty());
  EXPECT_TRUE(parse({"-O"}).options.overrideModelCheck);
  EXPECT_EQ(parse({"-D", "-U", "-B", "-G", "-I", "-C", "-N"}).options.commands, 0x7Fu);
  EXPECT_EQ(parse({"-Z", "x"}).options.commands, uint32_t(CMD_Z));
  EXPECT_EQ(parse({"-Z"}).options.commands, 0u);
  p = parse({"-Y", "-D"});
  EXPECT_EQ(p.result, 1);
  ASSERT_EQ(p.errors.size(), 1u);
  EXPECT_EQ(p.errors[0], "Unhandled command: [-Y]");
}

TEST(UpdaterOptions, HelpEndsTheParse) {
  Parsed p = parse({"-D", "-h", "-d", "xyz", "-X", "1"});
  EXPECT_EQ(p.result, 0);
  EXPECT_TRUE(p.options.helpRequested);
  EXPECT_EQ(p.options.commands, uint32_t(CMD_HELP | CMD_DISCOVER));
  EXPECT_FALSE(p.options.debugMaskGiven);
  EXPECT_TRUE(p.errors.empty());
  EXPECT_TRUE(parse({"--he"}).options.helpRequested);
  EXPECT_TRUE(parse({"-X", "0", "-H"}).options.debugMaskGiven);
}

TEST(UpdaterOptions, VersionOptionsMatchExactlyAndEndTheParse) {
  // The version options must not take prefixes away from --help.
  EXPECT_STREQ(OptionTokenizer::lookup("--")->text, "--help");
  EXPECT_EQ(OptionTokenizer::lookup("--v"), nullptr);
  EXPECT_EQ(OptionTokenizer::lookup("--versio"), nullptr);
  EXPECT_EQ(OptionTokenizer::lookup("-Ve"), nullptr);
  for (const char* option : {"-V", "--version"}) {
    Parsed p = parse({"-D", option, "-d", "xyz"});
    EXPECT_EQ(p.result, 0) << option;
    EXPECT_TRUE(p.options.versionRequested) << option;
    EXPECT_FALSE(p.options.helpRequested) << option;
    EXPECT_TRUE(p.errors.empty()) << option;
  }
  EXPECT_FALSE(parse({"-V=1"}).options.versionRequested);
  EXPECT_FALSE(parse({"-h", "-V"}).options.versionRequested);
}

TEST(UpdaterOptions, DebugMaskAccumulatesAndRejectsLeftovers) {
  Parsed p = parse({"-X", "0x00040000", "-X", "524288"});
  EXPECT_EQ(p.result, 0);
  EXPECT_TRUE(p.options.debugMaskGiven);
  EXPECT_EQ(debugChannels() & 0x000C0000u, 0x000C0000u);
  p = parse({"-X", "0x00100000zz"});
  EXPECT_EQ(p.result, 0);
  ASSERT_EQ(p.errors.size(), 1u);
  EXPECT_EQ(p.errors[0], "Invalid format for \"-X\" parameter, unprocessed characters [zz]");
  EXPECT_EQ(debugChannels() & 0x00100000u, 0u);  // not applied
}

TEST(UpdaterDirectory, JoinAndHome) {
  EXPECT_EQ(joinPath("a", "b", "c", static_cast<const char*>(nullptr)), "a/b/c");
  EXPECT_EQ(joinPath("a", static_cast<const char*>(nullptr)), "a");
  testenv::SavedVariable home("HOME"), drive("HOMEDRIVE"), path("HOMEPATH"), profile("USERPROFILE");
  testenv::setHome("/home/op");
  EXPECT_EQ(getUpdaterDirectory(), "/home/op/.mirovane/updater");
  for (const char* name : {"HOME", "HOMEDRIVE", "HOMEPATH", "USERPROFILE"}) testenv::unsetVariable(name);
  EXPECT_EQ(getUpdaterDirectory(), "");
}
