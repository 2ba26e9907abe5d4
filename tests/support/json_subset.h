// Compares a record with the fields a test expects of it: every key of the
// expected object must be in the record with an equal value; other keys of
// the record are not looked at.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

enum class JsonNumbers {
  Exact,   // numbers equal as written
  Single,  // floating-point numbers equal in single precision (records keep floats)
};

// Adds a test failure naming context and the key for every field that differs.
void ExpectJsonSubset(const nlohmann::json& actual, const nlohmann::json& expected, const std::string& context,
                      JsonNumbers numbers = JsonNumbers::Exact);
