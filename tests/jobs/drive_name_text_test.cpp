// Every list names a lettered partition alike: "DATA (C:)", the letter in
// capitals whoever reported it.
#include "jobs/drive_name_text.h"

#include <gtest/gtest.h>

namespace {

TEST(DriveNameText, TheLetterIsACapitalAfterTheLabel)
{
    const struct {
        const char* label;
        char letter;
        const char* text;
    } cases[] = {
        {"DATA", 'C', "DATA (C:)"},
        {"DATA", 'c', "DATA (C:)"},  // the Windows inventory reports small letters
        {"", 'd', "(D:)"},
        {"SYSTEM", ' ', "SYSTEM"},  // a hidden system partition has no letter
        {"SYSTEM", 0, "SYSTEM"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(driveNameText(QString::fromLatin1(c.label), c.letter), QString::fromLatin1(c.text))
            << c.label;
}

}  // namespace
