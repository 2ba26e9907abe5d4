// The hub options of nyxhost's command line: good values and the reasons for bad ones.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "nyxhost/hub_sim_option.h"

namespace {

struct PortCase {
  const char* text;
  int port;                 // -1: refused
  const char* decoder;
  std::optional<int> baudIndex;
  std::optional<int> mode;
  const char* reason;       // part of the error, for a refused value
};

const PortCase kPortCases[] = {
    {"A=GPGGA + ZDA", 0, "GPGGA + ZDA", std::nullopt, std::nullopt, ""},
    {"b=12,9600", 1, "12", 5, std::nullopt, ""},
    {"C=TSS Std 1,4800,binary", 2, "TSS Std 1", 4, 1, ""},
    {"H=GPGGA,ascii", 7, "GPGGA", std::nullopt, 0, ""},
    {"D=GPGGA,115200,echo:A", 3, "GPGGA", 9, 2, ""},
    {"E=GPGGA,echo:h", 4, "GPGGA", std::nullopt, 9, ""},
    {"I=GPGGA", -1, "", {}, {}, "letter A to H"},
    {"AB=GPGGA", -1, "", {}, {}, "letter A to H"},
    {"A=", -1, "", {}, {}, "no decoder"},
    {"A=GPGGA,4801", -1, "", {}, {}, "300, 600"},
    {"A=GPGGA,echo:A", -1, "", {}, {}, "another hub port"},
    {"A=GPGGA,ascii,9600", -1, "", {}, {}, "in that order"},
    {"A=GPGGA,fast", -1, "", {}, {}, "'fast'"},
    {"A=GPGGA,9600,ascii,x", -1, "", {}, {}, "too many fields"},
};

TEST(HubOptions, PortValues) {
  for (const PortCase& c : kPortCases) {
    SCOPED_TRACE(c.text);
    HubPortOption option;
    std::string error;
    const bool ok = ParseHubPort(c.text, option, error);
    ASSERT_EQ(ok, c.port >= 0) << error;
    if (!ok) {
      EXPECT_NE(error.find(c.reason), std::string::npos) << error;
      EXPECT_EQ(error.rfind(std::string("--hub-port ") + c.text + ": ", 0), 0u) << error;
      continue;
    }
    EXPECT_EQ(option.port, c.port);
    EXPECT_EQ(option.decoder, c.decoder);
    EXPECT_EQ(option.baudIndex, c.baudIndex);
    EXPECT_EQ(option.mode, c.mode);
  }
}

TEST(HubOptions, DropValues) {
  const struct {
    const char* text;
    bool ok;
    int id;
    double seconds;
  } cases[] = {
      {"100@0.5", true, 100, 0.5}, {"101", false, 0, 0}, {"0@5", false, 0, 0}, {"101@-1", false, 0, 0},
      {"101@x", false, 0, 0},      {"70000@1", false, 0, 0},
  };
  for (const auto& c : cases) {
    HubDropOption option;
    std::string error;
    ASSERT_EQ(ParseHubDrop(c.text, option, error), c.ok) << c.text;
    if (!c.ok) {
      EXPECT_NE(error.find("ID@S"), std::string::npos) << error;
      continue;
    }
    EXPECT_EQ(option.id, c.id);
    EXPECT_EQ(option.seconds, c.seconds);
  }
}

}  // namespace
