// How long the console's GUI thread goes without running its event loop
// while the worker backs up an NTFS partition with the real engine and the
// progress page shows it. Prints the gaps between two runs of the loop:
// count, median, 99th percentile and maximum, in milliseconds.
//
// usage: console_gui_gap_bench <partition file> <image base> [compress type]
#include "jobs/quarn_thread.h"
#include "wizard/start_bk_widget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double percentile(const std::vector<double>& sorted, double fraction)
{
    if (sorted.empty())
        return 0;
    const size_t index =
        std::min(sorted.size() - 1, static_cast<size_t>(fraction * (sorted.size() - 1) + 0.5));
    return sorted[index];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: %s <partition file> <image base> [compress type]\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    StartBkWidget page;
    page.show();
    QuarnThread worker;
    QObject::connect(&worker, &QuarnThread::progressChanged, &page, &StartBkWidget::setValue);
    QObject::connect(&worker, &QuarnThread::sendTotalUsedBytes, &page, &StartBkWidget::recvTotalUsedBytes);
    QObject::connect(&worker, &QuarnThread::processBytesSig, &page, &StartBkWidget::processBytes);
    QObject::connect(&worker, &QuarnThread::displayNameSig, &page, &StartBkWidget::displayName);
    QObject::connect(&worker, &QuarnThread::displayStateSig, &page, &StartBkWidget::displayState);

    tagBackupArgument arg;
    arg.srcPartition = argv[1];
    arg.imagePath = argv[2];
    arg.fsType = FS_TYPE_NTFS;
    arg.compressType = argc > 3 ? atoi(argv[3]) : 1;
    worker.setBackup(arg, FS_TYPE_NTFS, nullptr, 0);

    // A zero-interval timer runs once per turn of the event loop; the time
    // between two runs is what the user waits for the GUI at that moment.
    std::vector<double> gaps;
    QElapsedTimer sinceLastTurn;
    QTimer turn;
    turn.setInterval(0);
    QObject::connect(&turn, &QTimer::timeout, [&] {
        gaps.push_back(sinceLastTurn.nsecsElapsed() / 1e6);
        sinceLastTurn.restart();
    });
    QObject::connect(&worker, &QThread::finished, &app, &QCoreApplication::quit);

    QElapsedTimer job;
    job.start();
    sinceLastTurn.start();
    turn.start();
    worker.startJob();
    app.exec();
    turn.stop();
    worker.wait();
    const double seconds = job.nsecsElapsed() / 1e9;

    std::sort(gaps.begin(), gaps.end());
    printf("backup result %d in %.2f s, %lld bytes of %lld\n", worker.result(), seconds,
           static_cast<long long>(page.doneBytes()), static_cast<long long>(page.totalBytes()));
    printf("event loop turns %zu, gap ms: median %.3f  p99 %.3f  max %.3f  (aim: max below 50)\n",
           gaps.size(), percentile(gaps, 0.5), percentile(gaps, 0.99), gaps.empty() ? 0.0 : gaps.back());
    return worker.result() == 0 ? 0 : 1;
}
