// Checks of the programs' numeric options, with the reason a value is refused.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

inline const CLI::Validator kAboveZero(
    [](const std::string& text) -> std::string {
      double value = 0;
      return CLI::detail::lexical_cast(text, value) && value > 0 ? "" : "must be a number above 0, not " + text;
    },
    "");

inline const CLI::Validator kZeroOrMore(
    [](const std::string& text) -> std::string {
      double value = 0;
      return CLI::detail::lexical_cast(text, value) && value >= 0 ? "" : "must be a number of 0 or more, not " + text;
    },
    "");
