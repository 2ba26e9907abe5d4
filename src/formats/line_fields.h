// Field readers shared by the motion, heading and attitude formats.
#pragma once

#include <cstddef>
#include <string>

// The line as the sensor sent it, one byte per character (Windows-1252). Fixed
// column formats count lengths and columns in characters, and a "%c" reads one
// character, so scans run on this rather than on the UTF-8 message text.
std::string LineCharacters(const std::string& msg);

// Converts text[pos, pos + count) as "%lf" does: leading blanks skipped, text
// after the number ignored. False when nothing converts (or pos is past the end).
bool ScanDouble(const std::string& text, std::size_t pos, std::size_t count, double& value);
