#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TempDir.h"
#include "aFile.h"

namespace {

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

}  // namespace

TEST(aFile, ReadLineSplitsAtLineFeedsAndKeepsThem) {
  TempDir tmp;
  std::string path = tmp.writeFile("lines", "ab\ncd");
  aFileRef file = aFile_Open(path.c_str(), aFileModeRead);
  ASSERT_NE(file, nullptr);
  char line[16];
  size_t length = 99;
  EXPECT_EQ(aFile_ReadLine(file, line, sizeof line, &length), aErrNone);
  EXPECT_STREQ(line, "ab\n");
  EXPECT_EQ(length, 3u);
  uint64_t position = 0;
  EXPECT_EQ(aFile_GetPosition(file, &position), aErrNone);
  EXPECT_EQ(position, 3u);
  EXPECT_EQ(aFile_ReadLine(file, line, sizeof line, &length), aErrNone);
  EXPECT_STREQ(line, "cd");
  EXPECT_EQ(length, 2u);
  EXPECT_EQ(aFile_ReadLine(file, line, sizeof line, &length), aErrEOF);
  EXPECT_STREQ(line, "");
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(aFile_Close(&file), aErrNone);
  EXPECT_EQ(file, nullptr);
}

TEST(aFile, ReadLineLongerThanTheBufferIsAnOverrun) {
  TempDir tmp;
  std::string path = tmp.writeFile("long", "0123456789abcdef\r\nnext\n");
  aFileRef file = aFile_Open(path.c_str(), aFileModeRead);
  ASSERT_NE(file, nullptr);
  char line[8];
  size_t length = 0;
  EXPECT_EQ(aFile_ReadLine(file, line, sizeof line, &length), aErrOverrun);
  EXPECT_STREQ(line, "0123456");
  EXPECT_EQ(length, 7u);
  EXPECT_EQ(aFile_ReadLine(file, line, sizeof line, &length), aErrOverrun);
  EXPECT_STREQ(line, "789abcd");
  // The carriage return stays in the line.
  EXPECT_EQ(aFile_ReadLine(file, line, sizeof line, &length), aErrNone);
  EXPECT_STREQ(line, "ef\r\n");
  EXPECT_EQ(aFile_ReadLine(file, line, sizeof line, &length), aErrNone);
  EXPECT_STREQ(line, "next\n");
  // A line that exactly fills the buffer with its line feed is whole.
  aFile_Close(&file);
  path = tmp.writeFile("exact", "123456\n");
  file = aFile_Open(path.c_str(), aFileModeRead);
  EXPECT_EQ(aFile_ReadLine(file, line, sizeof line, &length), aErrNone);
  EXPECT_EQ(length, 7u);
  aFile_Close(&file);
}

TEST(aFile, SeekStaysWithinTheFile) {
  TempDir tmp;
  std::string path = tmp.writeFile("ten", "0123456789");
  aFileRef file = aFile_Open(path.c_str(), aFileModeRead);
  ASSERT_NE(file, nullptr);
  uint64_t size = 0;
  EXPECT_EQ(aFile_GetSize(file, &size), aErrNone);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(aFile_Seek(file, 10, 0), aErrNone);
  EXPECT_EQ(aFile_Seek(file, 11, 0), aErrRange);
  EXPECT_EQ(aFile_Seek(file, -1, 0), aErrRange);
  EXPECT_EQ(aFile_Seek(file, 0, 2), aErrNone);
  EXPECT_EQ(aFile_Seek(file, 1, 2), aErrRange);
  EXPECT_EQ(aFile_Seek(file, -4, 2), aErrNone);
  EXPECT_EQ(aFile_Seek(file, -2, 1), aErrNone);
  uint64_t position = 0;
  EXPECT_EQ(aFile_GetPosition(file, &position), aErrNone);
  EXPECT_EQ(position, 4u);
  EXPECT_EQ(aFile_Seek(file, INT64_MAX, 1), aErrRange);
  EXPECT_EQ(aFile_Seek(file, 3, 7), aErrNone);  // unknown origin counts from the start
  char byte = 0;
  EXPECT_EQ(aFile_Read(file, &byte, 1, nullptr), aErrNone);
  EXPECT_EQ(byte, '3');
  aFile_Close(&file);
}

