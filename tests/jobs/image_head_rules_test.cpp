// The head block's partition number is the device path's whole number: it
// decides the "Pri"/"Log" text of the restore pages.
#include "jobs/image_head_reader.h"

#include <QtEndian>
#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(ImageHeadRules, NumbersAboveTheFourPrimarySlotsAreLogical)
{
    const struct {
        int number;
        bool logical;
    } cases[] = {{0, false}, {1, false}, {2, false}, {4, false}, {5, true}, {12, true}, {255, true}};
    for (const auto& c : cases)
        EXPECT_EQ(isLogicalPartitionNumber(c.number), c.logical) << c.number;
}

TEST(ImageHeadRules, APartitionNumberAboveNineReadsBackWhole)
{
    QByteArray bytes(ImageHead::kFixedSize, '\0');
    auto* head = reinterpret_cast<tagBackupImageHeadInfo*>(bytes.data());
    head->blockSize = qToLittleEndian<quint32>(ImageHead::kFixedSize);
    std::memcpy(head->signature, ImageHead::kSignature, sizeof head->signature);
    head->partitionNumber = 12;
    ImageHeadView view;
    ASSERT_EQ(parseHeadBlock(bytes, &view), HeadReadResult::Ok);
    EXPECT_EQ(view.partitionNumber, 12);
    EXPECT_TRUE(isLogicalPartitionNumber(view.partitionNumber));
}

}  // namespace
