#include "RecoveryFixture.h"

#include <sys/stat.h>

#include <cstdio>

Bytes patternBytes(size_t count, uint32_t seed) {
  Bytes bytes(count);
  for (uint8_t& b : bytes) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<uint8_t>(seed >> 16);
  }
  return bytes;
}

bool writeRecoveryBird(const std::string& path, const BirdLayout& layout) {
  BirdWriter writer;
  writer.addInfo("Kelvarion", "1.0", layout.serial, "Birch");
  for (const ImageBlock& block : layout.loader) writer.addImage(0, block.address, block.code);
  if (layout.jumpAddress) writer.addJumpAddress(layout.jumpAddress);
  for (const ImageBlock& block : layout.firmware) writer.addImage(1, block.address, block.code);
  if (layout.endBlock) writer.addImage(1, 0, Bytes(4, 0));
  if (layout.serialOffsets) writer.addSerialOffsets(0x100, 0x200);
  return writer.writeFile(path);
}

void RecoveryEndToEnd::SetUp() {
  dir = temp.path();
  home = dir + "/home";
  root = dir + "/server";
  store = home + "/.mirovane/updater";
  for (const std::string& d : {home, root}) mkdir(d.c_str(), 0755);
}

void RecoveryEndToEnd::TearDown() {
  server.stop();
}

void RecoveryEndToEnd::writeText(const std::string& path, const std::string& text) {
  FILE* file = fopen(path.c_str(), "w");
  ASSERT_NE(nullptr, file) << path;
  fputs(text.c_str(), file);
  fclose(file);
}

bool RecoveryEndToEnd::exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

void RecoveryEndToEnd::startServer(const std::string& catalog) {
  writeText(root + "/catalog.txt", catalog);
  port = freeTcpPort();
  ASSERT_TRUE(server.start({UPDATE_SERVER_EXE, "--port", std::to_string(port), "--root", root},
                           dir + "/server.log"));
  ASSERT_TRUE(waitForTcpPort(port, 20));
}

std::vector<std::string> RecoveryEndToEnd::updaterCommand(const std::vector<std::string>& args) const {
  // The home directory goes through env so that a background run gets it too.
  std::vector<std::string> argv = {"/usr/bin/env", "HOME=" + home, UPDATER_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  argv.push_back("-u");
  argv.push_back("http://127.0.0.1:" + std::to_string(port ? port : freeTcpPort()) + "/cgi/u");
  return argv;
}

RunResult RecoveryEndToEnd::updater(const std::vector<std::string>& args, double timeoutSeconds) {
  return runProgram(updaterCommand(args), {}, timeoutSeconds, dir);
}
