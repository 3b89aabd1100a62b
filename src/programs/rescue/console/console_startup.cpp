#include "programs/rescue/console/console_startup.h"

#include "platform/linux/device_records.h"
#include "wizard/frame_resources.h"
#include "jobs/job_log.h"
#include "jobs/log_sink.h"
#include "wizard/screen_background.h"
#include "programs/rescue/console/storage_environment.h"

#include <QApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QTextCodec>

#include <cstdio>
#include <cstdlib>

ConsoleStartup::ConsoleStartup() = default;

ConsoleStartup::~ConsoleStartup()
{
    QCoreApplication::removeTranslator(&m_consoleCatalogue);
    QCoreApplication::removeTranslator(&m_qtCatalogue);
}

void ConsoleStartup::run()
{
    installJobLogs();
    applyStorageEnvironment();
    initRescueFrame();
    paintScreenBackground();
    const QByteArray lang = qgetenv("LANG");
    installQtCatalogue(lang);
    installConsoleCatalogue(lang);
    registerTypes();
    applyStyleSheet();
    setCodecs();
}

void ConsoleStartup::installJobLogs()
{
    // The console runs from a live system whose own files are gone after a
    // reboot: a job's log goes beside its image, on the medium the user
    // keeps; where that folder takes no file (an optical disc, a read-only
    // share), into the live system's log folder.
    LogSink::install();
    JobLog::setPlaces({QStringLiteral("rescuecon"), true, QStringLiteral("/var/log/rescuecon")});
}

void ConsoleStartup::paintScreenBackground()
{
    initRescueFrame();
    m_background = std::make_unique<ScreenBackground>(QStringLiteral(":images/mainbkimage2.png"));
    m_background->showFullScreenBehind();
}

bool ConsoleStartup::installQtCatalogue(const QByteArray& lang)
{
    const QString name = QStringLiteral("qt_") + QString::fromUtf8(lang);
    if (!m_qtCatalogue.load(name, QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        return false;
    QCoreApplication::installTranslator(&m_qtCatalogue);
    return true;
}

bool ConsoleStartup::langWantsChinese(const QByteArray& lang)
{
    return lang.isEmpty() || lang.startsWith("zh");
}

bool ConsoleStartup::installConsoleCatalogue(const QByteArray& lang)
{
    if (!langWantsChinese(lang))
        return false;
    initRescueFrame();
    m_consoleCatalogue.load(frameCatalogPath());
    QCoreApplication::installTranslator(&m_consoleCatalogue);
    return true;
}

void ConsoleStartup::registerTypes()
{
    registerDevMetaType();
}

bool ConsoleStartup::applyStyleSheet()
{
    initRescueFrame();
    QFile file(QStringLiteral(":/qss/stylesheet.qss"));
    const bool opened = file.open(QIODevice::ReadOnly);
    if (!opened)
        std::fputs("Load default.qss to fail.", stderr);
    qApp->setStyleSheet(QString::fromLatin1(opened ? file.readAll() : QByteArray()));
    return opened;
}

void ConsoleStartup::setCodecs()
{
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
}
