// Command codes as text: the most significant byte first on either byte order.
#include "carbonmacros.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct CommandCase {
    const char* name;
    UInt32 code;
    const char* text;
};

class CommandText2Str : public testing::TestWithParam<CommandCase> {};

TEST_P(CommandText2Str, PutsTheMostSignificantByteFirst) {
    const CommandText text = CommandID2Str(GetParam().code);
    EXPECT_EQ(std::string(text.Chars, 4), std::string(GetParam().text, 4));
    EXPECT_EQ(text.Chars[4], '\0');
    EXPECT_TRUE(IsCommand(text, GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(Codes, CommandText2Str,
                         testing::Values(CommandCase{"OK", 0x6F6B2020, "ok  "},
                                         CommandCase{"Cancel", FOUR_CHAR_CODE("not!"), "not!"},
                                         CommandCase{"Info", FOUR_CHAR_CODE("Info"), "Info"},
                                         CommandCase{"HighBytes", 0xA5FF0180, "\xA5\xFF\x01\x80"}),
                         [](const testing::TestParamInfo<CommandCase>& info) {
                             return info.param.name;
                         });

} // namespace
