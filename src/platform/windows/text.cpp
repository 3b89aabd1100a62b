#include "platform/windows/text.h"

#include <limits>

namespace winplat {

namespace {

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void appendUtf16(std::u16string& out, char32_t c)
{
    if (c >= 0x10000) {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
        out += static_cast<char16_t>(c);
    }
}

constexpr char32_t kReplacement = 0xFFFD;

}  // namespace

std::u16string utf16(const std::string& utf8)
{
    std::u16string out;
    std::size_t i = 0;
    while (i < utf8.size()) {
        unsigned char lead = static_cast<unsigned char>(utf8[i]);
        int extra = lead < 0x80         ? 0
                    : (lead >> 5) == 6  ? 1
                    : (lead >> 4) == 14 ? 2
                    : (lead >> 3) == 30 ? 3
                                        : -1;
        bool good = extra >= 0 && i + extra < utf8.size();
        char32_t c = good ? (extra == 0 ? lead : lead & (0x3F >> extra)) : 0;
        for (int k = 1; good && k <= extra; ++k) {
            unsigned char next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80)
                good = false;
            else
                c = (c << 6) | (next & 0x3F);
        }
        if (!good || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
            appendUtf16(out, kReplacement);  // one replacement per bad byte
            ++i;
            continue;
        }
        appendUtf16(out, c);
        i += extra + 1;
    }
    return out;
}

std::string utf8(const std::u16string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = kReplacement;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::u16string fromWide(const wchar_t* text)
{
    std::u16string out;
    if (!text)
        return out;
    for (; *text; ++text) {
        if constexpr (sizeof(wchar_t) == 2) {
            out += static_cast<char16_t>(*text);
        } else {
            char32_t c = static_cast<char32_t>(*text);
            appendUtf16(out, c > 0x10FFFF || (c >= 0xD800 && c < 0xE000) ? kReplacement : c);
        }
    }
    return out;
}

std::wstring toWide(const std::u16string& text)
{
    std::wstring out;
    if constexpr (sizeof(wchar_t) == 2) {
        for (char16_t c : text)
            out += static_cast<wchar_t>(c);
        return out;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        out += static_cast<wchar_t>(c);
    }
    return out;
}

std::u16string asciiUpper(std::u16string text)
{
    for (auto& c : text)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
    return text;
}

std::string asciiUpper(std::string text)
{
    for (auto& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool equalsNoCase(const std::u16string& a, const std::u16string& b)
{
    return asciiUpper(a) == asciiUpper(b);
}

bool parseUnsigned(const std::u16string& text, unsigned long long& value)
{
    std::size_t i = 0, end = text.size();
    while (i < end && text[i] == u' ')
        ++i;
    while (end > i && text[end - 1] == u' ')
        --end;
    if (i == end)
        return false;
    unsigned long long v = 0;
    for (; i < end; ++i) {
        if (text[i] < u'0' || text[i] > u'9')
            return false;
        unsigned digit = text[i] - u'0';
        if (v > (std::numeric_limits<unsigned long long>::max() - digit) / 10)
            return false;
        v = v * 10 + digit;
    }
    value = v;
    return true;
}

}  // namespace winplat
