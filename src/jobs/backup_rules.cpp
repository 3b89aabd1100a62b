#include "jobs/backup_rules.h"

#include "quarn/api/image_format.h"
#include "jobs/image_trailer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace BackupRules {

namespace {

// "<base>_<volume>_<generation>.bkp" for one base (with `suffix` after it).
QRegularExpression volumeNamePattern(const QString& baseName,
                                     Qt::CaseSensitivity nameCase = Qt::CaseSensitive,
                                     const QString& suffix = QString())
{
    return QRegularExpression(QStringLiteral("^") + QRegularExpression::escape(baseName) +
                                  QStringLiteral("_(\\d+)_(\\d+)\\.bkp") +
                                  QRegularExpression::escape(suffix) + QStringLiteral("$"),
                              nameCase == Qt::CaseInsensitive ? QRegularExpression::CaseInsensitiveOption
                                                              : QRegularExpression::NoPatternOption);
}

// The files of a folder whose names match `pattern`, as absolute paths.
QStringList matchingFiles(const QDir& folder, const QRegularExpression& pattern)
{
    QStringList found;
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        if (pattern.match(name).hasMatch())
            found << folder.absoluteFilePath(name);
    }
    return found;
}

QString upperFsName(const QString& fsName)
{
    return fsName.trimmed().toUpper();
}

// The largest file the destination's file system holds, or 0 when unknown;
// kNeverSplit when files are not limited in practice.
uint64_t largestVolume(const QString& destFsName)
{
    const QString name = upperFsName(destFsName);
    if (name == QLatin1String("NTFS"))
        return kNeverSplit;
    // A stick formatted without a partition table reports "vfat".
    if (name == QLatin1String("FAT32") || name == QLatin1String("VFAT") || name == QLatin1String("MSDOS"))
        return kLargestFat32Volume;
    if (name == QLatin1String("FAT16") || name == QLatin1String("FAT12"))
        return k2GiB;
    return 0;
}

}  // namespace

QString imageBaseOfFile(const QString& fileName)
{
    static const QRegularExpression ending(QStringLiteral("_\\d+_\\d+(\\.bkp)$"));
    const QRegularExpressionMatch match = ending.match(fileName);
    if (match.hasMatch())
        return fileName.left(match.capturedStart());
    return fileName.left(qMax(0, fileName.size() - 3));
}

Qt::CaseSensitivity nameCaseOf(const QString& destFsName)
{
    static const char* const kCaseSensitive[] = {"EXT2", "EXT3", "EXT4", "XFS", "BTRFS", "REISERFS", "JFS"};
    const QString name = upperFsName(destFsName);
    for (const char* sensitive : kCaseSensitive) {
        if (name == QLatin1String(sensitive))
            return Qt::CaseSensitive;
    }
    return Qt::CaseInsensitive;
}

QStringList imageSetFiles(const QString& imageBase, Qt::CaseSensitivity nameCase)
{
    const QFileInfo base(imageBase);
    return matchingFiles(base.absoluteDir(), volumeNamePattern(base.fileName(), nameCase));
}

QStringList unfinishedVolumes(const QString& imageBase, Qt::CaseSensitivity nameCase)
{
    const QFileInfo base(imageBase);
    return matchingFiles(
        base.absoluteDir(),
        volumeNamePattern(base.fileName(), nameCase, QLatin1String(ImageFormat::kUnfinishedVolumeSuffix)));
}

quint64 filesBytes(const QStringList& files)
{
    quint64 total = 0;
    for (const QString& file : files)
        total += quint64(qMax<qint64>(0, QFileInfo(file).size()));
    return total;
}

