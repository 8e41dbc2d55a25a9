#ifndef TESTS_RECOVERY_WORKFLOW_RECOVERYFIXTURE_H
#define TESTS_RECOVERY_WORKFLOW_RECOVERYFIXTURE_H
// What the recovery end-to-end tests share: a temporary home with the
// updater's store, the reference update server with a catalog of our own,
// BIRD files made for the test, and runs of the real Updater.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "BirdWriter.h"
#include "ChildProcess.h"
#include "TempDir.h"

// One image block of a BIRD file: its address and code.
struct ImageBlock {
  uint32_t address;
  Bytes code;
};

// Deterministic bytes that differ from block to block.
Bytes patternBytes(size_t count, uint32_t seed);

// A BIRD file with an information block, the loader blocks (type 0), an
// optional jump address block, the firmware blocks (type 1), the 8-byte end
// block when endBlock is set and a serial offset block when serialOffsets.
struct BirdLayout {
  std::vector<ImageBlock> loader;
  std::vector<ImageBlock> firmware;
  uint32_t jumpAddress = 0;  // 0 = no jump block
  bool endBlock = true;
  bool serialOffsets = false;
  std::string serial = "00000000";
};
bool writeRecoveryBird(const std::string& path, const BirdLayout& layout);

class RecoveryEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes the server's catalog and starts it.
  void startServer(const std::string& catalog);
  // The Updater with args, a fresh home and the test's server (or a port
  // where nothing listens when none was started).
  RunResult updater(const std::vector<std::string>& args, double timeoutSeconds = 240);
  // The command line of such a run (for runs in the background).
  std::vector<std::string> updaterCommand(const std::vector<std::string>& args) const;
  std::string storeEntry(const std::string& serialText) const { return store + "/" + serialText; }

  static void writeText(const std::string& path, const std::string& text);
  static bool exists(const std::string& path);
  static bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }

  TempDir temp{"recovery-e2e-"};
  std::string dir, home, root, store;
  unsigned port = 0;
  BackgroundProgram server;
};

#endif
