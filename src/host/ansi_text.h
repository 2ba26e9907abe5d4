// Bytes from the lines are text in the original's ANSI code page, Windows-1252;
// the module keeps text as UTF-8. Both conversions are the identity for ASCII.
#pragma once

#include <string>
#include <string_view>

namespace Ansi {

// Windows-1252 bytes to UTF-8. The five bytes that code page leaves undefined
// map to the C1 control of the same value, so no byte is ever lost.
std::string ToUtf8(std::string_view ansi);
std::string ToUtf8(const unsigned char* bytes, std::size_t count);
// The same into out (replacing what it held), which keeps its storage.
void ToUtf8(const unsigned char* bytes, std::size_t count, std::string& out);

// The low byte of the Unicode character of a Windows-1252 byte: what a byte
// counts in checksums taken over wide characters (0x80, the euro sign U+20AC,
// counts 0xAC).
unsigned char WideLowByte(unsigned char ansiByte);

// UTF-8 to Windows-1252; characters the code page lacks, and malformed
// sequences, become '?', as the platform's best-fit conversion does.
std::string FromUtf8(std::string_view utf8);

}  // namespace Ansi
