#include <gtest/gtest.h>

#include "base/CodePage1251.h"
#include "base/Exceptions.h"

using namespace zorvex;

TEST(CodePage1251, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const std::string utf8 = Cp1251ToUtf8(all);
    EXPECT_EQ(Utf8ToCp1251(utf8), all);
    EXPECT_TRUE(FitsCp1251(utf8));
}

TEST(CodePage1251, MapsKnownCharacters) {
    struct Case {
        std::string bytes, utf8;
    } cases[] = {
        {"\xC0\xDF\xE0\xFF", "АЯая"},
        {"\xA8\xB8", "Ёё"},
        {"\xB9", "№"},
        {"\x88", "€"},
        {"\x98", "\xC2\x98"},  // the unassigned byte keeps its own code point
        {"abc", "abc"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Cp1251ToUtf8(c.bytes), c.utf8);
        EXPECT_EQ(Utf8ToCp1251(c.utf8), c.bytes);
    }
}

TEST(CodePage1251, RefusesCharactersWithoutAByteAndNamesThem) {
    for (const std::string text : {"Привет 中", "x😀", "ä"}) {
        EXPECT_FALSE(FitsCp1251(text)) << text;
        try {
            Utf8ToCp1251(text);
            ADD_FAILURE() << "no error for " << text;
        } catch (const EConvertError& e) {
            EXPECT_NE(e.Message().find("U+"), std::string::npos) << e.Message();
        }
    }
    EXPECT_THROW(Utf8ToCp1251("bad \xFF utf-8"), EConvertError);
    EXPECT_THROW(Utf8ToCp1251("cut \xD0"), EConvertError);
}
