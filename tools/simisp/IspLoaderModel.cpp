// The simulated boot loader's behaviour: sync, echo and the command line;
// the memory commands are in IspLoaderMemory.cpp.
#include "IspLoaderModel.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "IspLoaderCodes.h"
#include "IspUu.h"

using namespace isploader;

namespace {

// Splits "X a b c" into its decimal arguments. False on a malformed number.
bool parseArguments(const std::string& text, std::vector<long>* args, std::string* word) {
  std::istringstream in(text.substr(1));
  std::string token;
  while (in >> token) {
    char* end = nullptr;
    errno = 0;
    long value = strtol(token.c_str(), &end, 10);
    if (*end != '\0' || errno != 0) {
      *word = token;  // the mode letter of G, for example
      continue;
    }
    args->push_back(value);
  }
  return true;
}

}  // namespace

IspLoaderModel::IspLoaderModel(const IspSimOptions& options, Output* output)
    : options_(options),
      output_(output),
      resendsLeft_(options.resends),
      refusalsLeft_(options.refusals),
      prepared_(kSectors, false),
      flash_(kFlashSize, 0xFF),
      ram_(kRamSize, 0) {}

bool IspLoaderModel::echoes() const {
  switch (state_) {
    case State::WaitSynchronized:
    case State::WaitCrystal:
      return true;
    case State::Command:
    case State::WriteData:
    case State::ReadData:
      return echo_;
    default:
      return false;
  }
}

void IspLoaderModel::receive(uint8_t byte) {
  if (options_.silent || state_ == State::Running)
    return;
  if (state_ == State::WaitQuestion) {
    if (byte == '?') {
      reply("Synchronized\r\n");
      state_ = State::WaitSynchronized;
      pending_.clear();
    }
    return;
  }
  if (state_ == State::WaitSynchronized && pending_.empty() && byte == '?') {
    reply("Synchronized\r\n");  // the host asked again
    return;
  }
  if (echoes()) {
    char echoed = static_cast<char>(byte);
    if (options_.wrongEcho && state_ == State::Command && pending_.empty() && byte != '\r' && byte != '\n')
      echoed = static_cast<char>(byte ^ 0x20);
    output_->send(std::string(1, echoed));
  }
  if (byte == '\n') {
    std::string text = pending_;
    pending_.clear();
    if (!text.empty() && text.back() == '\r')
      text.pop_back();
    line(text);
    return;
  }
  if (pending_.size() < 4096)
    pending_ += static_cast<char>(byte);
}

void IspLoaderModel::reply(const std::string& text) {
  output_->send(text);
}

void IspLoaderModel::status(long code) {
  reply(std::to_string(code) + "\r\n");
}

void IspLoaderModel::line(const std::string& text) {
  switch (state_) {
    case State::WaitSynchronized:
    case State::WaitCrystal:
      syncLine(text);
      break;
    case State::Command:
      if (!text.empty())
        command(text);
      break;
    case State::WriteData:
      writeDataLine(text);
      break;
    case State::ReadData:
      readDataReply(text);
      break;
    default:
      break;
  }
}

void IspLoaderModel::syncLine(const std::string& text) {
  if (state_ == State::WaitSynchronized) {
    if (text == "Synchronized") {
      reply("OK\r\n");
      state_ = State::WaitCrystal;
    } else {
      state_ = State::WaitQuestion;
    }
    return;
  }
  char* end = nullptr;
  strtoul(text.c_str(), &end, 10);
  if (!text.empty() && *end == '\0') {
    reply("OK\r\n");
    state_ = State::Command;
  } else {
    state_ = State::WaitQuestion;
  }
}

void IspLoaderModel::command(const std::string& text) {
  commands_.push_back(text);
  if (refusalsLeft_ > 0) {
    --refusalsLeft_;
    status(kInvalidCommand);
    return;
  }
  char letter = text[0];
  auto forced = options_.statusFor.find(letter);
  if (forced != options_.statusFor.end() && forced->second != kSuccess) {
    status(forced->second);
    return;
  }
  std::vector<long> args;
  std::string word;
  parseArguments(text, &args, &word);
  auto expect = [&](size_t n) {
    if (args.size() == n) return true;
    status(kParamError);
    return false;
  };
  switch (letter) {
    case 'U': if (expect(1)) cmdUnlock(args); break;
    case 'A': if (expect(1)) cmdEcho(args); break;
    case 'J': cmdIdentify(); break;
    case 'K': cmdBootCode(); break;
    case 'N': cmdSerial(); break;
    case 'P':
    case 'E': if (expect(2)) cmdPrepareErase(letter, args); break;
    case 'W': if (expect(2)) cmdWrite(args); break;
    case 'R': if (expect(2)) cmdRead(args); break;
    case 'C': if (expect(3)) cmdCopy(args); break;
    case 'M': if (expect(3)) cmdCompare(args); break;
    case 'I': if (expect(2)) cmdBlankCheck(args); break;
    case 'G':
      if (args.size() == 1 && (word == "T" || word == "A"))
        cmdGo(args);
      else
        status(kParamError);
      break;
    default: status(kInvalidCommand); break;
  }
}

void IspLoaderModel::cmdUnlock(const std::vector<long>& args) {
  unlocked_ = args[0] == kUnlockCode;
  status(unlocked_ ? kSuccess : kInvalidCode);
}

void IspLoaderModel::cmdEcho(const std::vector<long>& args) {
  if (args[0] != 0 && args[0] != 1) {
    status(kParamError);
    return;
  }
  status(kSuccess);
  echo_ = args[0] == 1;
}

void IspLoaderModel::cmdIdentify() {
  status(kSuccess);
  reply(std::to_string(options_.partId) + "\r\n");
}

void IspLoaderModel::cmdBootCode() {
  status(kSuccess);
  reply(std::to_string(options_.bootCodeMinor) + "\r\n" + std::to_string(options_.bootCodeMajor) + "\r\n");
}

void IspLoaderModel::cmdSerial() {
  status(kSuccess);
  for (uint32_t word32 : options_.serial) reply(std::to_string(word32) + "\r\n");
}
