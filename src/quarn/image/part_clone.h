// The file-system-independent half of a clone: the refusals that come
// before anything is written (destination = source, a source a restore
// stopped on, a destination in use or too small), the destination device,
// the progress, and the two threads that run at once: the backup's walk of
// the source putting its record stream into a CStreamPipe, and the
// restore's writer taking it out onto the destination. CPartNtfsClone and
// CPartFat32Clone derive from it.
#ifndef QUARN_IMAGE_PART_CLONE_H
#define QUARN_IMAGE_PART_CLONE_H

#include "quarn/image/part_progress.h"
#include "quarn/image/stream_pipe.h"
#include "quarn/io/device_io.h"
#include "quarn/api/quarn.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CPartClone {
public:
    CPartClone(const tagCloneArgument& arg, const tagCallBackFunc& cb);
    virtual ~CPartClone();
    CPartClone(const CPartClone&) = delete;
    CPartClone& operator=(const CPartClone&) = delete;

    // The whole job: its result code.
    int ClonePartition();

protected:
    // What the derived job supplies. PrepareSource: open and read the
    // source far enough to know it can be copied and how many bytes it
    // uses (UsedBytes); nothing is written. PrepareWriter: the writer's
    // state for the destination now open (it may refuse it). Walk: on its
    // own thread, the source's record stream into Pipe(). Write: on the
    // job's thread, the stream from Pipe() onto the destination.
    // Finish: what ends the destination's file system once the stream is
    // written (the real boot sectors last), then its check.
    virtual int PrepareSource() = 0;
    virtual uint64_t UsedBytes() const = 0;
    virtual int PrepareWriter() = 0;
    virtual int Walk() = 0;
    virtual int Write() = 0;
    virtual int Finish() = 0;

    // Reads exactly `length` stream bytes: ERR_READ_FILE when the stream
    // ends before (the walk then explains why).
    int TakeExactly(void* into, uint32_t length);
    // Waits until every byte written to the destination is on its device.
    int SyncDestination();

    CStreamPipe& Pipe() { return m_pipe; }
    CDeviceIo& Destination() { return m_dest; }
    CPartProgress& Progress() { return *m_progress; }
    uint64_t DestinationBytes() const { return m_destBytes; }

    std::string m_srcPartition;
    std::string m_destPartition;
    bool m_filterPageFile;
    bool m_filterHibernateFile;
    tagCallBackFunc m_cb;
    // What the walk's own progress reports: nothing (the writer reports).
    tagCallBackFunc m_silent{};

private:
    int RefuseSamePartition() const;
    int RefuseUnfinishedSource() const;
    int OpenDestination();
    int RefuseTooSmall() const;
    // Runs Walk on a thread of its own while Write runs here; the code of
    // the side that failed first in the sense that explains the other.
    int CopyStream();

    CStreamPipe m_pipe;
    CDeviceIo m_dest;
    int m_destHold = -1;
    uint64_t m_destBytes = 0;
    std::unique_ptr<CPartProgress> m_progress;
};

#endif
