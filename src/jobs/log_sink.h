// The one place the programs' lines go: the engine's trace, Qt's messages
// (the programs' and the storage layer's warnings) and the job layer's own
// lines are written to standard error and into the log of every job that
// is running. The desktop is a GUI program whose standard error nobody
// sees: its job logs are what support gets.
#ifndef JOBS_LOG_SINK_H
#define JOBS_LOG_SINK_H

#include <QString>

class JobLog;

class LogSink {
public:
    // Routes the engine's trace and Qt's messages through write(). Call it
    // once at start-up, before the first job; calling it again does nothing.
    static void install();
    // Text (one or more whole lines) to standard error and to the open job
    // logs. Safe from any thread.
    static void write(const QString& text);
    static void writeUtf8(const char* text);

private:
    friend class JobLog;
    // A job's log takes every line written while it is open.
    static void attach(JobLog* log);
    static void detach(JobLog* log);
    // A log's own lines (its head, its result), under the sink's lock so
    // that they never run into lines of another thread.
    static void writeTo(JobLog* log, const QString& text);
};

#endif
