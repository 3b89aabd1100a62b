// Used space of a partition: the used-space library first, the file
// systems' own checking tools when it fails.
#include "platform/linux/external_command.h"
#include "platform/linux/system_probes.h"
#include "usedspace/usedspace.h"

#include <QRegularExpression>

#include <strings.h>

#include <cstring>

namespace {

const int kToolTimeoutMs = 30000;

bool isNamed(const char* fsName, const char* name)
{
    return fsName && strcasecmp(fsName, name) == 0;
}

bool isExactly(const char* fsName, const char* name)
{
    return fsName && strcmp(fsName, name) == 0;
}

// The first capture of the first match, or false.
bool captureNumber(const QString& text, const QString& pattern, uint64_t* value)
{
    QRegularExpressionMatch match = QRegularExpression(pattern).match(text);
    if (!match.hasMatch())
        return false;
    bool ok = false;
    *value = match.captured(1).toULongLong(&ok);
    return ok;
}

bool runTool(const QString& program, const QStringList& arguments, QString* output)
{
    ExternalCommand command(program, arguments);
    if (!command.execute(kToolTimeoutMs))
        return false;
    *output = command.output();
    return true;
}

// The checker runs read-only (-n): measuring must never repair, and so
// never write to, the partition.
uint64_t fatUsedSectorsByChecker(const char* path)
{
    QString output;
    if (!runTool(QStringLiteral("dosfsck"),
                 {QStringLiteral("-n"), QStringLiteral("-v"), QString::fromLocal8Bit(path)}, &output))
        return 0;
    uint64_t clusters = 0, clusterSize = 0;
    if (!captureNumber(output, QStringLiteral("files, (\\d+)/\\d+ "), &clusters) ||
        !captureNumber(output, QStringLiteral("(\\d+) bytes per cluster"), &clusterSize))
        return 0;
    if (clusterSize != 0 && clusters > UINT64_MAX / clusterSize)
        return 0;
    return clusters * clusterSize / USED_SECTOR_SIZE;
}

uint64_t ntfsUsedSectorsByResizer(const char* path)
{
    QString output;
    if (!runTool(QStringLiteral("ntfsresize"),
                 {QStringLiteral("--info"), QStringLiteral("--force"), QStringLiteral("--no-progress-bar"),
                  QString::fromLocal8Bit(path)},
                 &output))
        return 0;
    uint64_t bytes = 0;
    if (!captureNumber(output, QStringLiteral("resize at (\\d+) bytes"), &bytes))
        return 0;
    return bytes / USED_SECTOR_SIZE;
}

}  // namespace

uint64_t usedSectorsByTool(const char* path, const char* fsName)
{
    if (!path)
        return 0;
    if (isExactly(fsName, "fat16") || isNamed(fsName, "fat32"))
        return fatUsedSectorsByChecker(path);
    if (isNamed(fsName, "ntfs"))
        return ntfsUsedSectorsByResizer(path);
    return 0;
}

uint64_t partitionUsedSectors(const char* path, const char* fsName)
{
    if (!path)
        return 0;
    unsigned long long usedBytes = 0;
    int result;
    if (isNamed(fsName, "fat32"))
        result = fat32_used(path, &usedBytes);
    else if (isExactly(fsName, "fat16"))
        return usedSectorsByTool(path, fsName);
    else if (isNamed(fsName, "ntfs"))
        result = ntfs_used(path, &usedBytes);
    else
        return 0;
    if (result == 0)
        return usedBytes / USED_SECTOR_SIZE;
    return usedSectorsByTool(path, fsName);
}
