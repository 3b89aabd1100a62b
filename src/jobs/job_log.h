// The log of one job (backup, restore, image check, clone...): a file named
// by the job's start and its kind, holding the job's arguments (never a
// password, digest or credential), every line the log sink takes while
// the job runs (the engine's trace, the programs' warnings) and the job's
// result code with its words.
#ifndef JOBS_JOB_LOG_H
#define JOBS_JOB_LOG_H

#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>

// Where the programs keep their job logs.
struct JobLogPlaces {
    QString programName;       // first word of a log's file name
    bool besideImage = false;  // first try the folder of the job's image
    QString folder;            // the program's own log folder (the fallback)
};

class JobLog {
public:
    // Set once at start-up. With no place set (the default) jobs keep no log.
    static void setPlaces(const JobLogPlaces& places);
    static JobLogPlaces places();

    // What a job's log says of it. `secrets` are texts of the job that must
    // never appear in its log (a password): a line holding one has it
    // masked, and neither they nor their MD5 digests are written.
    struct Job {
        QString kind;  // "backup", "restore", "restore-mbr", "verify", "clone"...
        QString imagePath;
        QStringList arguments;  // "name: value" lines
        QStringList secrets;
    };

    // Opens the job's log (the folders of places() in order: the first one
    // that takes a new file) and writes its head. No place, no log.
    explicit JobLog(const Job& job, const QDateTime& start = QDateTime::currentDateTime());
    ~JobLog();
    JobLog(const JobLog&) = delete;
    JobLog& operator=(const JobLog&) = delete;

    bool isOpen() const { return m_file.isOpen(); }
    QString filePath() const { return m_file.fileName(); }
    // The log's last lines: the result code (decimal and hex) and its words.
    void finish(int resultCode, const QString& words);

    // "<program>_<yyyyMMdd-HHmmss>_<kind>.log"
    static QString fileName(const QString& programName, const QDateTime& start, const QString& kind);

private:
    friend class LogSink;
    // Called by the sink under its lock.
    void append(const QString& text);
    bool openIn(const QString& folder, const QString& name);
    QString masked(QString text) const;

    QFile m_file;
    QStringList m_secrets;
};

#endif
