// FAT labels are stored in the machine's DOS code page; the console shows
// UTF-8. The code page follows the user's language.
#ifndef RESCUE_STORAGE_FAT_LABEL_H
#define RESCUE_STORAGE_FAT_LABEL_H

#include <string>

// The code page for the first of LANGUAGE, LANG, LC_ALL that is set:
// "cp936" for zh_CN, "cp950" for zh_TW, "cp932" for ja_JP; "" otherwise.
std::string fatLabelCodePage();

// The label converted from the code page to UTF-8. A conversion error
// keeps what was converted; an empty code page or one that cannot be
// opened leaves the label unchanged.
std::string fatLabelToUtf8(const std::string& label, const std::string& codePage);

#endif
