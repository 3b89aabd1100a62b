// Text conversions of the Windows layer: UTF-16 is the layer's text, UTF-8
// the text of files and of the engine's byte strings, wchar_t the text of
// the Windows-style helper signatures (UTF-16 on Windows, UTF-32 on Linux).
#pragma once

#include <string>

namespace winplat {

std::u16string utf16(const std::string& utf8);
std::string utf8(const std::u16string& utf16);

std::u16string fromWide(const wchar_t* text);  // null gives ""
std::wstring toWide(const std::u16string& text);

// ASCII-only case folding: the names compared here (file systems, registry
// keys, device paths) are ASCII, and other characters must stay as they are.
std::u16string asciiUpper(std::u16string text);
std::string asciiUpper(std::string text);
bool equalsNoCase(const std::u16string& a, const std::u16string& b);

// Unsigned decimal text (surrounding blanks allowed) as a number; false for
// anything else or a value beyond 64 bits.
bool parseUnsigned(const std::u16string& text, unsigned long long& value);

}  // namespace winplat
