#include "jobs/job_log.h"

#include "jobs/log_sink.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QMutex>

namespace {

QMutex& placesLock()
{
    static QMutex lock;
    return lock;
}

JobLogPlaces& storedPlaces()
{
    static JobLogPlaces places;
    return places;
}

const QString kMask = QStringLiteral("********");

}  // namespace

void JobLog::setPlaces(const JobLogPlaces& places)
{
    QMutexLocker lock(&placesLock());
    storedPlaces() = places;
}

JobLogPlaces JobLog::places()
{
    QMutexLocker lock(&placesLock());
    return storedPlaces();
}

QString JobLog::fileName(const QString& programName, const QDateTime& start, const QString& kind)
{
    return programName + QLatin1Char('_') + start.toString(QStringLiteral("yyyyMMdd-HHmmss")) +
           QLatin1Char('_') + kind + QStringLiteral(".log");
}

JobLog::JobLog(const Job& job, const QDateTime& start)
{
    // Every form of a secret a line could carry: the text and its digest.
    for (const QString& secret : job.secrets) {
        if (secret.isEmpty())
            continue;
        m_secrets << secret;
        // The engine hashes the text as the program hands it over (the
        // locale's 8-bit form); UTF-8 for a program whose locale differs.
        for (const QByteArray& bytes : {secret.toLocal8Bit(), secret.toUtf8()}) {
            const QByteArray digest = QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
            m_secrets << QString::fromLatin1(digest) << QString::fromLatin1(digest.toUpper());
        }
    }
    const JobLogPlaces places = JobLog::places();
    if (places.programName.isEmpty())
        return;
    QStringList folders;
    if (places.besideImage && !job.imagePath.isEmpty())
        folders << QFileInfo(job.imagePath).absolutePath();
    if (!places.folder.isEmpty())
        folders << places.folder;
    const QString name = fileName(places.programName, start, job.kind);
    bool opened = false;
    for (const QString& folder : folders) {
        if (openIn(folder, name)) {
            opened = true;
            break;
        }
    }
    if (!opened)
        return;
    QString head = QStringLiteral("job: %1\nstarted: %2\n").arg(job.kind, start.toString(Qt::ISODate));
    for (const QString& argument : job.arguments)
        head += argument + QLatin1Char('\n');
    LogSink::writeTo(this, head);
    LogSink::attach(this);
}

JobLog::~JobLog()
{
    LogSink::detach(this);
}

bool JobLog::openIn(const QString& folder, const QString& name)
{
    if (!QDir().mkpath(folder))
        return false;
    // Two jobs started in the same second keep logs of their own.
    const QString base = QDir(folder).filePath(name);
    for (int copy = 1; copy < 100; ++copy) {
        QString path = base;
        if (copy > 1)
            path.insert(path.size() - 4, QStringLiteral("-%1").arg(copy));
        m_file.setFileName(path);
        if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Text))
            return true;
        if (m_file.exists())
            continue;
        return false;
    }
    return false;
}

void JobLog::finish(int resultCode, const QString& words)
{
    if (!isOpen())
        return;
    LogSink::detach(this);
    LogSink::writeTo(this, QStringLiteral("ended: %1\nresult: %2 (0x%3) %4\n")
                               .arg(QDateTime::currentDateTime().toString(Qt::ISODate))
                               .arg(resultCode)
                               .arg(static_cast<uint>(resultCode), 0, 16)
                               .arg(words));
    m_file.close();
}

QString JobLog::masked(QString text) const
{
    for (const QString& secret : m_secrets)
        text.replace(secret, kMask);
    return text;
}

void JobLog::append(const QString& text)
{
    if (!isOpen())
        return;
    m_file.write(masked(text).toUtf8());
    m_file.flush();
}
