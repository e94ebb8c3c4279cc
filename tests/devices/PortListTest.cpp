#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "DeviceTestSupport.h"
#include "serial/PortNames.h"
#include "serial/SerialPort.h"
#include "sim/PortPublication.h"

namespace tessaro {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

void WriteFile(const fs::path& path, const std::string& text) { std::ofstream(path) << text << "\n"; }

// A tty class directory and a device directory as the kernel and udev lay them out;
// device nodes are links to /dev/null, a character device.
class FakeSystemPorts : public ::testing::Test {
protected:
    void AddTty(const std::string& name, bool hasDevice, const char* type, const char* console, bool hasNode) {
        const fs::path entry = fs::path(root_.Path()) / "class" / name;
        fs::create_directories(entry);
        if (hasDevice) fs::create_directory(entry / "device");
        if (type) WriteFile(entry / "type", type);
        if (console) WriteFile(entry / "console", console);
        if (hasNode) fs::create_symlink("/dev/null", fs::path(DevDir()) / name);
    }
    std::string ClassDir() const { return root_.Path() + "/class"; }
    std::string DevDir() const { return root_.Path() + "/dev"; }
    void SetUp() override { fs::create_directories(DevDir()); }

    test::TemporaryDirectory root_;
};

TEST_F(FakeSystemPorts, ListsRealPortsOnlyWithoutPhantomsAndTheConsole) {
    AddTty("ttyS0", true, "4", "Y", true);  // the kernel console
    AddTty("ttyS1", true, "0", "N", true);  // legacy port without a UART
    AddTty("ttyS2", true, "4", "N", true);  // a real UART
    AddTty("ttyUSB0", true, nullptr, nullptr, true);
    AddTty("ttyACM0", true, nullptr, nullptr, false);  // no device node
    AddTty("tty0", false, nullptr, nullptr, true);     // a virtual console
    EXPECT_EQ(Sorted(ListSystemSerialPorts(ClassDir(), DevDir())), (std::vector<std::string>{"ttyS2", "ttyUSB0"}));
}

TEST(ListPublishedPorts, ListsOnlyNamesARunningSimulatorHolds) {
    test::TemporaryDirectory dir;
    sim::PortPublication live(dir.Path(), "sim-pump1");
    live.PointTo("/dev/null");
    sim::PortPublication vanished(dir.Path(), "sim-mfc2");  // claimed, but no port just now
    fs::create_symlink("/dev/null", dir.Path() + "/stale");
    WriteFile(dir.Path() + "/stale.lock", "");  // left by a simulator that died
    fs::create_symlink("/dev/null", dir.Path() + "/unlocked");

    EXPECT_EQ(ListPublishedPorts(dir.Path()), std::vector<std::string>{"sim-pump1"});
    EXPECT_EQ(PortDevicePath("sim-pump1", dir.Path()), dir.Path() + "/sim-pump1");
    EXPECT_EQ(PortDevicePath("stale", dir.Path()), "/dev/stale");

    // A directory others may write to is not trusted at all.
    chmod(dir.Path().c_str(), 0777);
    EXPECT_TRUE(ListPublishedPorts(dir.Path()).empty());
    EXPECT_EQ(PortDevicePath("sim-pump1", dir.Path()), "/dev/sim-pump1");
    chmod(dir.Path().c_str(), 0700);
}

TEST(PortDevicePath, MapsPortNamesToDeviceFiles) {
    EXPECT_EQ(PortDevicePath("ttyUSB0", ""), "/dev/ttyUSB0");
    EXPECT_EQ(PortDevicePath("pts/3", "/nonexistent"), "/dev/pts/3");
    EXPECT_EQ(PortDevicePath("/tmp/x/sim-mfc1", ""), "/tmp/x/sim-mfc1");
}

TEST(PortDevicePath, RefusesNamesThatStepOutOfTheirDirectory) {
    for (const char* name : {"", "..", "../etc/passwd", "pts/../../etc/passwd", "/dev/../etc/passwd", "x/.."}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(PortDevicePath(name, "/nonexistent"), "");
        std::string reason;
        EXPECT_EQ(OpenSerialExclusive(name, reason), InvalidSerialHandle());
        EXPECT_NE(reason.find("is not a port name"), std::string::npos) << reason;
    }
    EXPECT_EQ(PortDevicePath("..ttyUSB0", ""), "/dev/..ttyUSB0");
}

TEST(PortPublication, HoldsItsNameUntilItEnds) {
    test::TemporaryDirectory dir;
    {
        sim::PortPublication first(dir.Path(), "sim-mfc1");
        first.PointTo("/dev/null");
        EXPECT_THROW(sim::PortPublication(dir.Path(), "sim-mfc1"), std::runtime_error);
        EXPECT_TRUE(sim::PortPublication::IsClaimed(dir.Path(), "sim-mfc1"));
    }
    EXPECT_FALSE(sim::PortPublication::IsClaimed(dir.Path(), "sim-mfc1"));
    EXPECT_TRUE(fs::is_empty(dir.Path()));
    EXPECT_THROW(sim::PortPublication(dir.Path(), "../escape"), std::runtime_error);
}

TEST(SortPortNames, SortsIgnoringCaseAndDropsDuplicates) {
    std::vector<std::string> names = {"COM3", "COM1", "COM10"};
    SortPortNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"COM1", "COM10", "COM3"}));

    names = {"ttyUSB0", "sim-mfc1", "ACM", "ttyACM0", "Sim-mfc0", "ttyUSB0"};
    SortPortNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"ACM", "Sim-mfc0", "sim-mfc1", "ttyACM0", "ttyUSB0"}));
}

TEST(ListComPorts, GivesASortedListWithoutTheKernelConsole) {
    const std::vector<std::string> ports = ListComPorts();
    std::vector<std::string> sorted = ports;
    SortPortNames(sorted);
    EXPECT_EQ(ports, sorted);
    std::ifstream active("/sys/class/tty/console/active");
    for (std::string console; active >> console;)
        EXPECT_EQ(std::count(ports.begin(), ports.end(), console), 0) << console;
}

}  // namespace
}  // namespace tessaro
