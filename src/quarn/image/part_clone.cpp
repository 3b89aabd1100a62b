#include "quarn/image/part_clone.h"

#include "quarn/api/entry_guard.h"
#include "quarn/image/callbacks.h"
#include "quarn/io/device_system.h"
#include "fslayout/unfinished_restore.h"

#include <QString>

#include <new>
#include <system_error>
#include <thread>
#include <vector>

CPartClone::CPartClone(const tagCloneArgument& arg, const tagCallBackFunc& cb)
    : m_srcPartition(arg.srcPartition), m_destPartition(arg.destPartition),
      m_filterPageFile(arg.filterPageFile), m_filterHibernateFile(arg.filterHibernateFile), m_cb(cb)
{}

CPartClone::~CPartClone()
{
    m_dest.Close();
    DeviceSystem::ReleasePartition(m_destHold);
}

int CPartClone::ClonePartition()
{
    int result = RefuseSamePartition();
    if (result == 0)
        result = RefuseUnfinishedSource();
    if (result == 0)
        result = OpenDestination();
    if (result == 0)
        result = PrepareSource();
    if (result == 0)
        result = RefuseTooSmall();
    if (result != 0)
        return result;

    Callbacks::TotalBytes(m_cb, UsedBytes());
    m_progress = std::make_unique<CPartProgress>(UsedBytes(), m_cb.onProgress, m_cb.context);
    m_progress->SetCallbacks(m_cb);
    m_progress->ProcessState(QStringLiteral("Initializing ..."));
    result = PrepareWriter();
    if (result == 0)
        result = CopyStream();
    if (result == 0)
        result = Finish();
    if (result == 0) {
        m_progress->Complete();
        m_progress->ProcessState(QStringLiteral("Finish"));
    }
    return result;
}

int CPartClone::RefuseSamePartition() const
{
    if (!DeviceSystem::SameDevice(m_srcPartition, m_destPartition))
        return 0;
    DEBUG_TRACE("The destination %s is the source %s!\n", m_destPartition.c_str(), m_srcPartition.c_str());
    return ERR_SAME_PARTITION;
}

int CPartClone::RefuseUnfinishedSource() const
{
    CDeviceIo source;
    if (source.Open(m_srcPartition, CDeviceIo::ModeRead) != 0)
        return ERR_OPEN_PART;
    std::vector<uint8_t> sector(UnfinishedRestore::kSectorBytes);
    if (source.Read(sector.data(), int64_t(sector.size())) != int64_t(sector.size()))
        return ERR_READ_PART;
    if (!UnfinishedRestore::IsMarked(sector.data(), sector.size()))
        return 0;
    DEBUG_TRACE("The source %s holds a restore that did not finish: no file system to copy\n",
                m_srcPartition.c_str());
    return ERR_UNFINISHED_RESTORE;
}

int CPartClone::OpenDestination()
{
    int result = DeviceSystem::HoldPartition(m_destPartition, &m_destHold);
    if (result != 0)
        return result;
    if (m_dest.Open(m_destPartition, CDeviceIo::ModeUpdate) != 0)
        return ERR_OPEN_PART;
    if (!DeviceSystem::TargetBytes(m_dest, &m_destBytes))
        m_destBytes = 0;
    return DeviceSystem::ClaimTarget(m_dest, m_destPartition);
}

int CPartClone::RefuseTooSmall() const
{
    // The destination must hold every used byte of the source: a layout
    // that ran out of room half way would leave neither file system.
    if (UsedBytes() <= m_destBytes)
        return 0;
    DEBUG_TRACE("The source uses %llu bytes; the destination has %llu!\n",
                static_cast<unsigned long long>(UsedBytes()), static_cast<unsigned long long>(m_destBytes));
    return ERR_PART_TOO_SMALL;
}

int CPartClone::CopyStream()
{
    int walked = 0;
    std::thread walker;
    try {
        // Nothing may leave the thread: an exception there would end the
        // whole program.
        walker = std::thread([this, &walked] {
            walked = GuardedEntry("the walk of the clone's source", [this] { return Walk(); });
            m_pipe.CloseWriting();
        });
    } catch (const std::system_error&) {
        DEBUG_TRACE("No thread for the walk of the source!\n");
        return ERR_NO_MEMORY;
    }
    // The walk must be joined before anything leaves this function.
    const int written = GuardedEntry("the clone's writer", [this] { return Write(); });
    // The walk waiting for room wakes up and ends.
    m_pipe.StopReading();
    walker.join();
    // A walk that failed explains the stream the writer found short; a
    // walk stopped by the writer (ERR_CANCELLED from the pipe) explains
    // nothing.
    if (walked != 0 && walked != ERR_CANCELLED)
        return walked;
    return written;
}

int CPartClone::TakeExactly(void* into, uint32_t length)
{
    return m_pipe.Take(into, length) == int64_t(length) ? 0 : ERR_READ_FILE;
}

int CPartClone::SyncDestination()
{
    return m_dest.Sync() == 0 ? 0 : ERR_WRITE_PART;
}
