// The clone plan: which partitions the clone wizard offers as the source
// and as the destination, each refused one with its reason, and, at Start,
// the problem the wizard shows or the engine's request. What only the
// machine knows (sizes, file systems, a stopped restore) the wizard reads
// from its partition list and passes in.
#ifndef JOBS_CLONE_PLAN_H
#define JOBS_CLONE_PLAN_H

#include "quarn/api/quarn.h"

#include <QString>

namespace ClonePlan {

// One partition as the partition list shows it.
struct Partition {
    QString path;                    // the device the engine opens; empty: none chosen
    int fsCode = 0;                  // FS_TYPE_NTFS, FS_TYPE_FAT32, 0 for any other
    quint64 bytes = 0;               // its size; 0 when not known
    quint64 usedBytes = 0;           // the bytes its file system uses; 0 when not measured
    bool unfinishedRestore = false;  // a stopped restore left it without a file system
};

// Why a partition cannot be chosen (None: it can).
enum class Reason {
    None,
    NoPartition,        // nothing chosen
    NotCloneable,       // source: neither NTFS nor FAT32
    UnfinishedRestore,  // source: a stopped restore left nothing to read
    SameAsSource,       // destination: the source itself
    TooSmall,           // destination: smaller than the source's used data
};

struct Verdict {
    Reason reason = Reason::None;
    // The figures of TooSmall: what the source uses, what the destination has.
    quint64 neededBytes = 0;
    quint64 availableBytes = 0;

    bool selectable() const { return reason == Reason::None; }
};

// Whether step 1 may take `source`.
Verdict sourceVerdict(const Partition& source);

// Whether step 2 may take `destination` for `source` (any partition a
// stopped restore left may be written again).
Verdict destinationVerdict(const Partition& source, const Partition& destination);

// Whether a destination of `destinationBytes` is too small for a source
// whose file system uses `usedBytes` (unknown sizes pass: the engine
// checks again before it writes anything).
bool destinationTooSmall(quint64 usedBytes, quint64 destinationBytes);

struct Result {
    // Which choice is refused, and why.
    bool sourceRefused = false;
    Verdict verdict;
    tagCloneArgument request;
    int fsCode = 0;  // the engine call: clone_ntfs for NTFS, clone_fat32 for FAT32

    bool refused() const { return !verdict.selectable(); }
};

// Applies every rule, the source's first.
Result plan(const Partition& source, const Partition& destination, bool filterPageFile,
            bool filterHibernateFile);

}  // namespace ClonePlan

#endif
