// The description a backup stores is limited in UTF-8 bytes, in one place
// for the engine, its readers and the wizards' fields; the field's rule cuts
// a longer text between characters.
#include "jobs/backup_rules.h"
#include "quarn/api/image_format.h"

#include <QByteArray>
#include <QString>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

QString Repeat(const QString& piece, int times)
{
    QString text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

TEST(DescriptionLimit, AFieldKeepsWholeCharactersUpToTheByteLimit)
{
    const int limit = static_cast<int>(ImageFormat::kMaxDescriptionBytes);
    const QString han = QString::fromUtf8("\xE5\xA4\x87");       // 3 bytes
    const QString face = QString::fromUtf8("\xF0\x9F\x98\x80");  // 4 bytes, a surrogate pair
    const QString accent = QString::fromUtf8("\xC3\xA9");        // 2 bytes
    struct Case {
        const char* what;
        QString text;
        QString kept;
    } cases[] = {
        {"empty", QString(), QString()},
        {"ASCII at the limit", Repeat("a", limit), Repeat("a", limit)},
        {"ASCII one byte over", Repeat("a", limit + 1), Repeat("a", limit)},
        {"the 3,500 characters that made an image no restore took", Repeat("b", 3500), Repeat("b", limit)},
        {"three-byte characters", Repeat(han, 334), Repeat(han, 333)},
        {"a pair is never split", Repeat(face, 251), Repeat(face, 250)},
        {"a pair that no longer fits goes whole", "a" + Repeat(face, 250), "a" + Repeat(face, 249)},
        {"two-byte characters", Repeat(accent, 501), Repeat(accent, 500)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString limited = BackupRules::limitDescription(c.text);
        EXPECT_EQ(limited, c.kept);
        EXPECT_LE(BackupRules::engineText(limited).size(), limit);
    }
}

TEST(DescriptionLimit, EveryDescriptionWithinTheLimitFitsEveryReader)
{
    // Bytes zlib cannot shrink make the longest blob.
    QByteArray noise(static_cast<int>(ImageFormat::kMaxDescriptionBytes), '\0');
    std::srand(7);
    for (char& byte : noise)
        byte = static_cast<char>(std::rand() & 0xFF);
    EXPECT_LE(static_cast<uint32_t>(qCompress(noise).size()), ImageFormat::kMaxBlobBytes);
    EXPECT_LE(ImageFormat::DescriptionBlobBound(ImageFormat::kMaxDescriptionBytes),
              ImageFormat::kMaxBlobBytes);
}

}  // namespace