TEST(aFile, ModesDecideWhatIsAllowed) {
  TempDir tmp;
  std::string path = tmp.file("modes");
  EXPECT_EQ(aFile_Open(path.c_str(), aFileModeRead), nullptr);  // read needs an existing file

  aFileRef file = aFile_Open(path.c_str(), aFileModeWrite);
  ASSERT_NE(file, nullptr);
  size_t written = 0;
  EXPECT_EQ(aFile_Write(file, "hello", 5, &written), aErrNone);
  EXPECT_EQ(written, 5u);
  char buffer[8];
  size_t read = 7;
  EXPECT_EQ(aFile_Read(file, buffer, sizeof buffer, &read), aErrMode);
  EXPECT_EQ(aFile_ReadLine(file, buffer, sizeof buffer, &read), aErrMode);
  aFile_Close(&file);

  file = aFile_Open(path.c_str(), aFileModeAppend);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(aFile_Printf(file, " %s %d", "world", 42), aErrNone);
  EXPECT_EQ(aFile_Seek(file, 0, 0), aErrNone);
  EXPECT_EQ(aFile_Read(file, buffer, 5, &read), aErrNone);  // append mode also reads
  EXPECT_EQ(read, 5u);
  aFile_Close(&file);
  EXPECT_EQ(contents(path), "hello world 42");

  file = aFile_Open(path.c_str(), aFileModeRead);
  EXPECT_EQ(aFile_Write(file, "x", 1, nullptr), aErrMode);
  EXPECT_EQ(aFile_Printf(file, "x"), aErrMode);
  EXPECT_EQ(aFile_Read(file, buffer, 0, &read), aErrNone);  // nothing asked, nothing missing
  EXPECT_EQ(aFile_Seek(file, 0, 2), aErrNone);
  EXPECT_EQ(aFile_Read(file, buffer, 1, &read), aErrEOF);
  EXPECT_EQ(aFile_SetUnbuffered(file), aErrMode);
  aFile_Close(&file);

  file = aFile_Open(path.c_str(), aFileModeWrite);  // truncates
  aFile_Close(&file);
  EXPECT_EQ(contents(path), "");
  EXPECT_EQ(aFile_Open(path.c_str(), static_cast<aFileMode>(3)), nullptr);
  EXPECT_EQ(aFile_Open(tmp.path().c_str(), aFileModeRead), nullptr);  // a directory
  EXPECT_EQ(aFile_Open(std::string(261, 'a').c_str(), aFileModeWrite), nullptr);
}

TEST(aFile, ForeignOrClosedRecordsAreRejected) {
  aFileRef none = nullptr;
  char buffer[4];
  uint64_t size = 5;
  EXPECT_EQ(aFile_Read(nullptr, buffer, 1, nullptr), aErrParam);
  EXPECT_EQ(aFile_Write(nullptr, buffer, 1, nullptr), aErrParam);
  EXPECT_EQ(aFile_ReadLine(nullptr, buffer, sizeof buffer, nullptr), aErrParam);
  EXPECT_EQ(aFile_Seek(nullptr, 0, 0), aErrParam);
  EXPECT_EQ(aFile_GetSize(nullptr, &size), aErrParam);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(aFile_Close(&none), aErrParam);
  EXPECT_EQ(aFile_Close(nullptr), aErrParam);
  // A record whose check word is wrong: a file record is opaque, so build a
  // look-alike with a different first word.
  struct { uint32_t check; intptr_t handle; int mode; } fake = {0xBEEF, 0, 0};
  EXPECT_EQ(aFile_Read(reinterpret_cast<aFileRef>(&fake), buffer, 1, nullptr), aErrParam);
}

