#include "jobs/log_sink.h"

#include "jobs/job_log.h"
#include "quarn/api/quarn.h"
#include "jobs/quarn_thread.h"

#include <QByteArray>
#include <QVector>

#include <cstdio>
#include <mutex>

namespace {

struct SinkState {
    std::mutex lock;
    QVector<JobLog*> open;  // under lock
    bool installed = false;
};

SinkState& sinkState()
{
    static SinkState state;
    return state;
}

const char* messageKind(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "critical";
    case QtFatalMsg:
        return "fatal";
    }
    return "message";
}

void qtMessage(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    LogSink::write(QString::fromLatin1(messageKind(type)) + QStringLiteral(": ") + text + QLatin1Char('\n'));
}

void engineTrace(const char* text, void*)
{
    LogSink::writeUtf8(text);
}

}  // namespace

void LogSink::install()
{
    SinkState& state = sinkState();
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (state.installed)
            return;
        state.installed = true;
    }
    QuarnEngine::library().setTraceSink(engineTrace, nullptr);
    qInstallMessageHandler(qtMessage);
}

void LogSink::write(const QString& text)
{
    SinkState& state = sinkState();
    std::lock_guard<std::mutex> guard(state.lock);
    // A running job's password is kept off standard error too.
    QString shown = text;
    for (const JobLog* log : qAsConst(state.open))
        shown = log->masked(shown);
    std::fputs(shown.toLocal8Bit().constData(), stderr);
    for (JobLog* log : qAsConst(state.open))
        log->append(shown);
}

void LogSink::writeUtf8(const char* text)
{
    write(QString::fromUtf8(text));
}

void LogSink::attach(JobLog* log)
{
    SinkState& state = sinkState();
    std::lock_guard<std::mutex> guard(state.lock);
    state.open.append(log);
}

void LogSink::detach(JobLog* log)
{
    SinkState& state = sinkState();
    std::lock_guard<std::mutex> guard(state.lock);
    state.open.removeAll(log);
}

void LogSink::writeTo(JobLog* log, const QString& text)
{
    SinkState& state = sinkState();
    std::lock_guard<std::mutex> guard(state.lock);
    log->append(text);
}
