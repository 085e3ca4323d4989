// Effect names find their clips by name alone: the POSIX build looks the
// name up among its byte arrays, the Windows build among its resources.
// Every clip's name is found in mixed case by the embedded clips' test too.

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "platform/clips/clip_table.h"

namespace keelmark {
namespace {

TEST(ClipTable, NamesFindTheirClipInAnyCaseAndOtherNamesNothing) {
  EXPECT_EQ(ClipNameOf("bUzZeR"), "BUZZER");
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
