// Segment program files: their bytes, their decoding and their names; and how a flood of
// messages is shown.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "segments/SegmentProgramFile.h"
#include "text/MessageBatch.h"

namespace tessaro {
namespace {

using namespace std::string_literals;

TEST(SegmentProgramFile, EveryLineEndsInCrLfAndTheTextIsTrimmed) {
    EXPECT_EQ(SegmentProgramFileBytes(" \r\n10 100 Ramp \r\n12 100 Step\n\n"), "10 100 Ramp \r\n12 100 Step\r\n");
    EXPECT_EQ(SegmentProgramFileBytes("1 2 Step\n3 4 Ramp\r5 6 Step"), "1 2 Step\r\n3 4 Ramp\r\n5 6 Step\r\n");
    EXPECT_EQ(SegmentProgramFileBytes(" \r\n "), "");
}

TEST(SegmentProgramFile, ReadsUtf8Utf16AndWindows1252) {
    struct Case {
        std::string bytes;
        std::string text;
    };
    const Case cases[] = {
        {"10 50 Step\r\n", "10 50 Step\r\n"},
        {"\xEF\xBB\xBF"
         "1 2 Step",
         "1 2 Step"},
        {"\xFF\xFE"
         "1\0 \0"
         "2\0"s,
         "1 2"},
        {"\xFE\xFF"
         "\0"
         "1\0 \0"
         "2"s,
         "1 2"},
        {"\xFF\xFE"
         "\x3D\xD8\x00\xDE"s,
         "\xF0\x9F\x98\x80"},  // a surrogate pair
        {"\xFF\xFE"
         "\x00\xD8"
         "A"s,
         "\xEF\xBF\xBD\xEF\xBF\xBD"},  // unpaired surrogate, odd byte
        {"1 2 Step caf\xC3\xA9", "1 2 Step caf\xC3\xA9"},
        {"1 2 Step caf\xE9 \x80", "1 2 Step caf\xC3\xA9 \xE2\x82\xAC"},  // not UTF-8: Windows-1252
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                                // an overlong form is not UTF-8
    };
    for (const Case& c : cases) {
        const std::optional<std::string> text = DecodeSegmentProgramFile(c.bytes);
        ASSERT_TRUE(text.has_value()) << c.text;
        EXPECT_EQ(*text, c.text);
    }
}

// A file that says it is UTF-8 but is not is read as the 8-bit code page, like a file
// without the mark: what loads is what a save writes and the next load reads again.
TEST(SegmentProgramFile, AUtf8MarkBeforeBytesThatAreNoUtf8IsReadAsWindows1252AndSurvivesASave) {
    EXPECT_EQ(DecodeSegmentProgramFile("\xEF\xBB\xBF"
                                       "1 2 Step caf\xE9"),
              "1 2 Step caf\xC3\xA9");
    for (const std::string& bytes : {"\xEF\xBB\xBF"
                                     "1 2 Step caf\xC3\xA9\r\n3 4 Step \xFF"s,
                                     "\xEF\xBB\xBF"
                                     "1 2 Step caf\xE9"s,
                                     "1 2 Step caf\xE9"s}) {
        const std::optional<std::string> loaded = DecodeSegmentProgramFile(bytes);
        ASSERT_TRUE(loaded.has_value());
        const std::optional<std::string> again = DecodeSegmentProgramFile(SegmentProgramFileBytes(*loaded));
        ASSERT_TRUE(again.has_value());
        EXPECT_EQ(SegmentProgramFileBytes(*again), SegmentProgramFileBytes(*loaded)) << bytes;
    }
}

TEST(SegmentProgramFile, BytesWithANulCharacterAreNoText) {
    EXPECT_FALSE(DecodeSegmentProgramFile("1 2 Step\0"s).has_value());
    EXPECT_FALSE(DecodeSegmentProgramFile("\xFF\xFE"
                                          "1\0\0\0"s)
                     .has_value());
    EXPECT_TRUE(DecodeSegmentProgramFile("").has_value());
}

TEST(SegmentProgramFile, TheOfferedNameAndItsExtension) {
    EXPECT_EQ(DefaultSegmentProgramFileName({2026, 2, 4, 14, 46, 5, 0}, "COM3", "MFC-A"),
              "2026-02-04 14-46 COM3 MFC-A.txt");
    EXPECT_EQ(WithTxtExtension("2026-02-04 14-46 COM3 MFC-A.txt"), "2026-02-04 14-46 COM3 MFC-A.txt");
    EXPECT_EQ(WithTxtExtension("/data/program"), "/data/program.txt");
    EXPECT_EQ(WithTxtExtension("PROGRAM.TXT"), "PROGRAM.TXT");
    EXPECT_EQ(WithTxtExtension("program.txt.bak"), "program.txt.bak.txt");
    EXPECT_EQ(WithTxtExtension("t"), "t.txt");
}

TEST(SegmentProgramFile, TheOfferedNameIsOneFileNameWhateverThePortIsCalled) {
    const std::pair<const char*, const char*> cases[] = {
        {"/dev/pts/3", "2026-02-04 14-46 _dev_pts_3 MFC-A.txt"},
        {"\\\\.\\COM10", "2026-02-04 14-46 __._COM10 MFC-A.txt"},
        {"ttyUSB0", "2026-02-04 14-46 ttyUSB0 MFC-A.txt"},
    };
    for (const auto& [port, name] : cases)
        EXPECT_EQ(DefaultSegmentProgramFileName({2026, 2, 4, 14, 46, 5, 0}, port, "MFC-A"), name) << port;
}

TEST(MessageBatch, AFloodOfMessagesIsOneBoxWithACount) {
    const std::vector<std::string> few = {"Invalid character: ,", "Invalid time format"};
    EXPECT_EQ(CollapsedMessages(few), few);

    const std::vector<std::string> flood(100001, "Invalid character: ,");
    const std::vector<std::string> boxes = CollapsedMessages(flood, 3);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0],
              "Invalid character: ,\nInvalid character: ,\nInvalid character: ,\n... and 99998 more messages");
}

}  // namespace
}  // namespace tessaro
