// Status check, file write and jump over a serial download loader.
#include "SDPClient.h"

#include <algorithm>
#include <string>

#include "SDPCommands.h"
#include "UpdaterDisplay.h"

namespace {

// Dumps go out in pieces so that no line is cut by the trace buffer.
void traceDump(const std::vector<uint8_t>& bytes) {
  const size_t kPiece = 512;
  for (size_t at = 0; at < bytes.size(); at += kPiece) {
    size_t end = std::min(bytes.size(), at + kPiece);
    std::string text = sdp::hexDump(std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                                         bytes.begin() + static_cast<std::ptrdiff_t>(end)));
    if (end < bytes.size())
      text.pop_back();  // the line goes on in the next piece
    debugPrint(DEBUG_iMXSerial, "%s", text.c_str());
  }
  if (bytes.empty())
    debugPrint(DEBUG_iMXSerial, "\n");
}

}  // namespace

bool SDPClient::setLoader(std::unique_ptr<SDPLoader_Interface> newLoader) {
  if (loader || !newLoader)
    return false;
  loader = std::move(newLoader);
  return true;
}

bool SDPClient::open() {
  return loader && loader->open();
}

bool SDPClient::checkStatus() {
  if (!loader)
    return false;
  for (int attempt = 0; attempt < kStatusAttempts; ++attempt) {
    std::vector<uint8_t> command = sdp::buildCommand(sdp::kErrorStatus, 0, 0);
    std::ptrdiff_t written = loader->write(command);
    debugPrint(DEBUG_iMXSerial, "bytesWritten: %zu\n", static_cast<size_t>(written));
    traceDump(command);
    std::vector<uint8_t> reply;
    std::ptrdiff_t got = loader->read(reply, kReplyWaitMs);
    debugPrint(DEBUG_iMXSerial, "Read Data: %zd\n", got);
    traceDump(reply);
    uint32_t word = 0;
    if (loader->responseWord(reply, 0, word))
      return true;
  }
  debugPrint(DEBUG_iMXSerial, "Error: No ack from iMX device\n");
  return false;
}

int SDPClient::writeFile(const std::vector<uint8_t>& data, uint32_t address) {
  if (!checkStatus())
    return kWriteNoAck;
  std::vector<uint8_t> command = sdp::buildCommand(sdp::kWriteFile, address, static_cast<uint32_t>(data.size()));
  std::ptrdiff_t written = loader->write(command);
  debugPrint(DEBUG_iMXSerial, "Write Res: %zd\n", written);
  traceDump(command);
  if (written < 0) {
    debugPrint(DEBUG_iMXSerial, "Error: could not send to iMX device. Aborting\n");
    return kWriteBadStatus;
  }
  int total = 0;
  int reportNumber = 0;
  size_t position = 0;
  while (position < data.size()) {
    std::vector<uint8_t> unexpected;
    std::ptrdiff_t got = loader->read(unexpected, 0);
    debugPrint(DEBUG_iMXSerial, "Read Data: %zd\n", got);
    traceDump(unexpected);
    if (got > 0) {
      debugPrint(DEBUG_iMXSerial, "Error while transfering loader. Aborting\n");
      return kWriteDeviceSentData;
    }
    std::vector<uint8_t> report = sdp::buildDataReport(data, position);
    written = loader->write(report);
    if (written < 0) {
      debugPrint(DEBUG_iMXSerial, "Error: could not send to iMX device. Aborting\n");
      return kWriteBadStatus;
    }
    total += static_cast<int>(written);
    position += report.size() - 1;
    debugPrint(DEBUG_iMXSerial, "Write Res: %zd , Total: %d, Loop: %d, tell: %ld, size: %zd\n", written, total,
               reportNumber, static_cast<long>(position), static_cast<std::ptrdiff_t>(report.size()));
    ++reportNumber;
  }
  debugPrint(DEBUG_iMXSerial, "Written Bytes: %d\n", total);
  std::vector<uint8_t> reply;
  loader->read(reply, kReplyWaitMs);
  debugPrint(DEBUG_iMXSerial, "Data Read: \n");
  traceDump(reply);
  uint32_t word = 0;
  if (loader->responseWord(reply, 0, word) && word == sdp::kTransferComplete) {
    debugPrint(DEBUG_iMXSerial, "Loader Transfer Successful\n");
    return kWriteOk;
  }
  debugPrint(DEBUG_iMXSerial, "Loader Transfer Unsuccessful\n");
  return kWriteBadStatus;
}

void SDPClient::jumpAddress(uint32_t address) {
  if (!loader)
    return;
  std::vector<uint8_t> command = sdp::buildCommand(sdp::kJumpAddress, address, 0);
  std::ptrdiff_t written = loader->write(command);
  debugPrint(DEBUG_iMXSerial, "Write Res: %zd\n", written);
  traceDump(command);
  std::vector<uint8_t> reply;
  loader->read(reply, kReplyWaitMs);
}
