#include "jobs/quarn_thread.h"

#include "jobs/job_messages.h"
#include "jobs/log_sink.h"

#include <QFileInfo>
#include <QMetaMethod>

#include <exception>
#include <new>

QuarnThread::QuarnThread(const QuarnEngine& engine) : QThread(nullptr), m_engine(engine)
{}

QuarnThread::~QuarnThread()
{
    cancelJob();
    wait();
}

void QuarnThread::setBackup(const tagBackupArgument& arg, int fsType, tagBackupImageHeadInfo* headInfo,
                            int headInfoLen)
{
    m_backupArg = arg;
    m_operation = Backup;
    m_fsType = fsType;
    m_headInfo = headInfo;
    m_headInfoLen = headInfo ? headInfoLen : 0;
}

void QuarnThread::setRestore(const tagRestoreArgument& arg, int fsType)
{
    m_restoreArg = arg;
    m_operation = RestorePartition;
    m_fsType = fsType;
    m_headInfo = nullptr;
    m_headInfoLen = 0;
}

void QuarnThread::setRestoreMbr(const tagRestoreArgument& arg)
{
    m_restoreArg = arg;
    m_operation = RestoreMbr;
    m_fsType = 0;
    m_headInfo = nullptr;
    m_headInfoLen = 0;
}

void QuarnThread::setClone(const tagCloneArgument& arg, int fsType)
{
    m_cloneArg = arg;
    m_operation = Clone;
    m_fsType = fsType;
    m_headInfo = nullptr;
    m_headInfoLen = 0;
}

void QuarnThread::startJob()
{
    m_result = 0;
    m_cancel.store(false);
    m_lastPercent = 0;
    m_phase = NoPhase;
    m_imageHadNoChecksums = false;
    m_foundVolumes.clear();
    {
        QMutexLocker lock(&m_nameLock);
        m_lastName.clear();
    }
    start();
}

QString QuarnThread::lastName() const
{
    QMutexLocker lock(&m_nameLock);
    return m_lastName;
}

int QuarnThread::checkImage(const tagCallBackFunc& cb)
{
    m_phase = CheckImagePhase;
    emit phaseStarted(CheckImagePhase);
    if (m_engine.verifyImage == nullptr)
        return ERR_OPEN_FILE;
    int result = m_engine.verifyImage(m_restoreArg, cb);
    if (result == VERIFY_NO_DATA_CHECKSUMS) {
        // Whole as far as an image without checksums can tell.
        m_imageHadNoChecksums = true;
        result = 0;
    }
    return result;
}

tagCallBackFunc QuarnThread::callbacks()
{
    tagCallBackFunc cb;
    cb.onProgress = progressCallback;
    cb.onTotalBytes = totalBytesCallback;
    cb.onNextFile = nextFileCallback;
    cb.onBytesDone = bytesDoneCallback;
    cb.onName = nameCallback;
    cb.onMessage = messageCallback;
    cb.onState = stateCallback;
    cb.context = this;
    return cb;
}

void QuarnThread::run()
{
    // Every job, whatever its kind, leaves a log from its start to its end.
    JobLog log(logRecord());
    m_result = runGuarded(callbacks());
    log.finish(m_result, resultWords(m_result));
}

int QuarnThread::runGuarded(const tagCallBackFunc& cb)
{
    // Nothing may leave a thread's run(): it would end the program.
    try {
        jobStarting();
        return runJob(cb);
    } catch (const std::bad_alloc&) {
        LogSink::write(QStringLiteral("The job ran out of memory.\n"));
        return ERR_NO_MEMORY;
    } catch (const std::exception& error) {
        LogSink::write(QStringLiteral("The job stopped on an unexpected error: %1\n")
                           .arg(QString::fromLocal8Bit(error.what())));
        return ERR_INTERNAL;
    } catch (...) {
        LogSink::write(QStringLiteral("The job stopped on an unexpected error.\n"));
        return ERR_INTERNAL;
    }
}

