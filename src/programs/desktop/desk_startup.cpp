#include "programs/desktop/desk_startup.h"

#include "wizard/base_msg_dlg.h"
#include "programs/desktop/desk_lang_dlg.h"
#include "programs/desktop/desk_main_dlg.h"
#include "programs/desktop/desk_paths.h"
#include "programs/desktop/desk_settings.h"
#include "wizard/frame_resources.h"
#include "jobs/job_log.h"
#include "jobs/log_sink.h"
#include "platform/windows/paths.h"
#include "platform/windows/platform.h"

#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QMetaType>
#include <QScreen>
#include <QTextCodec>
#include <QTranslator>

#include <cstdint>
#include <cstdio>

namespace desk {

namespace {

const char kInfoIcon[] = ":images/MsgIcon_Info.png";

int cachedVersion = -1;
winplat::VersionInfo cachedInfo;

OneDriveBackup& oneDriveBackup()
{
    static OneDriveBackup run;
    return run;
}

int versionCode(const winplat::VersionInfo& v)
{
    if (v.major == 5 && v.minor == 0)
        return 1;
    if (v.major == 5 && v.minor == 1)
        return 2;
    if (v.major == 5 && v.minor == 2)
        return v.serverR2 ? 4 : 3;
    if (v.major == 6 && v.minor == 0)
        return v.productType == 1 ? 5 : 6;
    if (v.major == 6 && v.minor == 1)
        return v.productType == 1 ? 8 : 7;
    const bool workstation = v.productType == 1;
    if (v.major == 6 && v.minor == 2)
        return workstation ? 9 : 10;
    if (v.major == 6 && v.minor == 3)
        return workstation ? 11 : 12;
    if (v.major == 10 && v.minor == 0) {
        if (!workstation)
            return 15;
        return v.build >= kWindows11Build ? 14 : 13;
    }
    return 0;
}

void showBox(const QString& text, bool okButton = true)
{
    BaseMsgDlg box(QCoreApplication::translate("desk", "Error"), text, QLatin1String(kInfoIcon), nullptr,
                   okButton, false);
    box.exec();
}

}  // namespace

int checkAdministrator()
{
    auto platform = winplat::currentPlatform();
    std::u16string windows;
    if (platform->windowsDirectory(windows) != winplat::err::kSuccess || windows.empty())
        return 0;
    winplat::Error error = 0;
    auto volume = platform->open(winplat::volumeDevicePath(windows[0]), winplat::OpenMode::Read, error);
    if (!volume && error == winplat::err::kAccessDenied)
        return -1;
    return 0;
}

QString driveVerbCommand(const QString& programPath)
{
    // Both quoted: a path with blanks ("C:\Program Files\...") must not
    // start "C:\Program.exe", and the drive root ends in a backslash.
    return QStringLiteral("\"%1\" \"%2\"").arg(programPath, QStringLiteral("%1"));
}

int registerDriveContextMenu()
{
    auto platform = winplat::currentPlatform();
    std::u16string program;
    if (platform->programPath(program) != winplat::err::kSuccess || program.empty())
        return 0;
    winplat::RegistryValue value;
    value.type = winplat::RegistryValue::String;
    value.strings.push_back(toU16(driveVerbCommand(fromU16(program))));
    return platform->writeRegistryValue(winplat::RegistryHive::ClassesRoot,
                                        toU16(QLatin1String(kDriveVerbKey)), std::u16string(),
                                        value) == winplat::err::kSuccess
               ? 1
               : 0;
}

int windowsVersion()
{
    if (cachedVersion != -1)
        return cachedVersion;
    winplat::VersionInfo info;
    if (winplat::currentPlatform()->versionInfo(info) != winplat::err::kSuccess)
        return -1;
    cachedInfo = info;
    cachedVersion = versionCode(info);
    return cachedVersion;
}

bool isSupportedWindows(const winplat::VersionInfo& v)
{
    // Qt 5.15, which draws every window, runs on Windows 7 with Service
    // Pack 1 (build 7601) and on every later release.
    if (v.major != 6)
        return v.major > 6;
    if (v.minor != 1)
        return v.minor > 1;
    return v.build >= kWindows7Sp1Build;
}

bool windowsIsSupported()
{
    return windowsVersion() != -1 && isSupportedWindows(cachedInfo);
}

void forgetWindowsVersion()
{
    cachedVersion = -1;
    cachedInfo = winplat::VersionInfo();
}

QString desktopStyleSheet()
{
    return frameStyleSheet() +
           QStringLiteral(
               "\nQPushButton#m_toolButton { border-image: url(:images/Tools_N.png); }"
               "\nQPushButton#m_toolButton:hover { border-image: url(:images/Tools_H.png); }"
               "\nQPushButton#m_toolButton:pressed { border-image: url(:images/Tools_P.png); }"
               "\nQPushButton#makeBtn, QPushButton#scanBtn, QPushButton#cancelBtn { border-image: "
               "url(:images/Button_N.png); }"
               "\nQPushButton#makeBtn:hover, QPushButton#scanBtn:hover, QPushButton#cancelBtn:hover,"
               " QPushButton#checkBtn:hover, QPushButton#recoverBtn:hover { border-image: "
               "url(:images/Button_H.png); }"
               "\nQPushButton#makeBtn:pressed, QPushButton#scanBtn:pressed, QPushButton#cancelBtn:pressed,"
               " QPushButton#checkBtn:pressed, QPushButton#recoverBtn:pressed { border-image: "
               "url(:images/Button_P.png); }"
               "\nQPushButton#makeBtn:disabled, QPushButton#scanBtn:disabled, QPushButton#cancelBtn:disabled,"
               " QPushButton#checkBtn:disabled, QPushButton#recoverBtn:disabled { border-image: "
               "url(:images/Button_D.png); }"
               "\nQPushButton#checkBtn, QPushButton#recoverBtn { border-image: url(:images/Button_FN.png); }"
               // The dark buttons and the tools' pages on the dark background: white
               // text, as in the wizards.
               "\nQPushButton#m_returnBtn, QPushButton#m_preBtn, QPushButton#m_nextBtn, "
               "QPushButton#m_quitButton,"
               " QPushButton#makeBtn, QPushButton#scanBtn, QPushButton#cancelBtn, QPushButton#checkBtn,"
               " QPushButton#recoverBtn { color: white; }"
               "\ndesk--ToolWidget1 QLabel, desk--ToolWidget2 QLabel { color: white; }\n");
}

int prepareDesktop(QApplication& app, int* exitCode)
{
    initRescueFrame();
    QFile sheet(QStringLiteral(":/qss/stylesheet.qss"));
    if (!sheet.open(QIODevice::ReadOnly))
        std::fprintf(stderr, "Load default.qss to fail.\n");
    app.setStyleSheet(desktopStyleSheet());

    if (QTextCodec* codec = QTextCodec::codecForName("gb18030"))
        QTextCodec::setCodecForLocale(codec);

    *exitCode = 0;
    if (checkAdministrator() == -1) {
        showBox(
            QCoreApplication::translate("desk", "You must have administrator rights to run this program!"));
        return -1;
    }
    registerDriveContextMenu();
    QCoreApplication::setOrganizationName(QLatin1String(kOrganisation));
    QCoreApplication::setApplicationName(QLatin1String(kApplication));

    const int version = windowsVersion();
    if (version == -1) {
        showBox(QCoreApplication::translate("desk", "Getting the operating system's version failed!"));
        return -1;
    }
    if (!windowsIsSupported()) {
        showBox(QCoreApplication::translate("desk",
                                            "This program needs Windows 7 with Service Pack 1 or later!"));
        return -1;
    }

    QString lang = readSetting(kLangKey);
    const QString dstPath = readSetting(kDstPathKey);
    if (lang.isEmpty() || dstPath.isEmpty()) {
        langDlg dialog;
        const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry()
                                                              : QRect(0, 0, 800, 600);
        dialog.move((screen.width() - dialog.width()) / 2, (screen.height() - dialog.height()) / 2);
        dialog.exec();
        lang = readSetting(kLangKey);
    }

    QTranslator* qtTranslator = new QTranslator(&app);
    if (qtTranslator->load(QStringLiteral("qt_") + lang,
                           QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtTranslator);
    QTranslator* ownTranslator = new QTranslator(&app);
    ownTranslator->setObjectName(QStringLiteral("language/pelrid_") + lang);
    // From the program's own folder only: a catalogue planted in the
    // working folder must not change what the program shows or runs.
    ownTranslator->load(programFolder() + QStringLiteral("/language/pelrid_") + lang);
    QCoreApplication::installTranslator(ownTranslator);

    qRegisterMetaType<uint32_t>("dev_t");
    return 0;
}

static QString& programFolderOverride()
{
    static QString folder;
    return folder;
}

QString programFolder()
{
    return programFolderOverride().isEmpty() ? QCoreApplication::applicationDirPath()
                                             : programFolderOverride();
}

QString jobLogFolder()
{
    // The desktop is a GUI program: its standard error is lost. Each user
    // finds the logs under the local application data; a system without
    // that folder keeps them beside the program.
    QString localData = qEnvironmentVariable("LOCALAPPDATA");
    localData.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!localData.isEmpty())
        return localData + QLatin1Char('/') + QLatin1String(kOrganisation) + QLatin1Char('/') +
               QLatin1String(kApplication) + QStringLiteral("/logs");
    return programFolder() + QStringLiteral("/logs");
}

void installJobLogs()
{
    LogSink::install();
    JobLog::setPlaces({QStringLiteral("deskrestore"), false, jobLogFolder()});
}

void setProgramFolder(const QString& folder)
{
    programFolderOverride() = folder;
}

void setOneDriveBackup(OneDriveBackup run)
{
    oneDriveBackup() = std::move(run);
}

void useHighDpiScaling()
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}

int runDesktop(QApplication& app, const QStringList& arguments)
{
    int exitCode = 0;
    if (prepareDesktop(app, &exitCode) != 0)
        return exitCode;
    installJobLogs();
    if (arguments.size() < 2) {
        MainDlg window;
        window.show();
        return app.exec();
    }
    if (!oneDriveBackup()) {
        std::fprintf(stderr, "The one-drive backup is not part of this build.\n");
        return -1;
    }
    return oneDriveBackup()(arguments.at(1));
}

}  // namespace desk
