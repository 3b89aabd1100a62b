#include "jobs/clone_plan.h"

#include <QFile>

namespace ClonePlan {

namespace {

Verdict refuse(Reason reason)
{
    Verdict verdict;
    verdict.reason = reason;
    return verdict;
}

}  // namespace

bool destinationTooSmall(quint64 usedBytes, quint64 destinationBytes)
{
    return usedBytes != 0 && destinationBytes != 0 && usedBytes > destinationBytes;
}

Verdict sourceVerdict(const Partition& source)
{
    if (source.path.isEmpty())
        return refuse(Reason::NoPartition);
    if (source.unfinishedRestore)
        return refuse(Reason::UnfinishedRestore);
    if (source.fsCode != FS_TYPE_NTFS && source.fsCode != FS_TYPE_FAT32)
        return refuse(Reason::NotCloneable);
    return Verdict();
}

Verdict destinationVerdict(const Partition& source, const Partition& destination)
{
    if (destination.path.isEmpty())
        return refuse(Reason::NoPartition);
    if (destination.path == source.path)
        return refuse(Reason::SameAsSource);
    if (destinationTooSmall(source.usedBytes, destination.bytes)) {
        Verdict verdict = refuse(Reason::TooSmall);
        verdict.neededBytes = source.usedBytes;
        verdict.availableBytes = destination.bytes;
        return verdict;
    }
    return Verdict();
}

Result plan(const Partition& source, const Partition& destination, bool filterPageFile,
            bool filterHibernateFile)
{
    Result result;
    result.verdict = sourceVerdict(source);
    if (result.refused()) {
        result.sourceRefused = true;
        return result;
    }
    result.verdict = destinationVerdict(source, destination);
    if (result.refused())
        return result;
    result.request.srcPartition = QFile::encodeName(source.path).toStdString();
    result.request.destPartition = QFile::encodeName(destination.path).toStdString();
    result.request.filterPageFile = filterPageFile;
    result.request.filterHibernateFile = filterHibernateFile;
    result.fsCode = source.fsCode;
    return result;
}

}  // namespace ClonePlan
