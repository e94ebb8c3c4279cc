#pragma once
// The program's exit codes, the conventional values of sysexits(3), so that a script or a
// service manager can tell what ended an unattended run.

namespace tessaro {

inline constexpr int kExitOk = 0;            // every program ended, every stop confirmed
inline constexpr int kExitUsage = 64;        // the command line is wrong
inline constexpr int kExitDataError = 65;    // the run file is not valid
inline constexpr int kExitUnavailable = 69;  // a device cannot be opened or is not of its kind
inline constexpr int kExitSoftware = 70;     // an internal error
inline constexpr int kExitTempFail = 75;     // a device stopped answering, or did not confirm its stop

}  // namespace tessaro
