#pragma once
#include <cstdint>

#include "vantelo.h"

// The process-wide command dispatcher, created on first use.
namespace vantelo {

// One numbered command between the record and the camera of the record's family.
class Dispatcher {
  public:
    // `read`: fetch the value from the camera into the record; else send the record's
    // value to the camera. 0 for a camera type or command it does not handle.
    int readWrite(CameraRecord& record, int command, bool read);

  private:
    int ostra(CameraRecord& record, int command, bool read);
    int nimbus(CameraRecord& record, int command, bool read);

    // The frame speed of the last index command (21), as the camera counts it.
    std::uint8_t frameSpeedScratch_ = 0;
};

// Creates the dispatcher when there is none; false when it cannot be allocated.
bool ensureDispatcher();
void destroyDispatcher();
// The dispatcher, null when there is none.
Dispatcher* dispatcher();

}  // namespace vantelo
