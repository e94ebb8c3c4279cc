// Segment programs through the engine: editing a device's program from the segment table,
// saving and loading program files, and the merged listing of the selected devices.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <sstream>

#include "MessageCapture.h"
#include "RecordingWindowPort.h"
#include "clock/Clock.h"
#include "engine/Engine.h"
#include "engine/Startup.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "segments/SegmentProgramFile.h"

namespace tessaro {
namespace {

using std::filesystem::path;

class SegmentProgramsTest : public ::testing::Test {
protected:
    SegmentProgramsTest() : scopedClock_(clock_) {
        clock_.SetLocalNow(QDateTime(QDate(2026, 2, 4), QTime(14, 46, 30)));
        InitializeModules();
        TEngineSettings settings;
        settings.DataFolder = path(folder_.path().toStdString());
        settings.Sleeps = false;
        engine_ = std::make_unique<TEngine>(window_, settings);
        engine_->FormCreate();
        window_.Log.clear();
    }
    ~SegmentProgramsTest() override { DevicesLocal().clear(); }

    static TDeviceInfo Device(const std::string& port) {
        TDeviceInfo device;
        EXPECT_TRUE(FindDevice(port, device)) << port;
        return device;
    }
    static void SetProgram(const std::string& port, const std::string& program) {
        TDeviceInfo device = Device(port);
        device.SegmentProgram = program;
        StoreDevice(device);
    }
    // A dialog that answers `chosen` and remembers what it was asked.
    TChooseFile Dialog(std::optional<path> chosen) {
        return [this, chosen](const TFileDialogRequest& request) {
            requests_.push_back(request);
            return chosen;
        };
    }
    path ProgramFile(const std::string& name, const std::string& bytes) const {
        const path file = engine_->SegmentProgramsFolder() / name;
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }
    static std::string FileBytes(const path& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }

