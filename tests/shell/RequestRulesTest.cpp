// The two rules of request resolution that decide what the confirmation shows: when
// downloaded bytes count as a cask file, and which name the server's paths give.
#include <gtest/gtest.h>

#include "shell/AppDelegate.h"

namespace vantor {
namespace {

Bytes bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

TEST(RequestRulesTest, CaskDownloadNeedsSixPiecesOfUTF8TextWithCaskAndEnd) {
  struct Case {
    std::string text;
    bool accepted;
  } cases[] = {
      {"cask 'a' do\n1\n2\n3\n4\nend", true},                 // six pieces
      {"cask 'a' do\n1\n2\n3\nend\n", true},                  // the empty piece after the last newline counts
      {"cask 'a' do\n1\n2\n3\nend", false},                   // five
      {"cask 'a' do\r\n1\r\n2\r\n3\r\n4\r\nend", true},       // CR before LF changes nothing
      {"cask 'a' do\r1\r2\r3\r4\r5\rend", false},             // CR alone is no line break here
      {"Cask 'a' do\n1\n2\n3\n4\nEnd", false},                // case-sensitive
      {"cask\n1\n2\n3\n4\n5", false},                         // no "end"
      {"end\n1\n2\n3\n4\n5", false},                          // no "cask"
      {"cask 'a' do\n1\n2\n3\n4\nend\xff", false},            // not UTF-8
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(AppDelegate::isCaskfileDownload(bytes(c.text)), c.accepted) << c.text;
}

TEST(RequestRulesTest, NameIsTheMostFrequentLastComponentWithoutExtension) {
  struct Case {
    const char* answer;  // JSON, or empty for no answer
    std::optional<std::string> name;
  } cases[] = {
      {R"([{"Path1":"/Applications/Editor.app","Path2":"/Applications/Editor.app",
           "Path3":"/Users/x/Applications/Editor 2.app","Path4":null}])", "Editor"},
      {R"([{"Path1":"/Applications/Old.app","Path2":"/Applications/Old.app"},
           {"Path1":"/A/New.app","Path2":"/B/New.app","Path3":"/C/New.app","Path4":"/D/Other.app"}])", "New"},  // last record
      {R"([{"Path1":null,"Path2":null,"Path3":null,"Path4":null}])", std::nullopt},
      {R"([{"Path1":"/Applications/Editor.app"}])", ""},       // three missing keys outnumber it
      {R"([{"Path1":"Plain","Path2":"Plain","Path3":null,"Path4":null}])", "Plain"},  // no slash, no extension
      {R"([{"Path1":"/a/Tool.tar.gz","Path2":"/b/Tool.tar.gz","Path3":null,"Path4":null}])", "Tool.tar"},
      {R"([{"Path1":"/a/.hidden","Path2":"/b/.hidden","Path3":null,"Path4":null}])", ".hidden"},
      {R"([{"Path1":"/a/App.app/","Path2":"/b/App.app/","Path3":null,"Path4":null}])", ""},  // after the last "/"
      {R"([{"Path1":"/a/B.app","Path2":"/a/C.app","Path3":null,"Path4":null}])", "B"},  // a tie: the first seen
      {R"([{"Path1":7,"Path2":"/a/Seven.app","Path3":null,"Path4":null}])", "Seven"},   // not text: left out
      {R"([])", ""},
      {R"([7])", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    std::optional<Json> answer;
    if (*c.answer != '\0') answer = Json::parse(c.answer);
    EXPECT_EQ(AppDelegate::nameFromReceiveDateAnswer(answer), c.name) << c.answer;
  }
}

}  // namespace
}  // namespace vantor