int QuarnThread::runJob(const tagCallBackFunc& cb)
{
    const bool restores = m_operation == RestorePartition || m_operation == RestoreMbr;
    if (restores && m_checkImageFirst) {
        const int checked = checkImage(cb);
        if (checked != 0)
            return checked;
        m_lastPercent = 0;
    }
    m_phase = JobPhase;
    emit phaseStarted(JobPhase);
    int result = -1;
    if (m_operation == RestoreMbr) {
        result = m_engine.restoreMbr(m_restoreArg, cb);
    } else if (m_fsType == FS_TYPE_NTFS && m_operation == Backup) {
        result = m_engine.backupNtfs(m_backupArg, cb, m_headInfo, m_headInfoLen);
    } else if (m_fsType == FS_TYPE_NTFS && m_operation == RestorePartition) {
        result = m_engine.restoreNtfs(m_restoreArg, cb);
    } else if (m_fsType == FS_TYPE_FAT32 && m_operation == Backup) {
        result = m_engine.backupFat32(m_backupArg, cb, m_headInfo, m_headInfoLen);
    } else if (m_fsType == FS_TYPE_FAT32 && m_operation == RestorePartition) {
        result = m_engine.restoreFat32(m_restoreArg, cb);
    } else if (m_fsType == FS_TYPE_NTFS && m_operation == Clone && m_engine.cloneNtfs) {
        result = m_engine.cloneNtfs(m_cloneArg, cb);
    } else if (m_fsType == FS_TYPE_FAT32 && m_operation == Clone && m_engine.cloneFat32) {
        result = m_engine.cloneFat32(m_cloneArg, cb);
    }
    return result;
}

namespace {

QString fsText(int fsType)
{
    switch (fsType) {
    case FS_TYPE_NTFS:
        return QStringLiteral("NTFS");
    case FS_TYPE_FAT32:
        return QStringLiteral("FAT32");
    default:
        return QString::number(fsType);
    }
}

QString yesNo(bool yes)
{
    return yes ? QStringLiteral("yes") : QStringLiteral("no");
}

QString local(const std::string& text)
{
    return QString::fromLocal8Bit(text.c_str());
}

}  // namespace

JobLog::Job QuarnThread::logRecord() const
{
    JobLog::Job job;
    switch (m_operation) {
    case Backup: {
        const tagBackupArgument& a = m_backupArg;
        job.kind = QStringLiteral("backup");
        job.imagePath = local(a.imagePath);
        job.arguments << QStringLiteral("source partition: ") + local(a.srcPartition)
                      << QStringLiteral("image: ") + local(a.imagePath)
                      << QStringLiteral("file system: ") + fsText(m_fsType)
                      << QStringLiteral("incremental: ") +
                             (a.incremental ? QStringLiteral("on ") + local(a.prevImage) : yesNo(false))
                      << QStringLiteral("compression: %1").arg(a.compressType)
                      << QStringLiteral("disk start: %1 bytes of %2").arg(a.mbrSize).arg(local(a.mbrSource))
                      << QStringLiteral("volume size: ") + (a.volumeSize == ~0ULL
                                                                ? QStringLiteral("never split")
                                                                : QString::number(a.volumeSize))
                      << QStringLiteral("password: ") + yesNo(!a.password.empty())
                      << QStringLiteral("description: ") + local(a.description);
        job.secrets << local(a.password);
        break;
    }
    case RestorePartition:
    case RestoreMbr: {
        const tagRestoreArgument& a = m_restoreArg;
        job.kind = m_operation == RestoreMbr ? QStringLiteral("restore-mbr") : QStringLiteral("restore");
        job.imagePath = local(a.imagePath);
        job.arguments << QStringLiteral("image: ") + local(a.imagePath)
                      << QStringLiteral("target partition: ") + local(a.targetPartition);
        if (m_operation == RestorePartition)
            job.arguments << QStringLiteral("file system: ") + fsText(m_fsType)
                          << QStringLiteral("disk start too: ") + yesNo(a.hasMbr != 0);
        job.arguments << QStringLiteral("image checked first: ") + yesNo(m_checkImageFirst);
        break;
    }
    case Clone: {
        const tagCloneArgument& a = m_cloneArg;
        job.kind = QStringLiteral("clone");
        job.arguments << QStringLiteral("source partition: ") + local(a.srcPartition)
                      << QStringLiteral("destination partition: ") + local(a.destPartition)
                      << QStringLiteral("file system: ") + fsText(m_fsType)
                      << QStringLiteral("filter page file: ") + yesNo(a.filterPageFile)
                      << QStringLiteral("filter hibernate file: ") + yesNo(a.filterHibernateFile);
        break;
    }
    default:
        job.kind = QStringLiteral("job");
        job.arguments << QStringLiteral("operation: %1").arg(m_operation);
        break;
    }
    return job;
}