    TFakeClock clock_;
    TScopedClock scopedClock_;
    QTemporaryDir folder_;
    test::RecordingWindowPort window_;
    MessageCapture messages_;
    std::unique_ptr<TEngine> engine_;
    std::vector<TFileDialogRequest> requests_;
};

// --- Editing ------------------------------------------------------------------------------------

TEST_F(SegmentProgramsTest, AnAppliedSegmentBecomesTheDevicesProgramAndTheDeviceIsShown) {
    TSegmentTable table;
    ProgramTextToTable("10 100 Ramp\r\n20 30 Step", table);
    // Item 1 of the termination group: "Keep last flow indefinitely".
    const TSegmentTableEdit edit = engine_->ApplySegment("COMX", table, {15, 12.5, "Step", "Flow 5% (check)"}, 1);
    EXPECT_TRUE(edit.Stored);
    EXPECT_EQ(Device("COMX").SegmentProgram, "10 100 Ramp\r\n15 12.5 Step Flow_5%_check\r\n20 30 Step");
    EXPECT_EQ(Device("COMX").SegmentProgramTermination, TSegProgTermination::tspttKeep);
    EXPECT_EQ(window_.Shown, std::vector<std::string>{"COMX"});
    EXPECT_TRUE(messages_.messages.empty());
}

TEST_F(SegmentProgramsTest, TimesAreTypedInTheDisplayUnit) {
    engine_->SetTimeUnit("HOUR");
    engine_->ApplySegment("COMY", {}, {1.5, 40, "Ramp", ""}, -1);
    EXPECT_EQ(Device("COMY").SegmentProgram, "90 40 Ramp");
}

// A program line before time 0 or outside 0 to 100 % is invalid, and a saved file holding
// one would not load again: such an entry is refused with the field and its range named, and
// neither the table nor the program changes.
TEST_F(SegmentProgramsTest, AnEntryTheProgramTextCannotHoldIsRefusedNamingTheFieldAndItsRange) {
    struct Case {
        const char* TimeUnit;
        TSegmentEntry Entry;
        std::string Message;
    };
    const std::vector<Case> cases = {
        {"MINUTE", {-5, 50, "Step", ""}, "Start time, m: type a number from 0 to 1000000000000."},
        {"HOUR", {-0.25, 50, "Step", ""}, "Start time, h: type a number from 0 to 1000000000000."},
        {"MINUTE", {std::nan(""), 50, "Step", ""}, "Start time, m: type a number from 0 to 1000000000000."},
        {"MINUTE", {5, 100.5, "Step", ""}, "Segment flow, %: type a number from 0 to 100."},
        {"MINUTE", {5, -1, "Ramp", ""}, "Segment flow, %: type a number from 0 to 100."},
    };
    const std::string before = Device("COMX").SegmentProgram;
    const TSegmentTable table = {{"10", "100", "Ramp"}};
    for (const Case& c : cases) {
        messages_.messages.clear();
        engine_->SetTimeUnit(c.TimeUnit);
        const TSegmentTableEdit edit = engine_->ApplySegment("COMX", table, c.Entry, 0);
        EXPECT_FALSE(edit.Stored) << c.Message;
        EXPECT_EQ(edit.Table, table) << c.Message;
        EXPECT_EQ(messages_.messages, std::vector<std::string>{c.Message});
    }
    EXPECT_EQ(Device("COMX").SegmentProgram, before);

    // The bounds themselves are taken.
    messages_.messages.clear();
    EXPECT_TRUE(engine_->ApplySegment("COMX", {}, {0, 100, "Step", ""}, 0).Stored);
    EXPECT_EQ(Device("COMX").SegmentProgram, "0 100 Step");
    EXPECT_TRUE(messages_.messages.empty());
}

TEST_F(SegmentProgramsTest, WithoutADeviceTheTableKeepsTheEditAndNoProgramChanges) {
    const std::string before = Device("COMX").SegmentProgram;
    const TSegmentTableEdit added = engine_->ApplySegment(std::nullopt, {}, {5, 50, "Step", ""}, 0);
    EXPECT_FALSE(added.Stored);
    EXPECT_EQ(added.Table, (TSegmentTable{{"5", "50", "Step", ""}}));

    const TSegmentTableEdit deleted = engine_->DeleteSegment("COM99", {{"1", "2", "Step"}, {"3", "4", "Step"}}, 0);
    EXPECT_FALSE(deleted.Stored);
    EXPECT_EQ(deleted.Table, (TSegmentTable{{"3", "4", "Step"}}));
    EXPECT_EQ(messages_.messages, (std::vector<std::string>{"Could not get assigned device.", "Error"}));
    EXPECT_EQ(Device("COMX").SegmentProgram, before);
    EXPECT_TRUE(window_.Shown.empty());
}

TEST_F(SegmentProgramsTest, DeletingTheOnlyRowLeavesAnEmptyProgramAtZero) {
    SetProgram("COMX", "5 40 Step");
    // No row selected: nothing happens.
    EXPECT_FALSE(engine_->DeleteSegment("COMX", {{"5", "40", "Step"}}, -1).Stored);
    EXPECT_EQ(Device("COMX").SegmentProgram, "5 40 Step");

    EXPECT_TRUE(engine_->DeleteSegment("COMX", {{"5", "40", "Step"}}, 0).Stored);
    EXPECT_EQ(Device("COMX").SegmentProgram, "");
    for (double t : {0.0, 5.0, 100.0}) EXPECT_EQ(SegmentAtTime(Device("COMX").SegmentProgram, t).Setpoint, 0);
    EXPECT_TRUE(messages_.messages.empty());
}

// --- Files --------------------------------------------------------------------------------------

TEST_F(SegmentProgramsTest, SavedAndLoadedProgramsMakeTheRoundTrip) {
    const std::string demo = Device("COMX").SegmentProgram;
    const path chosen = engine_->SegmentProgramsFolder() / "demo";
    ASSERT_TRUE(engine_->SaveSegmentProgram("COMX", Dialog(chosen)));
    ASSERT_EQ(requests_.size(), 1u);
    EXPECT_EQ(requests_[0].Filter, "Text files (*.txt)|*.TXT");
    EXPECT_EQ(requests_[0].Folder, engine_->SegmentProgramsFolder());
    EXPECT_EQ(requests_[0].FileName, "2026-02-04 14-46 COMX MFC.txt");
    const path written = engine_->SegmentProgramsFolder() / "demo.txt";
    EXPECT_EQ(FileBytes(written), demo + "\r\n");
    EXPECT_EQ(window_.LogTexts(), std::vector<std::string>{"Segment program of COMX saved to " + written.string()});

    window_.Log.clear();
    SetProgram("COMX", "");
    EXPECT_TRUE(engine_->LoadSegmentProgram("COMX", Dialog(written)));
    EXPECT_EQ(requests_[1].Folder, engine_->SegmentProgramsFolder());
    EXPECT_EQ(Device("COMX").SegmentProgram, demo);
    EXPECT_EQ(window_.Shown, std::vector<std::string>{"COMX"});
    EXPECT_EQ(window_.LogTexts(), std::vector<std::string>{"Segment program of COMX loaded from " + written.string()});
    EXPECT_TRUE(messages_.messages.empty());
}

// A file name may hold a line break (which would forge a second log line) or a right-to-left
// override (which would show the name backwards): the log shows the name without them.
TEST_F(SegmentProgramsTest, AFileNameWithALineBreakOrADirectionMarkIsLoggedOnOneLineWithoutThem) {
    SetProgram("COMX", "1 2 Step");
    const std::string forged = "a\n14:46:30:000 Stop all flows\xE2\x80\xAEtxt.exe";
    const path chosen = engine_->SegmentProgramsFolder() / forged;
    ASSERT_TRUE(engine_->SaveSegmentProgram("COMX", Dialog(chosen)));
    ASSERT_TRUE(engine_->LoadSegmentProgram("COMX", Dialog(engine_->SegmentProgramsFolder() / (forged + ".txt"))));

    const std::string shown = (engine_->SegmentProgramsFolder() / "a14:46:30:000 Stop all flowstxt.exe.txt").string();
    EXPECT_EQ(window_.LogTexts(), (std::vector<std::string>{"Segment program of COMX saved to " + shown,
                                                            "Segment program of COMX loaded from " + shown}));
    for (const std::string& line : window_.Log) EXPECT_EQ(line.find('\n'), std::string::npos);
}

TEST_F(SegmentProgramsTest, TheOfferedNameGetsItsExtensionOnce) {
    SetProgram("COMY", "1 2 Step");
    engine_->SaveSegmentProgram("COMY", [this](const TFileDialogRequest& request) {
        return std::optional(engine_->SegmentProgramsFolder() / request.FileName);
    });
    EXPECT_EQ(FileBytes(engine_->SegmentProgramsFolder() / "2026-02-04 14-46 COMY MFC.txt"), "1 2 Step\r\n");
}

TEST_F(SegmentProgramsTest, LoadedTextIsDecodedAndTrimmedAndABlankFileClearsTheProgram) {
    const path utf16 = ProgramFile("wide.txt", std::string("\xFF\xFE\n\0"
                                                           "1\0 \0"
                                                           "2\0 \0S\0t\0e\0p\0\r\0\n\0",
                                                           22));
    EXPECT_TRUE(engine_->LoadSegmentProgram("COMX", Dialog(utf16)));
    EXPECT_EQ(Device("COMX").SegmentProgram, "1 2 Step");

    EXPECT_TRUE(engine_->LoadSegmentProgram("COMX", Dialog(ProgramFile("blank.txt", " \r\n\r\n"))));
    EXPECT_EQ(Device("COMX").SegmentProgram, "");
}

TEST_F(SegmentProgramsTest, AnInvalidFileIsToldAndLeavesTheProgram) {
    const std::string before = Device("COMX").SegmentProgram;
    EXPECT_FALSE(engine_->LoadSegmentProgram("COMX", Dialog(ProgramFile("comma.txt", "10,5 50 Step\r\n"))));
    EXPECT_EQ(messages_.messages, (std::vector<std::string>{"Invalid character: ,", "Invalid time format"}));
    EXPECT_EQ(window_.LogTexts(), std::vector<std::string>{"Invalid segment program"});
    EXPECT_EQ(Device("COMX").SegmentProgram, before);
    EXPECT_TRUE(window_.Shown.empty());
}

TEST_F(SegmentProgramsTest, AFloodOfInvalidCharactersIsOneMessage) {
    const path flood = ProgramFile("flood.txt", "1 2 Step " + std::string(100000, ','));
    engine_->LoadSegmentProgram("COMX", Dialog(flood));
    ASSERT_EQ(messages_.messages.size(), 1u);
    EXPECT_NE(messages_.messages[0].find("... and 99990 more messages"), std::string::npos);
}

TEST_F(SegmentProgramsTest, NoDeviceOrACancelledDialogDoesNothing) {
    const std::string before = Device("COMX").SegmentProgram;
    EXPECT_FALSE(engine_->LoadSegmentProgram(std::nullopt, Dialog(std::nullopt)));
    EXPECT_FALSE(engine_->SaveSegmentProgram("COM99", Dialog(std::nullopt)));
    EXPECT_TRUE(requests_.empty());

    EXPECT_FALSE(engine_->LoadSegmentProgram("COMX", Dialog(std::nullopt)));
    EXPECT_FALSE(engine_->SaveSegmentProgram("COMX", Dialog(std::nullopt)));
    EXPECT_EQ(requests_.size(), 2u);
    EXPECT_EQ(Device("COMX").SegmentProgram, before);
    EXPECT_TRUE(messages_.messages.empty());
    EXPECT_TRUE(window_.Log.empty());
    EXPECT_TRUE(std::filesystem::is_empty(engine_->SegmentProgramsFolder()));
}

TEST_F(SegmentProgramsTest, FilesThatAreNoProgramAreRefusedBeforeParsing) {
    struct Case {
        path file;
        const char* told;
    };
    const Case cases[] = {
        {ProgramFile("large.txt", std::string(kMaxSegmentProgramFileBytes + 1, ',')), "is larger than 1 MB"},
        {ProgramFile("binary.txt", std::string("1 2 Step\0\x01", 10)), "is not a text file"},
        {engine_->SegmentProgramsFolder() / "missing.txt", "Reading the segment program file"},
    };
    const std::string before = Device("COMX").SegmentProgram;
    for (const Case& c : cases) {
        messages_.messages.clear();
        EXPECT_FALSE(engine_->LoadSegmentProgram("COMX", Dialog(c.file)));
        ASSERT_EQ(messages_.messages.size(), 1u) << c.told;
        EXPECT_NE(messages_.messages[0].find(c.told), std::string::npos) << messages_.messages[0];
    }
    EXPECT_EQ(Device("COMX").SegmentProgram, before);
}

TEST_F(SegmentProgramsTest, AFailedWriteNamesTheReasonAndLeavesNoFile) {
    const path folderGone = engine_->SegmentProgramsFolder() / "gone" / "p.txt";
    EXPECT_FALSE(engine_->SaveSegmentProgram("COMX", Dialog(folderGone)));
    ASSERT_EQ(messages_.messages.size(), 1u);
    EXPECT_NE(messages_.messages[0].find("Writing the segment program file"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(folderGone.parent_path()));
}

// --- Merged listing ---------------------------------------------------------------------------

// Each program ends with what its device gets after the last point, a second later: 0 %
// ("End") or the last setpoint ("Keep"); a repeated program lists every cycle.
TEST_F(SegmentProgramsTest, TheListingShowsTheGivenDevicesInTheDisplayUnit) {
    SetProgram("COMX", "10 100 Ramp\r\n12 100 Step");
    SetProgram("COMY", "45 50 Step");
    DevicesLocal()[static_cast<std::size_t>(DeviceIndex("COMY"))].ProgramRepeat = 2;
    DevicesLocal()[static_cast<std::size_t>(DeviceIndex("COMY"))].SegmentProgramTermination =
        TSegProgTermination::tspttKeep;
    engine_->SetTimeUnit("HOUR");
    const std::string listing = engine_->MergedSegmentListing({"COMX", "COM99", "COMY"});
    EXPECT_EQ(listing, " Segment programs \r\n" + std::string(62, '=') +
                           "\r\n"
                           "  Time,h |            Time |       COMX MFC |       COMY MFC | \r\n"
                           "---------+-----------------+-Setpoint--Type-+-Setpoint--Type-+-\r\n"
                           "   0.167 |             10m |      100  Ramp |                | \r\n"
                           "   0.200 |             12m |      100  Step |                | \r\n"
                           "   0.200 |          12m 1s |        0   End |                | \r\n"
                           "   0.750 |             45m |                |       50  Step | \r\n"
                           "   1.500 |          1h 30m |                |       50  Step | \r\n"
                           "   1.500 |       1h 30m 1s |                |       50  Keep | \r\n"
                           "\r\n");
}

// The tick asks for the listing every second; it is made again only when what it shows
// may have changed, and otherwise handed back as it was.
TEST_F(SegmentProgramsTest, TheListingIsRebuiltOnlyWhenItsInputsChange) {
    SetProgram("COMX", "10 100 Ramp");
    const std::vector<std::string> ports{"COMX", "COMY"};
    const TSegmentListing& first = engine_->SegmentListing(ports);
    const std::uint64_t revision = first.Revision;
    const char* text = first.Text.data();
    EXPECT_EQ(first.Text, engine_->MergedSegmentListing(ports));
    for (int tick = 0; tick < 3; ++tick) {
        engine_->TimerEngineTimer();
        const TSegmentListing& again = engine_->SegmentListing(ports);
        EXPECT_EQ(again.Revision, revision);
        EXPECT_EQ(again.Text.data(), text);  // not made again
    }

    // Each input that shows in the listing makes it again, and only then.
    struct Change {
        const char* what;
        std::function<void()> change;
        std::vector<std::string> ports;
    };
    const Change changes[] = {
        {"a program", [] { SetProgram("COMY", "5 20 Step"); }, ports},
        {"the selection", [] {}, {"COMY"}},
        {"the time unit", [this] { engine_->SetTimeUnit("HOUR"); }, {"COMY"}},
        {"a program changed in place",
         [] { DevicesLocal()[static_cast<size_t>(DeviceIndex("COMY"))].SegmentProgram = "6 20 Step"; },
         {"COMY"}},
        {"the repeats", [] { DevicesLocal()[static_cast<size_t>(DeviceIndex("COMY"))].ProgramRepeat = 2; }, {"COMY"}},
        {"the end choice",
         [] {
             DevicesLocal()[static_cast<size_t>(DeviceIndex("COMY"))].SegmentProgramTermination =
                 TSegProgTermination::tspttKeep;
         },
         {"COMY"}},
        {"nothing listed", [] {}, {}},
    };
    std::uint64_t last = revision;
    for (const Change& c : changes) {
        c.change();
        const TSegmentListing& listing = engine_->SegmentListing(c.ports);
        EXPECT_GT(listing.Revision, last) << c.what;
        EXPECT_EQ(listing.Text, c.ports.empty() ? "" : engine_->MergedSegmentListing(c.ports)) << c.what;
        last = listing.Revision;
        EXPECT_EQ(engine_->SegmentListing(c.ports).Revision, last) << c.what;
    }
}

}  // namespace
}  // namespace tessaro
