// One size text for every list, file dialog and progress page: two
// decimals, and each unit only for counts strictly above it.
#include "jobs/size_text.h"

#include <gtest/gtest.h>

namespace {

TEST(SizeText, EachUnitFromJustAboveItsSizeWithTwoDecimals)
{
    const struct {
        qint64 bytes;
        const char* text;
    } cases[] = {
        {0, "0 B"},
        {1024, "1024 B"},
        {1025, "1.00 KB"},
        {1536, "1.50 KB"},
        {1 << 20, "1024.00 KB"},
        {(1 << 20) + 1, "1.00 MB"},
        {2147483647, "2.00 GB"},
        {2266087424LL, "2.11 GB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatSize(c.bytes), QString::fromLatin1(c.text)) << c.bytes;
}

TEST(SizeText, Table)
{
    const struct {
        qint64 bytes;
        const char* text;
    } cases[] = {
        {0, "0 B"},
        {1, "1 B"},
        {1024, "1024 B"},
        {1025, "1.00 KB"},
        {1536, "1.50 KB"},
        {1048576, "1024.00 KB"},
        {1048577, "1.00 MB"},
        {1073741824, "1024.00 MB"},
        {1073741825, "1.00 GB"},
        {5LL * 1073741824 + 536870912, "5.50 GB"},
        {4LL * 1024 * 1073741824 * 1024, "4194304.00 GB"},
        {-5, "-5 B"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatSize(c.bytes), QString::fromLatin1(c.text)) << c.bytes;
}

}  // namespace
