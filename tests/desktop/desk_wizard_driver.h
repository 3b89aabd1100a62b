// Driving the desktop wizards in tests: pressing a partition row of a disk
// tree, and a scripted engine that records what the wizards ask of it.
#ifndef DESK_WIZARD_DRIVER_H
#define DESK_WIZARD_DRIVER_H

#include "programs/desktop/desk_tree_model.h"
#include "programs/desktop/desk_worker.h"
#include "quarn/api/quarn.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <atomic>
#include <functional>
#include <vector>

namespace desktest {

// The partition row of drive `letter` (lower case) in a disk tree.
inline QModelIndex rowOfLetter(desk::TreeModel& model, char letter)
{
    for (int d = 0; d < model.rowCount(); ++d) {
        const QModelIndex disk = model.index(d, 0);
        for (int p = 0; p < model.rowCount(disk); ++p) {
            const QModelIndex part = model.index(p, 0, disk);
            if (model.itemFor(part)->letter == letter)
                return part;
        }
    }
    return QModelIndex();
}

inline bool pressLetter(QTreeView* view, desk::TreeModel& model, char letter)
{
    const QModelIndex index = rowOfLetter(model, letter);
    if (!index.isValid())
        return false;
    view->scrollTo(index);
    const QRect place = view->visualRect(index);
    if (!place.isValid())
        return false;
    QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier, place.center());
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier, place.center());
    return true;
}

inline void click(QPushButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

// Processes events until `done` holds or `ms` pass.
inline bool waitUntil(const std::function<bool()>& done, int ms = 60000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// The scripted engine: records each call; restores ask for next volumes
// as `nextFileRequests` says, and a job runs until released when `hold`.
struct ScriptedEngine {
    static ScriptedEngine& state()
    {
        static ScriptedEngine engine;
        return engine;
    }

    int result = 0;
    std::vector<tagBackupArgument> backups;
    std::vector<int> backupFs;
    std::vector<QByteArray> heads;
    std::vector<tagRestoreArgument> restores;
    std::vector<int> restoreKinds;  // 4 NTFS, 3 FAT32, 0 MBR
    // The image checks before restores, and what they answer.
    std::vector<tagRestoreArgument> verified;
    int verifyResult = 0;
    // Restores first ask for this volume name, up to `nextFileRequests`
    // times, as long as the answer leaves the name unchanged.
    QString missingVolume;
    int nextFileRequests = 0;
    std::vector<QString> nextFileAnswers;
    std::vector<int> nextFileResults;
    // While set, a job waits for its progress callback to cancel it.
    std::atomic<bool> hold{false};
    std::atomic<bool> running{false};

    void reset()
    {
        result = 0;
        backups.clear();
        backupFs.clear();
        heads.clear();
        restores.clear();
        restoreKinds.clear();
        verified.clear();
        verifyResult = 0;
        missingVolume.clear();
        nextFileRequests = 0;
        nextFileAnswers.clear();
        nextFileResults.clear();
        hold = false;
        running = false;
    }

    static int step(tagCallBackFunc cb)
    {
        ScriptedEngine& s = state();
        s.running = true;
        cb.onTotalBytes(1000, cb.context);
        int steps = 0;
        while (s.hold) {
            if (cb.onProgress(++steps % 95, cb.context) != 0) {
                s.running = false;
                return ERR_CANCELLED;
            }
            QThread::msleep(5);
        }
        cb.onProgress(95, cb.context);
        cb.onBytesDone(1000, cb.context);
        s.running = false;
        return s.result;
    }
    static int backup(tagBackupArgument arg, tagCallBackFunc cb, tagBackupImageHeadInfo* head, int length)
    {
        state().backups.push_back(arg);
        state().backupFs.push_back(arg.fsType);
        state().heads.push_back(QByteArray(reinterpret_cast<const char*>(head), length));
        return step(cb);
    }
    static int restoreWith(int kind, tagRestoreArgument arg, tagCallBackFunc cb)
    {
        ScriptedEngine& s = state();
        s.restores.push_back(arg);
        s.restoreKinds.push_back(kind);
        for (int i = 0; i < s.nextFileRequests; ++i) {
            QString name = s.missingVolume;
            const int answer = cb.onNextFile(name, cb.context);
            s.nextFileAnswers.push_back(name);
            s.nextFileResults.push_back(answer);
            if (answer != 0)
                return ERR_CANCELLED;
            if (name != s.missingVolume)
                break;
        }
        return step(cb);
    }
    static int restoreNtfs(tagRestoreArgument arg, tagCallBackFunc cb) { return restoreWith(4, arg, cb); }
    static int restoreFat32(tagRestoreArgument arg, tagCallBackFunc cb) { return restoreWith(3, arg, cb); }
    static int restoreMbr(tagRestoreArgument arg, tagCallBackFunc cb) { return restoreWith(0, arg, cb); }

    // The image check before a restore: the result the script gives it.
    static int verify(tagRestoreArgument arg, tagCallBackFunc)
    {
        state().verified.push_back(arg);
        return state().verifyResult;
    }

    static QuarnEngine table()
    {
        return {&backup, &backup, &restoreNtfs, &restoreFat32, &restoreMbr, &verify};
    }
};

// Installs the scripted engine (fresh) for the wizards made while it lives.
class ScriptedEngineScope {
public:
    ScriptedEngineScope()
    {
        ScriptedEngine::state().reset();
        m_previous = desk::Worker::setDefaultEngine(ScriptedEngine::table());
    }
    ~ScriptedEngineScope() { desk::Worker::setDefaultEngine(m_previous); }

private:
    QuarnEngine m_previous;
};

}  // namespace desktest

#endif
