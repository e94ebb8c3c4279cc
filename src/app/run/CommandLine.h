#pragma once
// The program's command line: what the options say, read into a plain record before any
// application object exists (whether a display is needed depends on it), and the choice of
// what the program does with them.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tessaro {

struct TCommandLine {
    std::optional<std::filesystem::path> RunFile;  // --run FILE
    bool Headless = false;                         // --headless
    std::optional<double> Duration_min;            // --duration MIN
    // --resume: continue the programs of a run that did not end cleanly; the safe restart
    // decides what that means.
    bool ResumeInterruptedRun = false;
    bool ListGases = false;                           // --list-gases
    bool Help = false;                                // --help, -h
    bool Version = false;                             // --version, -v
    std::optional<std::filesystem::path> DataFolder;  // --data-folder DIR
    // --mqtt HOST[:PORT] and --rig NAME: where a headless run publishes its state (the rig's
    // name may also come from the run file).
    std::optional<std::string> MqttAddress;
    std::optional<std::string> Rig;
};

// A command line read: the options, or why they make no sense together (then the program
// ends with kExitUsage).
struct TCommandLineParse {
    TCommandLine Options;
    std::string Error;  // empty when the command line is good
};

// `arguments` without the program's name. Options take their value as the next argument or
// after "=" ("--run=night.json").
TCommandLineParse ParseCommandLine(const std::vector<std::string>& arguments);
// The same for main's arguments.
TCommandLineParse ParseCommandLine(int argc, const char* const* argv);

enum class TStartMode {
    Help,       // print the help text, exit 0
    Version,    // print the version, exit 0
    ListGases,  // print the gas table's short names, exit 0
    Headless,   // run the run file without a window
    Window,     // open the window (with the run file loaded and started when one is given)
};
TStartMode StartModeOf(const TCommandLine& options);
// Whether the mode needs a display (a QApplication rather than a QCoreApplication).
bool NeedsDisplay(TStartMode mode);

// The text of --help: every option and the exit codes.
std::string CommandLineHelp();

}  // namespace tessaro