QString QuarnThread::resultWords(int result) const
{
    if (result == 0)
        return QStringLiteral("success");
    if (result == -1)
        return QStringLiteral("no job of this kind");
    const JobMessages::Job job = m_operation == Backup       ? JobMessages::Job::Backup
                                 : m_operation == RestoreMbr ? JobMessages::Job::RestoreMbr
                                 : m_operation == Clone      ? JobMessages::Job::Clone
                                                             : JobMessages::Job::Restore;
    QString words = JobMessages::engineFailure(result, job).what;
    if (m_phase == CheckImagePhase)
        words = QStringLiteral("the image check refused the image: ") + words;
    return words;
}

int QuarnThread::reportPercent(int step)
{
    // The answer is the cancel state from before this step's report: a
    // cancel the GUI makes on seeing the report stops the next step, however
    // soon the GUI thread gets to it.
    const bool cancelled = m_cancel.load();
    if (step != m_lastPercent) {
        m_lastPercent = step;
        emit progressChanged(step);
    }
    return cancelled ? -1 : 0;
}

void QuarnThread::reportTotalBytes(long long total)
{
    emit sendTotalUsedBytes(total);
}

void QuarnThread::reportBytes(long long bytes)
{
    emit processBytesSig(bytes);
}

int QuarnThread::requestNextFile(QString& fileName)
{
    // With nobody to ask, answering "try again" would make the engine ask
    // for the same missing file for ever: give up instead.
    static const QMetaMethod signal = QMetaMethod::fromSignal(&QuarnThread::nextFileNotified);
    if (!isSignalConnected(signal))
        return -1;
    // A volume the user found for the image check is where the restore
    // looks for it too: nobody is asked twice.
    const QString asked = fileName;
    const auto found = m_foundVolumes.constFind(asked);
    if (m_phase == JobPhase && found != m_foundVolumes.constEnd() && QFileInfo::exists(found.value())) {
        fileName = found.value();
        return m_cancel.load() ? -1 : 0;
    }
    emit nextFileNotified(fileName);
    if (m_phase == CheckImagePhase && fileName != asked)
        m_foundVolumes.insert(asked, fileName);
    return m_cancel.load() ? -1 : 0;
}

void QuarnThread::reportName(const QString& name)
{
    {
        QMutexLocker lock(&m_nameLock);
        m_lastName = name;
    }
    emit displayNameSig(name);
}

void QuarnThread::reportState(const QString& state)
{
    emit displayStateSig(state);
}

void QuarnThread::reportMessage(const QString&)
{
    // Engine messages are not shown.
}

namespace {
QuarnThread* workerOf(void* context)
{
    return static_cast<QuarnThread*>(context);
}
}  // namespace

int QuarnThread::progressCallback(int step, void* context)
{
    return context ? workerOf(context)->reportPercent(step) : 0;
}

void QuarnThread::totalBytesCallback(uint64_t total, void* context)
{
    if (context)
        workerOf(context)->reportTotalBytes(static_cast<long long>(total));
}

int QuarnThread::nextFileCallback(QString& path, void* context)
{
    // Without a worker nobody can answer: give up rather than be asked again.
    return context ? workerOf(context)->requestNextFile(path) : -1;
}

void QuarnThread::bytesDoneCallback(uint64_t bytes, void* context)
{
    if (context)
        workerOf(context)->reportBytes(static_cast<long long>(bytes));
}

void QuarnThread::nameCallback(QString name, void* context)
{
    if (context)
        workerOf(context)->reportName(name);
}

void QuarnThread::messageCallback(QString text, void* context)
{
    if (context)
        workerOf(context)->reportMessage(text);
}

void QuarnThread::stateCallback(QString state, void* context)
{
    if (context)
        workerOf(context)->reportState(state);
}
