#include "platform/TtyFrontEnd.h"

#include <cmath>

#include <gtest/gtest.h>

namespace vantor::platform {
namespace {

ProgressUpdate shown(std::optional<std::string> name, std::optional<double> percent, std::optional<std::string> message,
                     std::optional<std::string> url) {
  ProgressUpdate update;
  update.name = std::move(name);
  update.percent = percent;
  update.message = std::move(message);
  update.url = std::move(url);
  return update;
}

TEST(TtyFrontEndTest, ProgressLineShowsNameBarMessageAndURLWithinTheWidth) {
  struct Case {
    ProgressUpdate update;
    size_t width;
    std::string line;
  } cases[] = {
      {shown("Installing App: Editor", std::nullopt, std::nullopt, std::nullopt), 80, "Installing App: Editor"},
      {shown("Installing App: Editor", 45, "Downloading", "https://example.test/E.zip"), 200,
       "Installing App: Editor  [#########-----------]  45%  Downloading  https://example.test/E.zip"},
      {shown(std::nullopt, 100, std::nullopt, std::nullopt), 80, "[####################] 100%"},
      // Out of range and not-a-number percentages.
      {shown(std::nullopt, 150, std::nullopt, std::nullopt), 80, "[####################] 100%"},
      {shown(std::nullopt, -3, std::nullopt, std::nullopt), 80, "[--------------------]   0%"},
      {shown("N", std::nan(""), "m", std::nullopt), 80, "N  m"},
      // Cut to the width, counting characters, not bytes.
      {shown("Installing App: Éditeur", std::nullopt, "Downloading", std::nullopt), 20, "Installing App: Édi…"},
      {shown("exactly ten", std::nullopt, std::nullopt, std::nullopt), 11, "exactly ten"},
      // Server text cannot move the cursor or restyle the terminal.
      {shown(std::nullopt, std::nullopt, "bad\x1b[2J\r\nnews", std::nullopt), 80, "bad [2J  news"},
  };
  for (const auto& c : cases) EXPECT_EQ(TtyFrontEnd::progressLine(c.update, c.width), c.line);
}

}  // namespace
}  // namespace vantor::platform
