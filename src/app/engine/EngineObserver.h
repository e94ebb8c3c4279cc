#pragma once
// What the engine tells an outside listener (the MQTT publisher) without knowing who it is:
// every device's state at each data line and the events worth a log line. Calls come on the
// window thread, inside the tick or a run command; a listener copies what it needs and
// returns at once, so the engine never waits for it.

#include <QDateTime>
#include <optional>
#include <string>
#include <vector>

namespace tessaro {

// One device as a data line records it.
struct TDeviceSnapshot {
    std::string COMPort;
    std::string Name;
    std::string Kind;     // the device list's Device column ("MFC-A", "Pump")
    bool IsPump = false;  // a pump doses a fluid; the others meter a gas
    std::string Fluid;    // the gas or the fluid
    std::string Unit;     // of the flows below
    std::optional<double> Planned_pct;
    std::optional<double> PlannedFlow;
    std::optional<double> AchievedFlow;
    std::string State;                      // as the device list's State column shows it
    std::optional<double> ProgramTime_min;  // only while a segment program runs
    std::optional<std::string> Alarm;       // the alarm's text while it stands
};

struct TDataLineSnapshot {
    QDateTime Time;  // local time of the line
    std::vector<TDeviceSnapshot> Devices;
};

enum class TEngineEventKind {
    AlarmRaised,
    AlarmCleared,
    StopConfirmed,
    StopUnconfirmed,
    ProgramStarted,
    ProgramHeld,
    ProgramResumed,
    ProgramEnded,
    NoReply,
    AnswersAgain,
};

// The event's name as listeners receive it ("alarm raised", "no reply", …).
const char* EngineEventName(TEngineEventKind kind);

struct TEngineEvent {
    QDateTime Time;
    TEngineEventKind Kind = TEngineEventKind::AlarmRaised;
    std::string COMPort;  // empty for an event of several devices
    std::string Name;
    std::string Text;  // the on-screen log's words for it
};

class TEngineObserver {
public:
    virtual ~TEngineObserver() = default;
    virtual void DataLineMade(const TDataLineSnapshot& line) = 0;
    virtual void EventOccurred(const TEngineEvent& event) = 0;
};

}  // namespace tessaro
