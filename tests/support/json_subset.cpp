#include "support/json_subset.h"

#include <gtest/gtest.h>

void ExpectJsonSubset(const nlohmann::json& actual, const nlohmann::json& expected, const std::string& context,
                      JsonNumbers numbers) {
  for (const auto& [key, value] : expected.items()) {
    if (!actual.contains(key)) {
      ADD_FAILURE() << context << ": no " << key << " in " << actual.dump();
      continue;
    }
    if (numbers == JsonNumbers::Single && value.is_number_float()) {
      EXPECT_EQ(actual[key].get<float>(), value.get<float>()) << context << ": " << key << " in " << actual.dump();
    } else {
      EXPECT_EQ(actual[key], value) << context << ": " << key << " in " << actual.dump();
    }
  }
}
