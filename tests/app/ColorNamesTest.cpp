#include "registry/ColorNames.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QStringList>
#include <optional>
#include <string>

namespace tessaro {
namespace {

std::string UpperCase(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

// Qt knows the same standard list (SVG 1.1 names); every value must match it exactly.
TEST(ColorNames, AgreeWithQtsWebColorTable) {
    EXPECT_EQ(NamedColors().size(), 148u);
    for (const TNamedColor& named : NamedColors()) {
        SCOPED_TRACE(std::string(named.Name));
        const QString name = QString::fromLatin1(named.Name.data(), static_cast<qsizetype>(named.Name.size()));
        if (QColor::isValidColorName(name)) {
            EXPECT_EQ(named.Color, QColor(name).rgba());
        }
        EXPECT_EQ(ColorFromName(UpperCase(named.Name)), named.Color);
    }
    for (const QString& qtName : QColor::colorNames()) {
        if (qtName == "transparent") continue;  // a keyword, not a colour name
        SCOPED_TRACE(qtName.toStdString());
        EXPECT_TRUE(ColorFromName(qtName.toStdString()).has_value());
    }
}

TEST(ColorNames, TextIsANameOrADecimalNumber) {
    const struct {
        const char* text;
        std::optional<TRtColor> color;
    } cases[] = {
        {"Purple", 0xFF800080u},
        {"GREEN", 0xFF008000u},
        {"rebeccaPurple", 0xFF663399u},
        {"8388736", 8388736u},
        {"0", 0u},
        {"4294967295", 0xFFFFFFFFu},
        {"4294967296", std::nullopt},
        {"-1", std::nullopt},
        {"+1", std::nullopt},
        {"0x10", std::nullopt},
        {" 12", std::nullopt},
        {"Purple ", std::nullopt},
        {"Purplex", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(StringToRtColor(c.text), c.color);
    }
}

}  // namespace
}  // namespace tessaro
