#include "trace/text_encoding.h"

#include <gtest/gtest.h>

namespace tosim {
namespace {

TEST(Cp1252ToUtf8, ConvertsEveryRangeOfTheCodePage) {
  EXPECT_EQ(Cp1252ToUtf8("T1 lee\t\"A\"\r\n"), "T1 lee\t\"A\"\r\n");
  EXPECT_EQ(Cp1252ToUtf8("operaci\xF3n \xBF"), "operaci\xC3\xB3n \xC2\xBF");
  EXPECT_EQ(Cp1252ToUtf8("\xA0\xFF"), "\xC2\xA0\xC3\xBF");
  // 0x80..0x9F are not Latin-1: the euro sign, quotes, dashes, and the undefined 0x81 and 0x9D.
  EXPECT_EQ(Cp1252ToUtf8("\x80\x81\x8A\x93\x97\x9D\x9F"),
            "\xE2\x82\xAC\xC2\x81\xC5\xA0\xE2\x80\x9C\xE2\x80\x94\xC2\x9D\xC5\xB8");
}

}  // namespace
}  // namespace tosim
