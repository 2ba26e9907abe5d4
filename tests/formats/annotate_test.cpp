// Annotation text is passed on whatever it holds.
#include <gtest/gtest.h>

#include "format_test_support.h"
#include "formats/annotate.h"
#include "host/records.h"

TEST(Annotate, EveryLineBecomesAnAnnotationRecord) {
  const std::string lines[] = {"Start of line 42", "", "$GPGGA,not,for,me", "°C \t\r", std::string(2000, 'x')};
  for (const auto& line : lines) {
    const auto decoded = DecodeOnce<CSD_ANNOTATE>(line);
    EXPECT_EQ(decoded.result, 1) << line;
    ASSERT_EQ(decoded.received.size(), 1u) << line;
    const auto& record = decoded.received[0].record;
    EXPECT_EQ(decoded.received[0].kind, kSnsrAnnotation);
    EXPECT_EQ(record["class"], "CSnsrInf");
    EXPECT_EQ(record["type"], 16);
    EXPECT_EQ(record["text"], line);
    EXPECT_EQ(record["time"], 500.0);
    EXPECT_EQ(record["bank"], 3);
  }
}
