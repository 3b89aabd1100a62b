#include "programs/desktop/desk_worker.h"

#include "wizard/start_bk_widget.h"
#include "wizard/worker_progress.h"

#include <QDebug>

namespace desk {

namespace {
QuarnEngine& installedEngine()
{
    static QuarnEngine engine = windowsEngine();
    return engine;
}
}  // namespace

QuarnEngine windowsEngine()
{
    return QuarnEngine::windowsLibrary();
}

Worker::Worker(const QuarnEngine& engine) : ::QuarnThread(engine)
{}

QuarnEngine Worker::setDefaultEngine(const QuarnEngine& engine)
{
    QuarnEngine previous = installedEngine();
    installedEngine() = engine;
    return previous;
}

QuarnEngine Worker::defaultEngine()
{
    return installedEngine();
}

const char* Worker::debugLine(int operation, int fsType)
{
    if (operation == Backup && fsType == 4)
        return "start backup ntfs thread";
    if (operation == Backup && fsType == 3)
        return "start backup fat32 thread";
    if (operation == RestorePartition && fsType == 4)
        return "start restore ntfs thread";
    if (operation == RestorePartition && fsType == 3)
        return "start restore fat32 thread";
    if (operation == RestoreMbr)
        return "start restore mbr thread";
    return "";
}

void Worker::jobStarting()
{
    // Inside the job's log, where support reads it.
    const char* line = debugLine(operation(), fsType());
    if (*line)
        qDebug() << line;
}

Worker* Worker::reportingTo(StartBkWidget* page)
{
    Worker* worker = new Worker(defaultEngine());
    showProgressOf(worker, page);
    return worker;
}

}  // namespace desk
