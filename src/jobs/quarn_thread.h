// Runs one engine job (backup, partition restore, MBR-only restore or clone) on a
// thread of its own and turns the engine's callbacks into Qt signals for
// the progress page and the wizards.
#ifndef JOBS_QUARN_THREAD_H
#define JOBS_QUARN_THREAD_H

#include "jobs/job_log.h"
#include "quarn/api/quarn.h"

#include <QHash>
#include <QMutex>
#include <QString>
#include <QThread>

#include <atomic>

// The engine's entry points. The worker calls the engine only through this
// table, so that tests can run it on a scripted engine.
struct QuarnEngine {
    int (*backupNtfs)(tagBackupArgument, tagCallBackFunc, tagBackupImageHeadInfo*, int);
    int (*backupFat32)(tagBackupArgument, tagCallBackFunc, tagBackupImageHeadInfo*, int);
    int (*restoreNtfs)(tagRestoreArgument, tagCallBackFunc);
    int (*restoreFat32)(tagRestoreArgument, tagCallBackFunc);
    int (*restoreMbr)(tagRestoreArgument, tagCallBackFunc);
    // Reads the whole image and its chain and writes nothing. A table
    // without it cannot check an image first: such a restore is refused.
    int (*verifyImage)(tagRestoreArgument, tagCallBackFunc) = nullptr;
    // Where the engine's trace lines go (the job logs' sink).
    void (*setTraceSink)(QuarnTraceSink, void*) = nullptr;
    // A table without them cannot clone: such a clone fails with -1 (the
    // Windows engine library has none).
    int (*cloneNtfs)(tagCloneArgument, tagCallBackFunc) = nullptr;
    int (*cloneFat32)(tagCloneArgument, tagCallBackFunc) = nullptr;

    // The engine this build's programs run: libquarn.so.1 on Linux,
    // quarn.dll on Windows. The build picks the file that defines it
    // (src/jobs/CMakeLists.txt).
    static QuarnEngine library();
    // The entry points of the engine's Windows build (class quarn), in the
    // programs that link it (jobs_windows_engine on Linux).
    static QuarnEngine windowsLibrary();
};

class QuarnThread : public QThread {
    Q_OBJECT

public:
    enum Operation { NoOperation = 0, Backup = 1, RestorePartition = 2, RestoreMbr = 3, Clone = 4 };
    // A restore that checks its image first runs in two phases, each with
    // its own progress from 0.
    enum Phase { NoPhase = 0, CheckImagePhase = 1, JobPhase = 2 };

    explicit QuarnThread(const QuarnEngine& engine = QuarnEngine::library());
    // Asks a running job to stop and waits for it: a thread object must not
    // go away under its own running thread. While the GUI thread answers a
    // next-file request the worker waits for that answer, so an owner that
    // deletes the worker from the GUI thread must not do it from inside the
    // slot that answers it.
    ~QuarnThread() override;

    // Setters: call them on the GUI thread while the thread is not running.
    // The head block is borrowed for the backup, not owned.
    void setBackup(const tagBackupArgument& arg, int fsType, tagBackupImageHeadInfo* headInfo,
                   int headInfoLen);
    void setRestore(const tagRestoreArgument& arg, int fsType);
    void setRestoreMbr(const tagRestoreArgument& arg);
    // A partition copied onto another: clone_ntfs for FS_TYPE_NTFS,
    // clone_fat32 for FS_TYPE_FAT32, no call (-1) for any other code.
    void setClone(const tagCloneArgument& arg, int fsType);
    // A restore set after this reads its whole image first (verify_image)
    // and writes nothing when that finds a fault. Off until set.
    void setCheckImageFirst(bool check) { m_checkImageFirst = check; }
    bool checkImageFirst() const { return m_checkImageFirst; }
    // Clears the result, the cancel flag and the last step, and starts.
    void startJob();

    // Asks the engine to stop at its next progress step (or when a request
    // for the next volume returns). Safe from any thread.
    void cancelJob() { m_cancel.store(true); }
    bool cancelRequested() const { return m_cancel.load(); }

    // The engine's result code (0 success); -1 when the request matched no
    // engine call. Read it after finished() / wait().
    int result() const { return m_result; }
    int operation() const { return m_operation; }
    // The phase the job ended in: CheckImagePhase when the image check
    // refused the image (the target was not touched).
    int endedInPhase() const { return m_phase; }
    // The image carried no data checksums: only its structure was checked.
    bool imageHadNoChecksums() const { return m_imageHadNoChecksums; }
    // The last item the engine named: after a failed image check, the
    // volume at fault.
    QString lastName() const;
    int fsType() const { return m_fsType; }

    // Called on the worker thread by the static callbacks.
    int reportPercent(int step);
    void reportTotalBytes(long long total);
    void reportBytes(long long bytes);
    int requestNextFile(QString& fileName);
    void reportName(const QString& name);
    void reportState(const QString& state);
    void reportMessage(const QString& text);

    // One per slot of the engine's callback record; the context is the
    // QuarnThread (a null context does nothing and answers 0).
    static int progressCallback(int step, void* context);
    static void totalBytesCallback(uint64_t total, void* context);
    static int nextFileCallback(QString& path, void* context);
    static void bytesDoneCallback(uint64_t bytes, void* context);
    static void nameCallback(QString name, void* context);
    static void messageCallback(QString text, void* context);
    static void stateCallback(QString state, void* context);

    // The callback record whose context is this object.
    tagCallBackFunc callbacks();
    // The image check before a restore: 0 when it may go on.
    int checkImage(const tagCallBackFunc& cb);
    // What the job's log says of the job set now: its kind, its image and
    // its arguments, without the password.
    JobLog::Job logRecord() const;
    // The result line's words: what the engine's code means.
    QString resultWords(int result) const;

signals:
    void progressChanged(int percent);
    void processBytesSig(long long bytes);
    void sendTotalUsedBytes(long long total);
    // Connect it with Qt::BlockingQueuedConnection from the GUI thread: the
    // engine waits until the slot returns and then tries the name it left.
    void nextFileNotified(QString& fileName);
    void displayNameSig(QString name);
    void displayStateSig(QString state);
    // A phase of the job begins (Phase).
    void phaseStarted(int phase);

protected:
    void run() override;
    // Called on the worker thread once the job's log is open, before the
    // job's first engine call; a program's worker names the job here.
    virtual void jobStarting() {}

private:
    // The job itself; whatever it throws ends it here with a result code.
    int runGuarded(const tagCallBackFunc& cb);
    int runJob(const tagCallBackFunc& cb);

    QuarnEngine m_engine;
    tagBackupArgument m_backupArg;
    tagRestoreArgument m_restoreArg;
    tagCloneArgument m_cloneArg;
    int m_operation = NoOperation;
    tagBackupImageHeadInfo* m_headInfo = nullptr;
    int m_headInfoLen = 0;
    int m_fsType = 0;
    int m_result = 0;
    // Written by the GUI thread, read by the worker in its callbacks.
    std::atomic<bool> m_cancel{false};
    int m_lastPercent = 0;
    bool m_checkImageFirst = false;
    int m_phase = NoPhase;
    bool m_imageHadNoChecksums = false;
    // Where the user found the volumes the image check asked for, by the
    // name asked (used on the worker thread only).
    QHash<QString, QString> m_foundVolumes;
    mutable QMutex m_nameLock;  // the worker writes the name, the GUI reads it
    QString m_lastName;
};

#endif
