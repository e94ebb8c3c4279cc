#include "discovery/DeviceProbes.h"

#include "mfc/AlicatMFC.h"
#include "protocol/AlicatMFCProtocol.h"
#include "protocol/ReplyText.h"
#include "pump/PSD4_Interface.h"

namespace tessaro {

bool ProbeMfc(const std::string& aPort, std::string& details, TDeviceInfo& entry) {
    details += "\r\n  Details for MFC search\r\n";
    details += "    Query port:" + aPort + "\r\n";
    const std::string query(kAlicatSerialQuery);
    std::string status, reply;
    // The first query wakes a controller whose line held stale bytes; only the second counts.
    SendASCII(aPort, query, true, status, reply);
    if (!SendASCII(aPort, query, true, status, reply)) {
        details += "    => Failed to communicate\r\n";
        return false;
    }
    details += "    Port " + aPort + " was opened, command sent\r\n";
    // Anything but a line of unit A (noise, another kind of instrument) is no controller.
    const bool fromController = IsAlicatReplyFrom(kAlicatSerialQuery.front(), reply);
    details += "    Response  : *" + (fromController ? reply : PrintableBytes(TextToAnsiBytes(reply))) + "*\r\n";
    details += "    Status    : " + status + "\r\n";
    if (!fromController) {
        details += "    => no flow controller\r\n";
        return false;
    }
    details += "    => *** MFC found ***\r\n";
    entry = NewFoundDevice(aPort, dtMFCA, AlicatSerialFromReply(reply));
    return true;
}

bool ProbePump(const std::string& aPort, std::string& details, TDeviceInfo& entry) {
    details += "\r\n  Details for Pump search\r\n";
    details += "    Query port:" + aPort + "\r\n";
    TPSD4 pump;
    if (!pump.Connect(aPort)) {
        details += "    => No pump on port\r\n";
        return false;
    }
    // Reading the serial number moves the plunger, which a pump still dosing refuses.
    if (pump.RunningAtConnect)
        details += pump.StopLeftoverProgram() ? "    => Pump was running a program: stopped it (TR)\r\n"
                                              : "    => Pump is running a program and did not take the stop (TR)\r\n";
    const std::string serial = std::to_string(pump.Serial());
    entry = NewFoundDevice(aPort, dtPump, serial);
    details += "    => Pump found:" + entry.NameRole + "\r\n";
    details += "    => Pump serial:" + serial + "\r\n";
    return true;
}

}  // namespace tessaro
