#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TempDir.h"
#include "TestEnv.h"
#include "aDirectory.h"
#include "aFile.h"

namespace {

const char* const kEnd = nullptr;

}  // namespace

TEST(aDirectoryPath, JoinInsertsOneSeparator) {
  char buffer[aPATH_MAX];
  EXPECT_EQ(aDirectory_JoinPath(buffer, sizeof buffer, "/a", "b"), aErrNone);
  EXPECT_STREQ(buffer, "/a/b");
  EXPECT_EQ(aDirectory_JoinPath(buffer, sizeof buffer, "/a/", "b"), aErrNone);
  EXPECT_STREQ(buffer, "/a/b");
  EXPECT_EQ(aDirectory_JoinPath(buffer, sizeof buffer, "/a", "/b"), aErrNone);
  EXPECT_STREQ(buffer, "/a/b");
  EXPECT_EQ(aDirectory_BuildPath(buffer, sizeof buffer, "x", "y", "z", kEnd), aErrNone);
  EXPECT_STREQ(buffer, "x/y/z");
}

TEST(aDirectoryPath, FirstPartMustLeaveRoom) {
  char buffer[10];
  EXPECT_EQ(aDirectory_BuildPath(buffer, sizeof buffer, "12345678", kEnd), aErrNone);
  EXPECT_STREQ(buffer, "12345678");
  EXPECT_EQ(aDirectory_BuildPath(buffer, sizeof buffer, "123456789", kEnd), aErrOverrun);
}

TEST(aDirectoryPath, FurtherPartsKeepAMarginAfterTheSeparator) {
  // size 10, "abc" leaves room 6; the separator costs 4 of it, so one more
  // character fits and two do not.
  char buffer[10];
  EXPECT_EQ(aDirectory_JoinPath(buffer, sizeof buffer, "abc", "d"), aErrNone);
  EXPECT_STREQ(buffer, "abc/d");
  EXPECT_EQ(aDirectory_JoinPath(buffer, sizeof buffer, "abc", "de"), aErrOverrun);
  EXPECT_EQ(std::string(buffer).rfind("abc", 0), 0u);  // what was built so far stays
  // Without a separator to insert the whole room is usable.
  EXPECT_EQ(aDirectory_JoinPath(buffer, sizeof buffer, "abc/", "def"), aErrNone);
  EXPECT_STREQ(buffer, "abc/def");
}

TEST(aDirectoryPath, PartCountAndAliasing) {
  char buffer[aPATH_MAX];
  EXPECT_EQ(aDirectory_BuildPath(buffer, sizeof buffer, "0", "1", "2", "3", "4", "5", "6", "7", "8",
                                 "9", kEnd),
            aErrNone);
  EXPECT_STREQ(buffer, "0/1/2/3/4/5/6/7/8/9");
  EXPECT_EQ(aDirectory_BuildPath(buffer, sizeof buffer, "0", "1", "2", "3", "4", "5", "6", "7", "8",
                                 "9", "10", kEnd),
            aErrParam);

  strcpy(buffer, "/keep");
  EXPECT_EQ(aDirectory_BuildPath(buffer, sizeof buffer, buffer, "x", kEnd), aErrParam);
  EXPECT_STREQ(buffer, "/keep");  // the caller's text is not wiped
  char other[aPATH_MAX] = "/other";
  EXPECT_EQ(aDirectory_JoinPath(buffer, sizeof buffer, other, buffer), aErrParam);
  EXPECT_EQ(aDirectory_BuildPath(buffer, sizeof buffer, nullptr, kEnd), aErrParam);
  EXPECT_EQ(aDirectory_BuildPath(nullptr, 10, "a", kEnd), aErrParam);
}

TEST(aDirectory, EnsureCreatesEveryMissingLevel) {
  TempDir tmp;
  std::string deep = tmp.file("x/y/z");
  EXPECT_FALSE(aDirectory_Exists(deep.c_str()));
  EXPECT_EQ(aDirectory_Ensure(deep.c_str(), 0755), aErrNone);
  EXPECT_TRUE(aDirectory_Exists(tmp.file("x/y").c_str()));
  EXPECT_TRUE(aDirectory_Exists(deep.c_str()));
  EXPECT_EQ(aDirectory_Ensure(deep.c_str(), 0755), aErrNone);  // already there
  // Doubled and trailing separators make no empty levels.
  EXPECT_EQ(aDirectory_Ensure(tmp.file("p//q/").c_str(), 0755), aErrNone);
  EXPECT_TRUE(aDirectory_Exists(tmp.file("p/q").c_str()));
}

TEST(aDirectory, EnsureFailsWhereAFileBlocksThePath) {
  TempDir tmp;
  std::string file = tmp.writeFile("plain", "x");
  EXPECT_EQ(aDirectory_Ensure(file.c_str(), 0755), aErrPermission);
  EXPECT_EQ(aDirectory_Ensure((file + "/below").c_str(), 0755), aErrPermission);
  EXPECT_FALSE(aDirectory_Exists(file.c_str()));
  EXPECT_FALSE(aDirectory_Exists(nullptr));
}

