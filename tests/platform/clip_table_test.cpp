// Effect names find their clips by name alone: the POSIX build looks the
// name up among its byte arrays, the Windows build among its resources.

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "platform/clips/clip_table.h"

namespace keelmark {
namespace {

TEST(ClipTable, EffectNamesFindTheirClipsInAnyCase) {
  EXPECT_EQ(ClipNameOf("drop"), "DROP");
  EXPECT_EQ(ClipNameOf("hit"), "HIT");
  EXPECT_EQ(ClipNameOf("miss"), "MISS");
  EXPECT_EQ(ClipNameOf("sink"), "SINK");
  EXPECT_EQ(ClipNameOf("buzzer"), "BUZZER");
  EXPECT_EQ(ClipNameOf("BUZZER"), "BUZZER");
  EXPECT_EQ(ClipNameOf("bUzZeR"), "BUZZER");
}

TEST(ClipTable, OtherNamesFindNothing) {
  for (const std::string& name : std::initializer_list<std::string>{
           "", "dro", "drops", "splash", " drop", std::string("drop\0", 5)}) {
    EXPECT_TRUE(ClipNameOf(name).empty()) << '"' << name << '"';
  }
  // Only ASCII letters fold: a byte that some code page folds onto "I"
  // must not find "HIT".
  EXPECT_TRUE(ClipNameOf("h\xC4\xB1t").empty());
  EXPECT_TRUE(ClipNameOf("h\x8Dt").empty());
}

}  // namespace
}  // namespace keelmark
