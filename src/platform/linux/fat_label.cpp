#include "platform/linux/fat_label.h"

#include <iconv.h>

#include <cstdlib>
#include <vector>

namespace {

struct CodePageRow {
    const char* languagePrefix;
    const char* codePage;
};

const CodePageRow kCodePages[] = {
    {"zh_CN", "cp936"},
    {"zh_TW", "cp950"},
    {"ja_JP", "cp932"},
};

const char* const kLanguageVariables[] = {"LANGUAGE", "LANG", "LC_ALL"};

// Every byte of these code pages turns into at most 4 bytes of UTF-8 (a
// cp932 half-width katakana byte alone becomes 3).
const size_t kMaxUtf8BytesPerByte = 4;

}  // namespace

std::string fatLabelCodePage()
{
    for (const char* variable : kLanguageVariables) {
        const char* value = getenv(variable);
        if (!value)
            continue;
        std::string prefix = std::string(value).substr(0, 5);
        for (const CodePageRow& row : kCodePages) {
            if (prefix == row.languagePrefix)
                return row.codePage;
        }
        return std::string();
    }
    return std::string();
}

std::string fatLabelToUtf8(const std::string& label, const std::string& codePage)
{
    if (codePage.empty() || label.empty())
        return label;
    iconv_t converter = iconv_open("UTF-8", codePage.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1))
        return label;
    std::vector<char> input(label.begin(), label.end());
    std::vector<char> output(label.size() * kMaxUtf8BytesPerByte + 1);
    char* in = input.data();
    size_t inLeft = input.size();
    char* out = output.data();
    size_t outLeft = output.size() - 1;
    iconv(converter, &in, &inLeft, &out, &outLeft);
    iconv_close(converter);
    return std::string(output.data(), out);
}