QStringList replacedSetLeftovers(const QStringList& oldSet, const QString& imageBase,
                                 Qt::CaseSensitivity nameCase)
{
    const QFileInfo base(imageBase);
    const QRegularExpression pattern = volumeNamePattern(base.fileName(), nameCase);
    // The new image's volumes 0 .. newVolumes - 1 (generation 0); -1 while
    // its end is not proven.
    int newVolumes = -1;
    for (int index = 0; index < 256; ++index) {
        const QString volume =
            base.absolutePath() + QStringLiteral("/%1_%2_0.bkp").arg(base.fileName()).arg(index);
        const ImageVolumeEnd end = readImageVolumeEnd(volume);
        if (!end.ok || end.volumeIndex != index || end.generation != 0)
            break;
        if (!end.nextFollows) {
            newVolumes = index + 1;
            break;
        }
    }
    // Where the file system keeps names that differ in case apart, an old
    // volume named in other letters is a file of its own beside the new one.
    const QStringList listed = base.absoluteDir().entryList(QDir::Files | QDir::Hidden);
    QStringList leftovers;
    for (const QString& file : oldSet) {
        const QString name = QFileInfo(file).fileName();
        const QRegularExpressionMatch match = pattern.match(name);
        if (!match.hasMatch())
            continue;
        const qulonglong volume = match.captured(1).toULongLong();
        const qulonglong generation = match.captured(2).toULongLong();
        const QString newName = QStringLiteral("%1_%2_0.bkp").arg(base.fileName()).arg(volume);
        const bool besideTheNewVolume = name != newName && listed.contains(name, Qt::CaseSensitive) &&
                                        listed.contains(newName, Qt::CaseSensitive);
        if (generation != 0 || (newVolumes >= 0 && volume >= qulonglong(newVolumes)) || besideTheNewVolume)
            leftovers << file;
    }
    return leftovers;
}

QString newerImageInChain(const QString& chosenImage)
{
    const QFileInfo chosen(chosenImage);
    static const QRegularExpression ending(QStringLiteral("_(\\d+)_(\\d+)\\.bkp$"));
    const QRegularExpressionMatch chosenMatch = ending.match(chosen.fileName());
    if (!chosenMatch.hasMatch())
        return QString();
    const QString baseName = chosen.fileName().left(chosenMatch.capturedStart());
    const qulonglong chosenGeneration = chosenMatch.captured(2).toULongLong();
    const QRegularExpression pattern = volumeNamePattern(baseName);
    QString newest;
    qulonglong newestGeneration = chosenGeneration;
    for (const QString& path : imageSetFiles(chosen.absolutePath() + QLatin1Char('/') + baseName)) {
        const QRegularExpressionMatch match = pattern.match(QFileInfo(path).fileName());
        const qulonglong generation = match.captured(2).toULongLong();
        if (match.captured(1).toULongLong() == 0 && generation > newestGeneration) {
            newestGeneration = generation;
            newest = path;
        }
    }
    return newest;
}

int volumeSizeChoiceCount(const QString& destFsName)
{
    const uint64_t largest = largestVolume(destFsName);
    if (largest == 0 || largest == kNeverSplit)
        return 4;
    return largest >= k4GiB ? 4 : 2;
}

bool splitSize(int choice, const QString& destFsName, uint64_t* size)
{
    const uint64_t largest = largestVolume(destFsName);
    switch (choice) {
    case AutoSize:
        *size = largest;
        return largest != 0;
    case Size2GB:
        *size = k2GiB;
        break;
    case Size4GB:
        *size = k4GiB;
        break;
    case Size8GB:
        *size = k8GiB;
        break;
    default:
        *size = kNeverSplit;
        return true;
    }
    // A fixed size never exceeds what the destination's files hold.
    if (largest != 0 && *size > largest)
        *size = largest;
    return true;
}

QByteArray engineText(const QString& text)
{
    return text.toUtf8();
}

QByteArray passwordDigest(const QString& password)
{
    return QCryptographicHash::hash(engineText(password), QCryptographicHash::Md5);
}

QString limitDescription(const QString& text)
{
    if (static_cast<uint32_t>(engineText(text).size()) <= ImageFormat::kMaxDescriptionBytes)
        return text;
    // UTF-8 bytes character by character; a surrogate pair is one character.
    uint32_t bytes = 0;
    int kept = 0;
    while (kept < text.size()) {
        const ushort unit = text.at(kept).unicode();
        const bool pair =
            QChar::isHighSurrogate(unit) && kept + 1 < text.size() && text.at(kept + 1).isLowSurrogate();
        const uint32_t length = pair ? 4 : unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3;
        if (bytes + length > ImageFormat::kMaxDescriptionBytes)
            break;
        bytes += length;
        kept += pair ? 2 : 1;
    }
    return text.left(kept);
}

}  // namespace BackupRules
