// The JSON line writer against nlohmann-json's compact dump, which record
// lines have always been: texts, numbers and whole records must be the same bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include <nlohmann/json.hpp>

#include "host/json_line.h"

namespace {

std::string JsonLineTestDump(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

TEST(JsonLineText, EscapesAndReplacesAsNlohmannDoes) {
  const std::string texts[] = {
      "",
      "$GPGGA,123519,4807.038,N*47",
      "quote \" backslash \\ slash / del \x7F",
      std::string("\x00\x01\x08\x09\x0A\x0C\x0D\x1B\x1F", 9),
      "\xC2\xB0" "C \xE2\x82\xAC \xF0\x9F\x98\x80",  // valid two, three and four byte characters
      "\x80 lone continuation, \xC0\xAF overlong, \xC1\xBF",
      "\xE0\x80\x80 overlong three, \xED\xA0\x80 surrogate, \xF4\x90\x80\x80 beyond U+10FFFF",
      "\xF5\xFF\xFE bytes that never lead",
      "\xE2\x82 cut short, \xE2 again, \xF0\x9F\x98 and at the end \xE2\x82",
      "\xC3\x28 second byte is ASCII, \xE2\x28\xA1, \xF0\x28\x8C\x28",
      "\xC2",
      "\xF0\x9F\x98",
  };
  for (const auto& text : texts) {
    std::string written;
    AppendJsonText(written, text);
    EXPECT_EQ(written, JsonLineTestDump(text)) << testing::PrintToString(text);
  }
}

TEST(JsonLineNumber, DoublesAndFloatsAsNlohmannWritesThem) {
  const double doubles[] = {0.0, -0.0, 1.0, -1.0, 0.1, 1000.25, 710280930.0, 1e15, 1e16, 1e17, 123456789012345678.0,
                            1e-4, 1e-5, 1.5e-7, 5e-324, 1.7976931348623157e308, -7.694771999999999e+20,
                            48.117299999999986, std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN()};
  for (double value : doubles) {
    std::string written;
    AppendJsonDouble(written, value);
    EXPECT_EQ(written, JsonLineTestDump(std::isfinite(value) ? nlohmann::json(value) : nlohmann::json(nullptr)))
        << value;
  }
  // Floats: the shortest text of the float, read back as a double, then written.
  const struct {
    float value;
    const char* expected;
  } floats[] = {{0.9f, "0.9"}, {545.4f, "545.4"}, {-1.5f, "-1.5"}, {3.0f, "3.0"}, {1e-7f, "1e-07"},
                {7.694772e+20f, "7.694771999999999e+20"}, {-0.0f, "-0.0"},
                {std::numeric_limits<float>::infinity(), "null"}, {std::nanf(""), "null"}};
  for (const auto& c : floats) {
    std::string written;
    AppendJsonFloat(written, c.value);
    EXPECT_EQ(written, c.expected) << c.value;
  }
}

TEST(JsonLineObject, KeysInOrderWithoutSpaces) {
  std::string out = "prefix ";
  JsonLine line(out);
  line.Int("kind", -3);
  line.Text("class", "C");
  line.Vector("pos", 1.0, 0.5, std::nan(""));
  line.Double("time", 2.0);
  line.Close();
  EXPECT_EQ(out, R"(prefix {"kind":-3,"class":"C","pos":[1.0,0.5,null],"time":2.0})");
}
