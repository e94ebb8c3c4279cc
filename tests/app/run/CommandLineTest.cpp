// The command line: what each option sets, which lines are refused and why, and what the
// program does with a good one.

#include <gtest/gtest.h>

#include "run/CommandLine.h"

namespace tessaro {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLineTest, EveryOptionReachesItsField) {
    const TCommandLineParse parse =
        ParseCommandLine(Args{"--run", "night.json", "--headless", "--duration=2.5", "--resume", "--data-folder",
                              "/srv/rig", "--mqtt", "127.0.0.1:1884", "--rig", "bench-1"});
    ASSERT_EQ(parse.Error, "");
    const TCommandLine& o = parse.Options;
    EXPECT_EQ(o.RunFile, std::filesystem::path("night.json"));
    EXPECT_TRUE(o.Headless);
    EXPECT_EQ(o.Duration_min, 2.5);
    EXPECT_TRUE(o.ResumeInterruptedRun);
    EXPECT_EQ(o.DataFolder, std::filesystem::path("/srv/rig"));
    EXPECT_EQ(o.MqttAddress, "127.0.0.1:1884");
    EXPECT_EQ(o.Rig, "bench-1");
    EXPECT_FALSE(o.ListGases);
    EXPECT_FALSE(o.Help);
    EXPECT_EQ(StartModeOf(o), TStartMode::Headless);
    EXPECT_FALSE(NeedsDisplay(StartModeOf(o)));
}

TEST(CommandLineTest, ModeFollowsTheOptions) {
    const struct {
        Args Arguments;
        TStartMode Mode;
    } cases[] = {
        {{}, TStartMode::Window},
        {{"--run", "a.json"}, TStartMode::Window},  // the window opens with the run started
        {{"--run=a.json", "--headless"}, TStartMode::Headless},
        {{"--list-gases"}, TStartMode::ListGases},
        {{"-h"}, TStartMode::Help},
        {{"--run", "a.json", "--headless", "--help"}, TStartMode::Help},
        {{"--version"}, TStartMode::Version},
    };
    for (const auto& c : cases) {
        const TCommandLineParse parse = ParseCommandLine(c.Arguments);
        ASSERT_EQ(parse.Error, "") << testing::PrintToString(c.Arguments);
        EXPECT_EQ(StartModeOf(parse.Options), c.Mode) << testing::PrintToString(c.Arguments);
        EXPECT_EQ(NeedsDisplay(StartModeOf(parse.Options)), c.Mode == TStartMode::Window);
    }
}

TEST(CommandLineTest, WrongLinesAreRefusedWithTheReason) {
    const struct {
        Args Arguments;
        std::string Error;
    } cases[] = {
        {{"--headless"}, "--headless needs a run file: --run FILE --headless"},
        {{"--run"}, "--run needs a value"},
        {{"--run="}, "--run needs a value"},
        {{"--run", "a.json", "--duration", "5"}, "--duration only applies to --run FILE --headless"},
        {{"--run", "a.json", "--headless", "--duration", "0"}, "--duration: \"0\" is no positive number of minutes"},
        {{"--run", "a.json", "--headless", "--duration", "1,5"},
         "--duration: \"1,5\" is no positive number of minutes"},
        {{"--run", "a.json", "--headless", "--duration", "-3"}, "--duration: \"-3\" is no positive number of minutes"},
        {{"--run", "a.json", "--headless", "--duration", "inf"},
         "--duration: \"inf\" is no positive number of minutes"},
        {{"--speed", "3"}, "unknown option --speed"},
        {{"a.json"}, "unexpected argument \"a.json\" (a run file goes after --run)"},
        {{"--run", "a.json", "--run", "b.json"}, "--run is given twice"},
        {{"--headless=yes", "--run", "a.json"}, "--headless takes no value"},
        {{"--run", "a.json", "--headless", "--rig", "r1"}, "--rig names the rig for --mqtt HOST[:PORT]"},
        {{"--run", "a.json", "--mqtt", "broker"},
         "--mqtt only applies to --run FILE --headless; in the window use Preferences > Publish to MQTT"},
        {{"--run", "a.json", "--headless", "--mqtt", "broker:99999"},
         "--mqtt: MQTT broker \"broker:99999\": the port must be a number from 1 to 65535"},
        {{"--run", "a.json", "--headless", "--mqtt", "broker", "--rig", "rig/1"},
         "--rig: \"rig/1\" is no rig name (letters, digits, \"-\" and \"_\")"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseCommandLine(c.Arguments).Error, c.Error) << testing::PrintToString(c.Arguments);
}

TEST(CommandLineTest, HelpNamesEveryOptionAndExitCode) {
    const std::string help = CommandLineHelp();
    for (const char* expected : {"--run FILE", "--headless", "--duration MIN", "--resume", "--list-gases",
                                 "--data-folder DIR", "--mqtt HOST[:PORT]", "--rig NAME", "--help", "--version",
                                 "SIGTERM", "\n  0 ", "\n  64 ", "\n  65 ", "\n  69 ", "\n  70 ", "\n  75 "})
        EXPECT_NE(help.find(expected), std::string::npos) << expected;
}

TEST(CommandLineTest, MainsArgumentsLeaveOutTheProgramName) {
    const char* argv[] = {"tessaro", "--list-gases", nullptr};
    const TCommandLineParse parse = ParseCommandLine(2, argv);
    EXPECT_EQ(parse.Error, "");
    EXPECT_TRUE(parse.Options.ListGases);
}

}  // namespace
}  // namespace tessaro
