#pragma once
// "Search Devices": probes the listed serial ports for flow controllers and syringe pumps,
// registers what answers in place of the demo devices, and reports every port in the
// on-screen log. The ports are probed at once, each on a thread of its own, so a search
// takes about as long as its slowest port; the log still reads port by port, in port order.
// Allowed once per program run. Window thread only.

#include <functional>
#include <string>
#include <vector>

#include "engine/DeviceSetup.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {

class TEngine;
class TEngineTimer;
class TOperationWindow;
class TWindowPort;

inline constexpr const char* kResearchNotSupported =
    "Functionality to re-search for new devices is currently not supported. Instead, connect new devices, restart "
    "the program, and do a fresh device search.";
inline constexpr const char* kSearchSaveSuffix = "SearchDevicesClick";

// What probing one port found.
struct TPortProbe {
    std::string Port;
    bool MfcFound = false;
    bool PumpFound = false;
    std::string Details;  // the probes' reports
    TDeviceInfo Entry;    // the instrument found
    // Why the system would not open the port, when it would not; empty otherwise.
    std::string OpenRefusal;
};

// ProbeMfc, and ProbePump when no controller answered, on the calling thread.
TPortProbe ProbePort(const std::string& port);

// A name the port listing can give: not empty, no path separator, not "." or "..". Only
// such names are probed, so no other file is ever opened as a port.
bool IsPlainPortName(const std::string& name);

// The log lines that tell the operator how to get a port the system refused because of its
// permissions: none for another reason. `group` owns the device ("dialout" when unknown).
std::vector<std::string> PermissionAdvice(const std::string& port, const std::string& reason,
                                          const std::string& group);

// Orders device-list rows as the list shows them: by the "Device" column, then by the
// "Name or role" column, two stable sorts, each comparing letters without case.
void SortDeviceRows(std::vector<TDeviceRowTexts>& rows);

using TPortLister = std::function<std::vector<std::string>()>;

class TDeviceSearch {
public:
    // `timer` may be null (nothing to stop). The ports come from ListComPorts unless a
    // lister is set.
    TDeviceSearch(TEngine& engine, TWindowPort& window, TOperationWindow& operations, TEngineTimer* timer);

    void SetPortLister(TPortLister lister) { lister_ = std::move(lister); }

    // The menu command. False when refused: a search already ran, or a search or tool runs.
    bool Searchdevices1Click();

    bool Searched() const { return searched_; }
    // The device list's rows after the search, in their order.
    const std::vector<TDeviceRowTexts>& Rows() const { return rows_; }

private:
    void EmptyRegistry();
    void ProbeAll(const std::vector<std::string>& ports);
    void LogPortBlock(const TPortProbe& probe);
    void Register(const TPortProbe& probe);

    TEngine& engine_;
    TWindowPort& window_;
    TOperationWindow& operations_;
    TEngineTimer* timer_;
    TPortLister lister_;
    std::vector<TDeviceRowTexts> rows_;
    bool searched_ = false;
};

}  // namespace tessaro
