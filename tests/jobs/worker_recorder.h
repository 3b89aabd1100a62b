// Records, on the GUI thread, every signal a QuarnThread sends while a job
// runs, with the thread each one arrived on.
#ifndef TESTS_JOBS_WORKER_RECORDER_H
#define TESTS_JOBS_WORKER_RECORDER_H

#include "jobs/quarn_thread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QThread>

#include <ostream>

#include <vector>

namespace jobstest {

struct WorkerEvent {
    enum Kind { Progress, Bytes, Total, Name, State, Finished } kind;
    qint64 value = 0;
    QString text;
    bool onGuiThread = false;

    bool operator==(const WorkerEvent& other) const
    {
        return kind == other.kind && value == other.value && text == other.text;
    }
};

inline const char* kindName(WorkerEvent::Kind kind)
{
    static const char* names[] = {"progress", "bytes", "total", "name", "state", "finished"};
    return names[kind];
}

inline std::ostream& operator<<(std::ostream& out, const WorkerEvent& event)
{
    return out << kindName(event.kind) << "(" << event.value << ",\"" << event.text.toStdString() << "\")";
}

class WorkerRecorder : public QObject {
public:
    explicit WorkerRecorder(QuarnThread* worker)
    {
        connect(worker, &QuarnThread::progressChanged, this,
                [this](int step) { add(WorkerEvent::Progress, step); });
        connect(worker, &QuarnThread::processBytesSig, this,
                [this](long long bytes) { add(WorkerEvent::Bytes, bytes); });
        connect(worker, &QuarnThread::sendTotalUsedBytes, this,
                [this](long long total) { add(WorkerEvent::Total, total); });
        connect(worker, &QuarnThread::displayNameSig, this,
                [this](QString name) { add(WorkerEvent::Name, 0, name); });
        connect(worker, &QuarnThread::displayStateSig, this,
                [this](QString state) { add(WorkerEvent::State, 0, state); });
        connect(worker, &QThread::finished, this, [this] {
            add(WorkerEvent::Finished, 0);
            finished = true;
        });
    }

    // Runs the GUI event loop until the job's finished() arrived; false on
    // timeout.
    bool waitFinished(int milliseconds = 60000)
    {
        QElapsedTimer clock;
        clock.start();
        while (!finished && clock.elapsed() < milliseconds)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return finished;
    }

    std::vector<WorkerEvent> of(WorkerEvent::Kind kind) const
    {
        std::vector<WorkerEvent> picked;
        for (const WorkerEvent& event : events) {
            if (event.kind == kind)
                picked.push_back(event);
        }
        return picked;
    }

    bool allOnGuiThread() const
    {
        for (const WorkerEvent& event : events) {
            if (!event.onGuiThread)
                return false;
        }
        return true;
    }

    std::vector<WorkerEvent> events;
    bool finished = false;

private:
    void add(WorkerEvent::Kind kind, qint64 value, const QString& text = QString())
    {
        events.push_back({kind, value, text, QThread::currentThread() == qApp->thread()});
    }
};

}  // namespace jobstest

#endif
