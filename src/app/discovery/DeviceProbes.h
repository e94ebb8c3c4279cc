#pragma once
// The two probes of the device search: is there a flow controller on a port, or a syringe
// pump? Each appends a report for the on-screen log to `details` and, when an instrument
// answers, fills `entry` with a new device record for it. They talk to the instrument on
// the calling thread and touch no program-wide state, so ports can be probed at once.

#include <string>

#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {

// Asks twice for the controller's manufacturing data; the second answer decides: only a
// reply line of unit A is a controller, anything else is reported as "no flow controller"
// with the reply shown printable. A found controller's record has the kind dtMFCA (the search letters controllers in
// the order it registers them) and, as Serial, the serial number read from the reply (AlicatSerialFromReply).
bool ProbeMfc(const std::string& aPort, std::string& details, TDeviceInfo& entry);
// Connects with the pump's signature query and reads the serial number stored in it. This
// initialises the pump and moves its plunger.
bool ProbePump(const std::string& aPort, std::string& details, TDeviceInfo& entry);

}  // namespace tessaro
