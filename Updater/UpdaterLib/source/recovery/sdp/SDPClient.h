#ifndef UPDATER_SDP_CLIENT_H
#define UPDATER_SDP_CLIENT_H
// The three serial download exchanges the updater needs: status check, file
// write and jump. Traces go to DEBUG_iMXSerial.
#include <cstdint>
#include <memory>
#include <vector>

#include "SDPLoader_Interface.h"

class SDPClient {
 public:
  // Results of writeFile.
  enum : int {
    kWriteOk = 0,
    kWriteNoAck = 2,           // no well-formed reply to the status check
    kWriteDeviceSentData = 3,  // the device spoke during the transfer
    kWriteBadStatus = 4,       // no completion status (or the transfer could not be sent)
  };

  // Takes the loader; false when one is already set or loader is null.
  bool setLoader(std::unique_ptr<SDPLoader_Interface> loader);
  // Opens the loader (once, before any exchange); false without a loader.
  bool open();
  // Up to 5 ERROR_STATUS exchanges until one gets a well-formed reply.
  bool checkStatus();
  // Writes data to address; one of the results above.
  int writeFile(const std::vector<uint8_t>& data, uint32_t address);
  // Starts the code at address; the reply is read and discarded.
  void jumpAddress(uint32_t address);

  static constexpr int kStatusAttempts = 5;
  static constexpr uint32_t kReplyWaitMs = 100;

 private:
  std::unique_ptr<SDPLoader_Interface> loader;
};

#endif
