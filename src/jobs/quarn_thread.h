// Runs one engine job (backup, partition restore or MBR-only restore) on a
// thread of its own and turns the engine's callbacks into Qt signals for
// the progress page and the wizards.
#ifndef RESCUE_CONSOLE_QUARN_THREAD_H
#define RESCUE_CONSOLE_QUARN_THREAD_H

#include "quarn.h"

#include <QString>
#include <QThread>

#include <atomic>

// The engine's five entry points. The worker calls the engine only
// through this table, so that tests can run it on a scripted engine.
struct QuarnEngine {
    int (*backupNtfs)(tagBackupArgument, tagCallBackFunc, tagBackupImageHeadInfo*, int);
    int (*backupFat32)(tagBackupArgument, tagCallBackFunc, tagBackupImageHeadInfo*, int);
    int (*restoreNtfs)(tagRestoreArgument, tagCallBackFunc);
    int (*restoreFat32)(tagRestoreArgument, tagCallBackFunc);
    int (*restoreMbr)(tagRestoreArgument, tagCallBackFunc);

    // libquarn's entry points.
    static QuarnEngine library();
};

class QuarnThread : public QThread {
    Q_OBJECT

public:
    enum Operation { NoOperation = 0, Backup = 1, RestorePartition = 2, RestoreMbr = 3 };

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

signals:
    void progressChanged(int percent);
    void processBytesSig(long long bytes);
    void sendTotalUsedBytes(long long total);
    // Connect it with Qt::BlockingQueuedConnection from the GUI thread: the
    // engine waits until the slot returns and then tries the name it left.
    void nextFileNotified(QString& fileName);
    void displayNameSig(QString name);
    void displayStateSig(QString state);

protected:
    void run() override;

private:
    QuarnEngine m_engine;
    tagBackupArgument m_backupArg;
    tagRestoreArgument m_restoreArg;
    int m_operation = NoOperation;
    tagBackupImageHeadInfo* m_headInfo = nullptr;
    int m_headInfoLen = 0;
    int m_fsType = 0;
    int m_result = 0;
    // Written by the GUI thread, read by the worker in its callbacks.
    std::atomic<bool> m_cancel{false};
    int m_lastPercent = 0;
};

#endif