namespace {

struct Listing {
  std::vector<std::string> names;
  std::vector<uint32_t> flags;
  std::vector<uint32_t> sizes;
  size_t stopAfter = 1000;
};

bool collect(const aDirectoryEntry* entry, void* ref) {
  Listing* listing = static_cast<Listing*>(ref);
  std::string path = entry->path;
  listing->names.push_back(path.substr(path.rfind('/') + 1));
  listing->flags.push_back(entry->flags);
  listing->sizes.push_back(entry->size);
  return listing->names.size() < listing->stopAfter;
}

}  // namespace

TEST(aDirectory, ListGivesEveryEntryWithDotsAndStopsOnRequest) {
  TempDir tmp;
  tmp.writeFile("five", "12345");
  ASSERT_EQ(aDirectory_Ensure(tmp.file("sub").c_str(), 0755), aErrNone);

  Listing all;
  ASSERT_EQ(aDirectory_List(tmp.path().c_str(), collect, &all), aErrNone);
  std::vector<std::string> sorted = all.names;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<std::string>{".", "..", "five", "sub"}));
  for (size_t i = 0; i < all.names.size(); ++i) {
    if (all.names[i] == "five") {
      EXPECT_EQ(all.flags[i], 0u);
      EXPECT_EQ(all.sizes[i], 5u);
    } else {
      EXPECT_EQ(all.flags[i], 1u) << all.names[i];
    }
  }

  Listing first;
  first.stopAfter = 2;
  EXPECT_EQ(aDirectory_List(tmp.path().c_str(), collect, &first), aErrNone);
  EXPECT_EQ(first.names.size(), 2u);

  Listing none;
  EXPECT_EQ(aDirectory_List(tmp.file("missing").c_str(), collect, &none), aErrParam);
}

TEST(aDirectory, DeleteTreeRemovesEverythingBelow) {
  TempDir tmp;
  std::string root = tmp.file("tree");
  ASSERT_EQ(aDirectory_Ensure((root + "/a/b").c_str(), 0755), aErrNone);
  tmp.writeFile("tree/top", "1");
  tmp.writeFile("tree/a/mid", "2");
  tmp.writeFile("tree/a/b/leaf", "3");
  // A link to a directory outside the tree is removed, not followed.
  std::string outside = tmp.file("outside");
  ASSERT_EQ(aDirectory_Ensure(outside.c_str(), 0755), aErrNone);
  tmp.writeFile("outside/keep", "k");
#ifndef _WIN32  // links need a privilege here
  ASSERT_EQ(symlink(outside.c_str(), (root + "/a/link").c_str()), 0);
#endif

  EXPECT_EQ(aDirectory_Delete(root.c_str()), aErrUnknown);  // not empty
  EXPECT_EQ(aDirectory_DeleteTree(root.c_str()), aErrNone);
  EXPECT_FALSE(aDirectory_Exists(root.c_str()));
  EXPECT_TRUE(aFile_Exists(tmp.file("outside/keep").c_str()));
  EXPECT_EQ(aDirectory_DeleteTree(root.c_str()), aErrParam);
}

TEST(aDirectory, DeleteRemovesAnEmptyDirectory) {
  TempDir tmp;
  std::string empty = tmp.file("empty");
  ASSERT_EQ(aDirectory_Ensure(empty.c_str(), 0755), aErrNone);
  EXPECT_EQ(aDirectory_Delete(empty.c_str()), aErrNone);
  EXPECT_EQ(aDirectory_Delete(empty.c_str()), aErrUnknown);
}

TEST(aDirectory, ProcessPaths) {
  char buffer[aPATH_MAX];
  ASSERT_EQ(aDirectory_CWD(buffer, sizeof buffer), aErrNone);
  EXPECT_EQ(std::string(buffer), testenv::currentDirectory());
  char tiny[2];
  EXPECT_EQ(aDirectory_CWD(tiny, sizeof tiny), aErrParam);

  ASSERT_EQ(aDirectory_ExecutableFilePath(buffer, sizeof buffer), aErrNone);
  EXPECT_NE(std::string(buffer).find("support_tests"), std::string::npos) << buffer;
  EXPECT_EQ(aDirectory_ExecutableFilePath(tiny, sizeof tiny), aErrRead);
}

TEST(aDirectory, HomeDirectoryComesFromHome) {
  testenv::SavedVariable home("HOME"), drive("HOMEDRIVE"), path("HOMEPATH"), profile("USERPROFILE");
  char buffer[aPATH_MAX];
  testenv::setHome("/home/operator");
  EXPECT_EQ(aDirectory_GetHomeDirectory(buffer, sizeof buffer), aErrNone);
  EXPECT_STREQ(buffer, "/home/operator");
  char small[8];
  EXPECT_EQ(aDirectory_GetHomeDirectory(small, sizeof small), aErrOverrun);
  for (const char* name : {"HOME", "HOMEDRIVE", "HOMEPATH", "USERPROFILE"}) testenv::unsetVariable(name);
  EXPECT_NE(aDirectory_GetHomeDirectory(buffer, sizeof buffer), aErrNone);
}
