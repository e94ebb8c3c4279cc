// The diagnostic channels of the drivers, workers and registry: a running program prints
// only their warnings until QT_LOGGING_RULES switches a channel on.

#include <gtest/gtest.h>

#include <QLoggingCategory>
#include <QString>

#include "mfc/AlicatMFC.h"
#include "mfc/AlicatMFCThread.h"
#include "pump/PSD4_Interface.h"
#include "pump/PSD4_Thread.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "serial/SerialPort.h"

namespace tessaro {
namespace {

// The rules QT_LOGGING_RULES would give, for one test.
class LoggingRules {
public:
    explicit LoggingRules(const char* rules) { QLoggingCategory::setFilterRules(QString::fromUtf8(rules)); }
    ~LoggingRules() { QLoggingCategory::setFilterRules(QString()); }
    LoggingRules(const LoggingRules&) = delete;
    LoggingRules& operator=(const LoggingRules&) = delete;
};

struct Channel {
    const QLoggingCategory& (*category)();
    const char* name;
};

const Channel kChannels[] = {
    {lcSerialPort, "SerialPort"},  {lcMFC, "MFC"},
    {lcThreadMFC, "ThreadMFC"},    {lcPSD4, "PSD4 interface"},
    {lcThreadPUMP, "ThreadPUMP"},  {DeviceInfoLog, "Unit: DeviceInfo"},
};

TEST(DiagnosticChannels, SayOnlyWarningsUntilARuleSwitchesThemOn) {
    for (const Channel& channel : kChannels) {
        const QLoggingCategory& category = channel.category();
        EXPECT_STREQ(category.categoryName(), channel.name);
        EXPECT_TRUE(category.isWarningEnabled()) << channel.name;
        EXPECT_FALSE(category.isInfoEnabled()) << channel.name;
        EXPECT_FALSE(category.isDebugEnabled()) << channel.name;
    }

    // One level of one channel, and every level of the channels a pattern names.
    const LoggingRules rules("ThreadMFC.info=true\nPSD4*=true");
    EXPECT_TRUE(lcThreadMFC().isInfoEnabled());
    EXPECT_FALSE(lcThreadMFC().isDebugEnabled());
    EXPECT_TRUE(lcPSD4().isInfoEnabled());
    EXPECT_TRUE(lcPSD4().isDebugEnabled());
    EXPECT_FALSE(lcMFC().isInfoEnabled());
    EXPECT_FALSE(lcThreadPUMP().isInfoEnabled());
}

}  // namespace
}  // namespace tessaro
