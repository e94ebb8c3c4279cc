#include "run/CommandLine.h"

#include <cmath>
#include <functional>
#include <map>
#include <set>

#include "mqtt/MqttSettings.h"
#include "run/ExitCodes.h"
#include "segments/SegmentProgram.h"
#include "text/Errors.h"

namespace tessaro {

namespace {

// A positive, finite number of minutes written with "." whatever the locale.
std::optional<double> DurationMinutes(const std::string& text) {
    try {
        const double minutes = StrToFloatDot(text);
        if (std::isfinite(minutes) && minutes > 0) return minutes;
    } catch (const ConversionError&) {
    }
    return std::nullopt;
}

std::filesystem::path PathArgument(const std::string& text) { return std::filesystem::path(text); }

struct TOptionRule {
    bool TakesValue = false;
    // Takes the option into the record; false, with the reason, for a value it refuses.
    std::function<bool(TCommandLine&, const std::string&, std::string&)> Take;
};

const std::map<std::string, TOptionRule>& OptionRules() {
    static const std::map<std::string, TOptionRule> rules = {
        {"--run",
         {true,
          [](TCommandLine& o, const std::string& v, std::string&) {
              o.RunFile = PathArgument(v);
              return !v.empty();
          }}},
        {"--headless", {false, [](TCommandLine& o, const std::string&, std::string&) { return o.Headless = true; }}},
        {"--duration",
         {true,
          [](TCommandLine& o, const std::string& v, std::string& why) {
              o.Duration_min = DurationMinutes(v);
              if (!o.Duration_min) why = "--duration: \"" + v + "\" is no positive number of minutes";
              return o.Duration_min.has_value();
          }}},
        {"--resume",
         {false, [](TCommandLine& o, const std::string&, std::string&) { return o.ResumeInterruptedRun = true; }}},
        {"--list-gases", {false, [](TCommandLine& o, const std::string&, std::string&) { return o.ListGases = true; }}},
        {"--help", {false, [](TCommandLine& o, const std::string&, std::string&) { return o.Help = true; }}},
        {"--version", {false, [](TCommandLine& o, const std::string&, std::string&) { return o.Version = true; }}},
        {"--mqtt",
         {true,
          [](TCommandLine& o, const std::string& v, std::string&) {
              o.MqttAddress = v;
              return !v.empty();
          }}},
        {"--rig",
         {true,
          [](TCommandLine& o, const std::string& v, std::string& why) {
              o.Rig = v;
              if (!IsValidRigName(v)) why = "--rig: \"" + v + "\" is no rig name (letters, digits, \"-\" and \"_\")";
              return IsValidRigName(v);
          }}},
        {"--data-folder",
         {true,
          [](TCommandLine& o, const std::string& v, std::string&) {
              o.DataFolder = PathArgument(v);
              return !v.empty();
          }}},
    };
    return rules;
}

std::string LongName(const std::string& argument) {
    if (argument == "-h") return "--help";
    if (argument == "-v") return "--version";
    return argument;
}

// Options that make no sense together, or without one another.
std::string CombinationError(const TCommandLine& o) {
    if (o.Headless && !o.RunFile) return "--headless needs a run file: --run FILE --headless";
    if (o.Duration_min && !(o.RunFile && o.Headless)) return "--duration only applies to --run FILE --headless";
    if (o.Rig && !o.MqttAddress) return "--rig names the rig for --mqtt HOST[:PORT]";
    if (o.MqttAddress) {
        if (!(o.RunFile && o.Headless))
            return "--mqtt only applies to --run FILE --headless; in the window use Preferences > Publish to MQTT";
        // The rig's name may come from the run file: only the address is checked here.
        std::string why;
        if (!ParseMqttAddress(*o.MqttAddress, o.Rig.value_or("rig"), why)) return "--mqtt: " + why;
    }
    return {};
}

}  // namespace

TCommandLineParse ParseCommandLine(const std::vector<std::string>& arguments) {
    TCommandLineParse parse;
    std::set<std::string> given;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = LongName(arguments[i]);
        std::optional<std::string> value;
        if (const std::size_t equals = name.find('='); name.starts_with("--") && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        const auto rule = OptionRules().find(name);
        if (rule == OptionRules().end()) {
            parse.Error = name.starts_with("-") ? "unknown option " + name
                                                : "unexpected argument \"" + name + "\" (a run file goes after --run)";
            return parse;
        }
        if (!given.insert(name).second) {
            parse.Error = name + " is given twice";
            return parse;
        }
        if (rule->second.TakesValue && !value) {
            if (i + 1 == arguments.size()) {
                parse.Error = name + " needs a value";
                return parse;
            }
            value = arguments[++i];
        } else if (!rule->second.TakesValue && value) {
            parse.Error = name + " takes no value";
            return parse;
        }
        std::string why;
        if (!rule->second.Take(parse.Options, value.value_or(""), why)) {
            parse.Error = why.empty() ? name + " needs a value" : why;
            return parse;
        }
    }
    parse.Error = CombinationError(parse.Options);
    return parse;
}

TCommandLineParse ParseCommandLine(int argc, const char* const* argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return ParseCommandLine(arguments);
}

TStartMode StartModeOf(const TCommandLine& options) {
    if (options.Help) return TStartMode::Help;
    if (options.Version) return TStartMode::Version;
    if (options.ListGases) return TStartMode::ListGases;
    if (options.Headless) return TStartMode::Headless;
    return TStartMode::Window;
}

bool NeedsDisplay(TStartMode mode) { return mode == TStartMode::Window; }

std::string CommandLineHelp() {
    return "Usage: tessaro [options]\n"
           "\n"
           "Control program of the gas-delivery rig. Without options it opens its window.\n"
           "\n"
           "Options:\n"
           "  --run FILE          load the run file FILE, configure its devices and start every\n"
           "                      program (in the window unless --headless is given)\n"
           "  --headless          run the run file without a window; progress goes to standard\n"
           "                      output, alarms and problems to standard error\n"
           "  --duration MIN      end a headless run after MIN minutes, as if its programs had ended\n"
           "  --resume            continue the programs of a run that did not end cleanly\n"
           "  --mqtt HOST[:PORT]  publish a headless run's state to the MQTT broker at HOST\n"
           "                      (port 1883 unless given)\n"
           "  --rig NAME          the rig's name in the published topics (default: the run\n"
           "                      file's \"mqtt\" rig, else its \"rig\")\n"
           "  --list-gases        print the gas table's short names and exit\n"
           "  --data-folder DIR   keep segment programs and log files in DIR (default: Tessaro in\n"
           "                      your documents folder)\n"
           "  -h, --help          print this text and exit\n"
           "  -v, --version       print the version and exit\n"
           "\n"
           "SIGTERM, SIGINT and SIGHUP stop every flow, wait at most 5 s for the devices to\n"
           "confirm, close the data files and end the program.\n"
           "\n"
           "Exit codes:\n"
           "  " +
           std::to_string(kExitOk) +
           "   every program ended and every stop was confirmed\n"
           "  " +
           std::to_string(kExitUsage) +
           "  the command line is wrong\n"
           "  " +
           std::to_string(kExitDataError) +
           "  the run file is not valid\n"
           "  " +
           std::to_string(kExitUnavailable) +
           "  a device of the run file cannot be opened or does not answer as its kind\n"
           "  " +
           std::to_string(kExitSoftware) +
           "  an internal error\n"
           "  " +
           std::to_string(kExitTempFail) +
           "  a device stopped answering for longer than the run file allows, or did not\n"
           "      confirm its stop\n";
}

}  // namespace tessaro
