// The simulated loader's answers to the upgrade protocol.
#include "SimLoader.h"

#include <cstdio>

namespace simmodule {
namespace {
constexpr uint8_t kCommand = 95;
enum : uint8_t { INIT = 0, DATA = 1, LOAD = 2, PREPARE = 3, SUM = 4, WRITE = 5, REBOOT = 6, STATUS = 7 };

void putU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}
uint32_t getU32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
}  // namespace

std::vector<uint8_t> SimLoader::loadAnnouncement() { return {kCommand, LOAD}; }

LoaderResult SimLoader::status(uint8_t code, const std::vector<uint8_t>& extra) {
  LoaderResult result;
  std::vector<uint8_t> reply = {kCommand, STATUS, code};
  reply.insert(reply.end(), extra.begin(), extra.end());
  result.replies.push_back(reply);
  return result;
}

// Loader blocks have no WRITE: what arrived for the block is taken whole
// when the next block begins or the loader is started.
void SimLoader::commitLoaderBytes() {
  if (!loaderStarted_ && prepared_ && !pending_.empty()) {
    std::vector<uint8_t>& image = loader_[blockAddress_];
    image.insert(image.end(), pending_.begin(), pending_.end());
  }
  pending_.clear();
}

LoaderResult SimLoader::handle(const uint8_t* data, uint8_t length) {
  if (length < 2 || data[0] != kCommand) return LoaderResult();
  const uint8_t option = data[1];
  const uint8_t* payload = data + 2;
  const uint8_t payloadLength = static_cast<uint8_t>(length - 2);
  LoaderRequest request;
  request.option = option;
  request.payloadLength = payloadLength;
  if (option == PREPARE && payloadLength >= 5) request.value = getU32(payload + 1);
  if (option == WRITE && payloadLength >= 2) request.value = (uint32_t{payload[0]} << 8) | payload[1];
  journal_.push_back(request);

  switch (option) {
    case INIT: return onInit();
    case PREPARE: return onPrepare(payload, payloadLength);
    case DATA: return onData(payload, payloadLength);
    case SUM: return onSum();
    case WRITE: return onWrite(request.value);
    case LOAD: return onLoad();
    case REBOOT: return onReboot();
    default: return LoaderResult();
  }
}

LoaderResult SimLoader::onInit() {
  flash_.clear();
  loader_.clear();
  pending_.clear();
  prepared_ = loaderStarted_ = rebooted_ = false;
  sum_ = 0;
  LoaderResult result;
  if (silent(INIT)) return result;
  std::vector<uint8_t> reply = {kCommand, INIT};
  putU32(reply, kLoadBase);
  result.replies.push_back(reply);
  return result;
}

LoaderResult SimLoader::onPrepare(const uint8_t* payload, uint8_t length) {
  commitLoaderBytes();
  const int index = prepares_++;
  if (length < 5) return status(1, {0, 0});
  blockAddress_ = getU32(payload + 1);
  blockOffset_ = 0;
  sum_ = 0;
  prepared_ = true;
  if (silent(PREPARE)) return LoaderResult();
  const bool error = faults_.prepareErrorAt < 0 || faults_.prepareErrorAt == index;
  const uint8_t code = error ? faults_.prepareStatus : 0;
  return status(code, {static_cast<uint8_t>(faults_.blockSize >> 8), static_cast<uint8_t>(faults_.blockSize)});
}

LoaderResult SimLoader::onData(const uint8_t* payload, uint8_t length) {
  LoaderResult result;
  const int index = datas_++;
  if (index == faults_.dropAtData) {
    result.action = LoaderAction::DropLink;
    return result;
  }
  if (index == faults_.wrongCountAt) wrongLeft_ = faults_.wrongCountRepeats;
  uint8_t accepted = length;
  if (wrongLeft_ != 0) {
    // The piece is refused: its bytes are not kept, the count says so.
    if (wrongLeft_ > 0) --wrongLeft_;
    accepted = static_cast<uint8_t>(length - 1);
  } else {
    pending_.insert(pending_.end(), payload, payload + length);
    for (uint8_t i = 0; i < length; ++i) sum_ += payload[i];
  }
  if (silent(DATA)) return result;
  result.replies.push_back({kCommand, DATA, accepted});
  return result;
}

LoaderResult SimLoader::onSum() {
  const int index = sums_++;
  uint32_t sum = sum_;
  sum_ = 0;
  if (index == faults_.sumOffAt) sum += 1;
  if (silent(SUM)) return LoaderResult();
  std::vector<uint8_t> extra;
  putU32(extra, sum);
  return status(0, extra);
}

LoaderResult SimLoader::onWrite(uint32_t count) {
  if (count > pending_.size()) count = static_cast<uint32_t>(pending_.size());
  std::vector<uint8_t>& image = flash_[blockAddress_];
  image.insert(image.end(), pending_.begin(), pending_.begin() + count);
  blockOffset_ += count;
  pending_.clear();
  if (silent(WRITE)) return LoaderResult();
  return status(faults_.writeStatus);
}

LoaderResult SimLoader::onLoad() {
  commitLoaderBytes();
  loaderStarted_ = true;
  prepared_ = false;
  LoaderResult result;
  if (faults_.dropOnLoad) {
    result.action = LoaderAction::DropAndAnnounce;
    return result;
  }
  if (silent(LOAD)) return result;
  result.replies.push_back({kCommand, LOAD});
  return result;
}

LoaderResult SimLoader::onReboot() {
  LoaderResult result;
  if (faults_.ignoreReboot) return result;
  rebooted_ = true;
  result.action = LoaderAction::Reboot;
  return result;
}

bool SimLoader::saveFlash(const std::string& path) const {
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = true;
  for (const auto& [address, bytes] : flash_) {
    std::vector<uint8_t> header;
    putU32(header, address);
    putU32(header, static_cast<uint32_t>(bytes.size()));
    ok = ok && fwrite(header.data(), 1, header.size(), file) == header.size();
    ok = ok && (bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
  }
  return fclose(file) == 0 && ok;
}

}  // namespace simmodule
