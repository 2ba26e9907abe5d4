// The hub options of nyxhost's command line that it takes (the refused ones
// are rows of tests/data/apps/refused_options.txt).
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "nyxhost/hub_sim_option.h"

namespace {

TEST(HubOptions, PortAndDropValues) {
  const struct {
    const char* text;
    int port;
    const char* decoder;
    std::optional<int> baudIndex;
    std::optional<int> mode;
  } cases[] = {
      {"A=GPGGA + ZDA", 0, "GPGGA + ZDA", std::nullopt, std::nullopt},
      {"b=12,9600", 1, "12", 5, std::nullopt},
      {"C=TSS Std 1,4800,binary", 2, "TSS Std 1", 4, 1},
      {"H=GPGGA,ascii", 7, "GPGGA", std::nullopt, 0},
      {"D=GPGGA,115200,echo:A", 3, "GPGGA", 9, 2},
      {"E=GPGGA,echo:h", 4, "GPGGA", std::nullopt, 9},
  };
  std::string error;
  for (const auto& c : cases) {
    HubPortOption option;
    ASSERT_TRUE(ParseHubPort(c.text, option, error)) << error;
    EXPECT_EQ(std::tie(option.port, option.decoder, option.baudIndex, option.mode),
              std::tie(c.port, c.decoder, c.baudIndex, c.mode))
        << c.text;
  }
  HubDropOption drop;
  ASSERT_TRUE(ParseHubDrop("100@0.5", drop, error)) << error;
  EXPECT_EQ(std::tie(drop.id, drop.seconds), std::make_tuple(100, 0.5));
}

}  // namespace
