// The store: attribute files, device directories, BIRD files inside them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <filesystem>
#include <stdexcept>

#include "BirdWriter.h"
#include "TestFiles.h"
#include "UpdaterStore.h"

using testfiles::DebugCapture;
using testfiles::readText;
using testfiles::writeText;

#ifdef _WIN32
// File permissions cannot make a file unreadable to its owner here: every
// user reads like root does elsewhere.
static int geteuid() { return 0; }
#endif

namespace {

const char* kOldTime = "Mon Jan  1 00:00:00 2001";

// "Www Mmm dd hh:mm:ss yyyy"
bool isTimeText(const std::string& text) {
  static const std::string days = "SunMonTueWedThuFriSat";
  static const std::string months = "JanFebMarAprMayJunJulAugSepOctNovDec";
  auto digits = [&](size_t at, size_t count) {
    for (size_t i = at; i < at + count; ++i)
      if (text[i] < '0' || text[i] > '9') return false;
    return true;
  };
  return text.size() == 24 && days.find(text.substr(0, 3)) % 3 == 0 &&
         days.find(text.substr(0, 3)) != std::string::npos && text[3] == ' ' &&
         months.find(text.substr(4, 3)) % 3 == 0 && months.find(text.substr(4, 3)) != std::string::npos &&
         text[7] == ' ' && (text[8] == ' ' || digits(8, 1)) && digits(9, 1) && text[10] == ' ' &&
         digits(11, 2) && text[13] == ':' && digits(14, 2) && text[16] == ':' && digits(17, 2) &&
         text[19] == ' ' && digits(20, 4);
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0, end;
  while ((end = text.find('\n', start)) != std::string::npos) {
    out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (start < text.size()) out.push_back(text.substr(start));
  return out;
}

}  // namespace

TEST(AttributeFile, MissingFileIsCreatedWithItsTimes) {
  TempDir dir;
  std::string path = dir.file(".settings");
  DebugCapture debug(DEBUG_Attributes);
  AttributeFile attributes(path.c_str());
  EXPECT_TRUE(debug.contains("Attibutes: Error - cannot open attributes file: '" + path + "' ("));
  std::vector<std::string> written = lines(readText(path));
  ASSERT_EQ(2u, written.size());
  EXPECT_EQ(0u, written[0].rfind("CREATED_TIME=", 0));
  EXPECT_EQ(0u, written[1].rfind("UPDATED_TIME=", 0));
  EXPECT_TRUE(isTimeText(written[0].substr(13))) << written[0];
  EXPECT_TRUE(isTimeText(attributes.getString(ATTR_CREATED_TIME)));
  EXPECT_TRUE(isTimeText(attributes.getString(ATTR_UPDATED_TIME)));
  EXPECT_EQ(path, attributes.fileName());
  EXPECT_FALSE(attributes.dirty());
  EXPECT_TRUE(isTimeText(localTimeText()));
}

TEST(AttributeFile, LinesAreTrimmedAndJunkSkipped) {
  TempDir dir;
  std::string path = dir.file("attrs");
  std::string longLine(3000, 'x');
  writeText(path, std::string("  KEY  =  two words  \r\n") + "#COMMENT=1\n" + "a\n" + "NOEQUALS\n" +
                      "  = no key\n" + "ALPHA=1\n" + "ALPHA=2\n" + "BIN=\x01\xff\xfe\n" +
                      std::string("NUL=ab\0cd\n", 10) + longLine + "\n" + "AFTER=long\n" +
                      "EQ=a=b\n" + "LAST=no line feed");
  AttributeFile attributes;
  ASSERT_EQ(aErrNone, attributes.read(path));
  EXPECT_EQ("two words", attributes.getString("KEY"));
  EXPECT_FALSE(attributes.has("#COMMENT"));
  EXPECT_FALSE(attributes.has("a"));
  EXPECT_TRUE(attributes.has("NOEQUALS"));
  EXPECT_EQ("", attributes.getString("NOEQUALS", "x"));
  EXPECT_FALSE(attributes.has(""));
  EXPECT_EQ("2", attributes.getString("ALPHA"));
  EXPECT_EQ("\x01\xff\xfe", attributes.getString("BIN"));
  EXPECT_EQ("ab", attributes.getString("NUL"));
  EXPECT_EQ("long", attributes.getString("AFTER"));  // the over-long line is skipped, not the rest
  EXPECT_EQ("a=b", attributes.getString("EQ"));
  EXPECT_EQ("no line feed", attributes.getString("LAST"));
  EXPECT_EQ(8u, attributes.items().size());

  // The same text parsed from memory gives the same items.
  std::string text = readText(path);
  AttributeFile parsed;
  parsed.parse(text.data(), text.size());
  EXPECT_EQ(attributes.items(), parsed.items());
}

TEST(AttributeFile, LineOfTheBufferSizeIsTheFirstTooLong) {
  TempDir dir;
  std::string path = dir.file("attrs");
  std::string fits = "K=" + std::string(AttributeFile::LINE_BUFFER_SIZE - 4, 'v') + "\n";  // 2047 bytes
  std::string over = "L=" + std::string(AttributeFile::LINE_BUFFER_SIZE - 3, 'v') + "\n";  // 2048 bytes
  writeText(path, fits + over + "M=1\n");
  AttributeFile attributes;
  attributes.read(path);
  EXPECT_EQ(AttributeFile::LINE_BUFFER_SIZE - 4, attributes.getString("K").size());
  EXPECT_FALSE(attributes.has("L"));
  EXPECT_EQ(1, attributes.getInt("M", 0));
}

TEST(AttributeFile, WriteKeepsKeyOrderAndTouchesUpdatedTimeOnlyOnChange) {
  TempDir dir;
  std::string path = dir.file(".settings");
  writeText(path, std::string("UPDATED_TIME=") + kOldTime + "\nLATEST_DOWNLOAD=5.bird\n");
  AttributeFile attributes(path.c_str());
  attributes.set(ATTR_LATEST_DOWNLOAD, "5.bird");
  EXPECT_FALSE(attributes.dirty());
  ASSERT_EQ(aErrNone, attributes.write());
  EXPECT_EQ(std::string("LATEST_DOWNLOAD=5.bird\nUPDATED_TIME=") + kOldTime + "\n", readText(path));

  attributes.set("B_KEY", "b");
  attributes.set("A_KEY", std::string("a"));
  EXPECT_TRUE(attributes.dirty());
  ASSERT_EQ(aErrNone, attributes.write());
  EXPECT_FALSE(attributes.dirty());
  std::vector<std::string> written = lines(readText(path));
  ASSERT_EQ(4u, written.size());
  EXPECT_EQ("A_KEY=a", written[0]);
  EXPECT_EQ("B_KEY=b", written[1]);
  EXPECT_EQ("LATEST_DOWNLOAD=5.bird", written[2]);
  EXPECT_NE(std::string("UPDATED_TIME=") + kOldTime, written[3]);
  EXPECT_TRUE(isTimeText(written[3].substr(13)));

  // Setting a missing key to the empty value changes nothing either.
  attributes.set("EMPTY", nullptr);
  EXPECT_FALSE(attributes.dirty());
}

TEST(AttributeFile, GetIntInsertsMissingKeysAndGetStringDoesNot) {
  TempDir dir;
  std::string path = dir.file(".settings");
  writeText(path, "LATEST_TRANSFER=1234.bird\nNEGATIVE=-7\nWORD=abc\nBIG=99999999999\n");
  AttributeFile attributes(path.c_str());
  EXPECT_EQ(1234, attributes.getInt(ATTR_LATEST_TRANSFER, 0));
  EXPECT_EQ(-7, attributes.getInt("NEGATIVE", 0));
  EXPECT_EQ(0, attributes.getInt("WORD", 5));
  EXPECT_EQ(INT_MAX, attributes.getInt("BIG", 0));
  EXPECT_EQ(0, attributes.getInt(ATTR_LATEST_DOWNLOAD, 0));
  EXPECT_EQ(42, attributes.getInt(ATTR_LATEST_DOWNLOAD, 42));
  EXPECT_EQ("fallback", attributes.getString("MISSING", "fallback"));
  EXPECT_EQ("", attributes.getString("MISSING"));
  EXPECT_FALSE(attributes.has("MISSING"));
  EXPECT_FALSE(attributes.dirty());
  ASSERT_EQ(aErrNone, attributes.write());
  std::string text = readText(path);
  EXPECT_NE(std::string::npos, text.find("\nLATEST_DOWNLOAD=\n")) << text;
  EXPECT_EQ(std::string::npos, text.find("UPDATED_TIME"));
}

TEST(AttributeFile, FailedWriteKeepsTheChangesPending) {
  TempDir dir;
  AttributeFile attributes;
  attributes.set("KEY", "value");
  DebugCapture debug(DEBUG_Attributes);
  std::string path = dir.file("missing/.settings");
  EXPECT_EQ(aErrNotFound, attributes.write(path.c_str()));
  EXPECT_TRUE(attributes.dirty());
  EXPECT_TRUE(debug.contains("Attibutes: Error - cannot open attributes file for writting: '" + path + "' ("));
  // A missing file that cannot be created either.
  AttributeFile unreadable;
  EXPECT_NE(aErrNone, unreadable.read(path));
}

TEST(UpdaterStore, KeepsOneDirectoryPerDevice) {
  TempDir dir;
  std::string root = dir.file("store/updater");
  DebugCapture debug(DEBUG_Updater);
  UpdaterStore store(root);
  EXPECT_TRUE(debug.contains("UpdaterStore: Created directory [" + root + "].\n"));
  UpdaterStore again(root);
  EXPECT_TRUE(debug.contains("UpdaterStore: [" + root + "] already exists.\n"));

  DeviceRecord device = store.getDevice(0xABCD);
  EXPECT_EQ("0000ABCD", device.name());
  EXPECT_TRUE(device.isDirectory());
  EXPECT_EQ(root + "/0000ABCD/.settings", device.attributes().fileName());
  EXPECT_EQ(2u, lines(readText(root + "/0000ABCD/.settings")).size());

  device.attributes().set(ATTR_LATEST_DOWNLOAD, "12.bird");
  ASSERT_EQ(aErrNone, device.attributes().write());
  DeviceRecord same = store.getDevice(0xABCD);
  EXPECT_EQ(12, same.attributes().getInt(ATTR_LATEST_DOWNLOAD, 0));
}

TEST(UpdaterStore, PathThatIsAFileIsAnError) {
  TempDir dir;
  std::string root = dir.file("plain");
  writeText(root, "not a directory");
  try {
    UpdaterStore store(root);
    FAIL() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ("UpdaterStore: " + root + " exists and is a file", std::string(error.what()));
  }
  UpdaterStore store(dir.file("root"));
  writeText(dir.file("root/0000ABCD"), "");
  EXPECT_THROW(store.getDevice(0xABCD), std::runtime_error);
  try {
    UpdaterStore below(root + "/sub");
    FAIL() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(0u, std::string(error.what()).rfind("UpdaterStore: Could not create directory " + root + "/sub error ", 0));
  }
}

TEST(UpdaterStore, FindDeviceTakesOnlyTheEntryNamedExactlyByTheSerial) {
  TempDir dir;
  std::string root = dir.file("root");
  UpdaterStore store(root);
  std::filesystem::create_directories(root + "/old-0000ABCD-backup");
  std::filesystem::create_directories(root + "/0000beef");
  writeText(root + "/old-0000ABCD-backup/.settings", "LATEST_DOWNLOAD=77.bird\n");

  // A look-alike name belongs to no device.
  DeviceRecord found;
  DebugCapture debug(DEBUG_Updater);
  EXPECT_FALSE(store.findDevice(0xABCD, &found));
  EXPECT_TRUE(debug.contains("UpdaterStore: FindDevice Not Found 0000ABCD.\n"));
  EXPECT_TRUE(debug.contains("_find_item(["));
  EXPECT_TRUE(found.empty());

  std::filesystem::create_directories(root + "/0000ABCD");
  writeText(root + "/0000ABCD/.settings", "LATEST_DOWNLOAD=78.bird\n");
  ASSERT_TRUE(store.findDevice(0xABCD, &found));
  EXPECT_TRUE(debug.contains("UpdaterStore: FindDevice Found 0000ABCD.\n"));
  EXPECT_EQ(root, found.root());
  EXPECT_EQ("0000ABCD", found.name());
  EXPECT_TRUE(found.isDirectory());
  EXPECT_EQ("", found.problem());
  EXPECT_EQ(78, found.attributes().getInt(ATTR_LATEST_DOWNLOAD, 0));

#ifndef _WIN32  // names differing only in case are one entry here
  EXPECT_FALSE(store.findDevice(0xBEEF, nullptr));  // lower-case name does not match
  EXPECT_TRUE(debug.contains("UpdaterStore: FindDevice Not Found 0000BEEF.\n"));
  EXPECT_FALSE(std::filesystem::exists(root + "/0000BEEF"));
  store.getDevice(0xBEEF);
  EXPECT_TRUE(store.findDevice(0xBEEF, nullptr));
#endif

  // A plain file of the serial's name is found, and named as the problem.
  writeText(root + "/00005555", "not a directory");
  DeviceRecord file;
  ASSERT_TRUE(store.findDevice(0x5555, &file));
  EXPECT_FALSE(file.isDirectory());
  EXPECT_EQ("UpdaterStore: " + root + "/00005555 exists and is a file", file.problem());

  // A root whose own path holds the serial text matches nothing by itself.
  std::string named = dir.file("0000CAFE-store");
  UpdaterStore other(named);
  std::filesystem::create_directories(named + "/00001111");
  EXPECT_FALSE(other.findDevice(0xCAFE, nullptr));
}

TEST(DeviceRecord, WritesAndLoadsBirdFiles) {
  TempDir dir;
  UpdaterStore store(dir.file("root"));
  DeviceRecord device = store.getDevice(0x1234);
  Bytes bird = BirdWriter().addInfo("P", "R", "00001234", "KV-Hub").addImage(1, 0x100, Bytes(20, 7)).fileBytes();
  ASSERT_EQ(aErrNone, device.writeFile("55.bird", bird.data(), bird.size()));
  EXPECT_EQ(bird, testfiles::readBytes(dir.file("root/00001234/55.bird")));
  BirdFile loaded = device.loadBird("55.bird");
  EXPECT_EQ(2u, loaded.blockCount());
  EXPECT_TRUE(loaded.matchesSerialNumber(0x1234));

  EXPECT_EQ(aErrNotFound, device.writeFile("x.bird", nullptr, 3));
  DeviceRecord nowhere(dir.file("root"), "missing-dir", true);
  EXPECT_EQ(aErrNotFound, nowhere.writeFile("x.bird", bird.data(), bird.size()));

  ASSERT_EQ(aErrNone, device.writeFile("junk.bird", "junk", 4));
  try {
    device.loadBird("junk.bird");
    FAIL() << "junk loaded";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ("Invalid bird " + dir.file("root/00001234/junk.bird"), std::string(error.what()));
  }
  Bytes broken(bird.begin(), bird.begin() + 12);  // passes the quick check only
  ASSERT_EQ(aErrNone, device.writeFile("broken.bird", broken.data(), broken.size()));
  try {
    device.loadBird("broken.bird");
    FAIL() << "broken file loaded";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ("Failed to load bird data", error.what());
  }
  EXPECT_THROW(device.loadBird("absent.bird"), std::runtime_error);
}

// An attribute file that is there but cannot be read keeps the device's
// history: it is reported and never replaced by a fresh one.
TEST(AttributeFile, UnreadableFileIsAnErrorAndIsNeverReplaced) {
  TempDir dir;
  std::string root = dir.file("root");
  UpdaterStore store(root);
  std::filesystem::create_directories(root + "/0000ABCD/.settings");  // not a file
  DeviceRecord found;
  ASSERT_TRUE(store.findDevice(0xABCD, &found));
  EXPECT_NE(std::string::npos, found.problem().find("Cannot read the attribute file " + root +
                                                    "/0000ABCD/.settings"))
      << found.problem();
  EXPECT_NE("", store.getDevice(0xABCD).problem());
  EXPECT_TRUE(std::filesystem::is_directory(root + "/0000ABCD/.settings"));

  if (geteuid() != 0) {  // root reads whatever the permissions say
    std::string path = dir.file("locked");
    writeText(path, "LATEST_TRANSFER=7.bird\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_write);
    AttributeFile attributes;
    EXPECT_EQ(aErrPermission, attributes.read(path));
    attributes.set(ATTR_LATEST_DOWNLOAD, "8.bird");
    EXPECT_EQ(aErrRead, attributes.write(path.c_str()));
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    EXPECT_EQ("LATEST_TRANSFER=7.bird\n", readText(path));
  }
}