TEST(aFile, ExistsAndDelete) {
  TempDir tmp;
  std::string path = tmp.writeFile("gone", "x");
  EXPECT_TRUE(aFile_Exists(path.c_str()));
  EXPECT_FALSE(aFile_Exists(tmp.path().c_str()));
  EXPECT_EQ(aFile_Delete(path.c_str()), aErrNone);
  EXPECT_FALSE(aFile_Exists(path.c_str()));
  EXPECT_EQ(aFile_Delete(path.c_str()), aErrNotFound);
  EXPECT_EQ(aFile_Delete(nullptr), aErrParam);
}

namespace {

// Names in dir other than "." and "..".
std::vector<std::string> entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(aFile, WriteAtomicReplacesTheWholeFileAndLeavesNoTemporary) {
  TempDir tmp;
  const std::string path = tmp.writeFile("data.bin", std::string(100000, 'o'));
  const std::string fresh = "new\ncontents";
  ASSERT_EQ(aErrNone, aFile_WriteAtomic(path.c_str(), fresh.data(), fresh.size()));
  EXPECT_EQ(fresh, contents(path));
  ASSERT_EQ(aErrNone, aFile_WriteAtomic(path.c_str(), "", 0));
  EXPECT_EQ("", contents(path));
  const std::string created = tmp.file("created");
  ASSERT_EQ(aErrNone, aFile_WriteAtomic(created.c_str(), "x", 1));
  EXPECT_EQ("x", contents(created));
  EXPECT_EQ((std::vector<std::string>{"created", "data.bin"}), entries(tmp.path()));
}

TEST(aFile, WriteAtomicReplacesALinkWithoutWritingThroughIt) {
#ifdef _WIN32
  GTEST_SKIP() << "symbolic links need a privilege on this system";
#else
  TempDir tmp;
  const std::string target = tmp.writeFile("target", "keep me");
  const std::string link = tmp.file("link");
  ASSERT_EQ(0, symlink(target.c_str(), link.c_str()));
  ASSERT_EQ(aErrNone, aFile_WriteAtomic(link.c_str(), "mine", 4));
  EXPECT_EQ("keep me", contents(target));
  EXPECT_EQ("mine", contents(link));
  EXPECT_FALSE(std::filesystem::is_symlink(link));
#endif
}

TEST(aFile, FailedWriteAtomicLeavesTheOldFileAndNoTemporary) {
  TempDir tmp;
  // No directory to create the temporary in.
  const std::string missing = tmp.file("absent/file");
  EXPECT_EQ(aErrNotFound, aFile_WriteAtomic(missing.c_str(), "x", 1));
  // A directory stands at the path.
  const std::string directory = tmp.file("dir");
  std::filesystem::create_directory(directory);
  tmp.writeFile("dir/inside", "old");
  EXPECT_EQ(aErrNotFound, aFile_WriteAtomic(directory.c_str(), "x", 1));
  EXPECT_EQ("old", contents(tmp.file("dir/inside")));
  EXPECT_EQ((std::vector<std::string>{"dir"}), entries(tmp.path()));
  EXPECT_EQ(aErrParam, aFile_WriteAtomic(nullptr, "x", 1));
  EXPECT_EQ(aErrParam, aFile_WriteAtomic(tmp.file("f").c_str(), nullptr, 1));
  EXPECT_EQ(aErrParam, aFile_WriteAtomic((tmp.path() + "/").c_str(), "x", 1));
}

TEST(aFile, WriteAtomicRemovesTemporariesOfTheSameFileLeftByAKilledWriter) {
  TempDir tmp;
  tmp.writeFile(".data.bin.tmp-0a1b2c", "left behind");
  tmp.writeFile(".other.tmp-0a1b2c", "another file's");
  ASSERT_EQ(aErrNone, aFile_WriteAtomic(tmp.file("data.bin").c_str(), "x", 1));
  EXPECT_EQ((std::vector<std::string>{".other.tmp-0a1b2c", "data.bin"}), entries(tmp.path()));
}
