// Start-up of the desktop program on simulated machines: the Windows
// version table, the refusal of unknown versions and of users without
// administrator rights, the shell verb's registry value, and the
// first-start dialog that stores the language and the image folder.
#include "wizard/base_msg_dlg.h"
#include "programs/desktop/desk_file_dialogs.h"
#include "programs/desktop/desk_lang_dlg.h"
#include "desktop/desk_machine.h"
#include "programs/desktop/desk_settings.h"
#include "programs/desktop/desk_startup.h"
#include "desktop/desk_test_app.h"
#include "platform/windows/disk_helpers.h"
#include "jobs/job_log.h"
#include "platform/windows/paths.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QPushButton>
#include <QTranslator>

#include <fstream>
#include <sstream>

using desktest::DeskMachine;

namespace {

std::string readText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct VersionCase {
    const char* system;
    int code;
    const char* name;
};

TEST(DeskStartup, WindowsVersionTable)
{
    const VersionCase cases[] = {
        {"Version=4.0\nProductType=1\n", 0, "Windows 9X"},
        {"Version=5.0\nProductType=1\n", 1, "Windows 2000"},
        {"Version=5.1\nProductType=1\n", 2, "Windows XP"},
        {"Version=5.2\nProductType=3\nServerR2=0\n", 3, "Windows server 2003"},
        {"Version=5.2\nProductType=3\nServerR2=1\n", 4, "Windows server 2003 RC2"},
        {"Version=5.3\nProductType=1\n", 0, "Windows 9X"},
        {"Version=6.0\nProductType=1\n", 5, "Windows Vista"},
        {"Version=6.0\nProductType=3\n", 6, "Windows server 2008"},
        {"Version=6.1\nProductType=2\n", 7, "Windows server 2008 RC2"},
        {"Version=6.1\nProductType=1\n", 8, "Windows 7"},
        {"Version=6.2\nProductType=1\n", 9, "Windows 8"},
        {"Version=6.2\nProductType=3\n", 10, "Windows server 2012"},
        {"Version=6.3\nProductType=1\n", 11, "Windows 8.1"},
        {"Version=6.3\nProductType=3\n", 12, "Windows server 2012 R2"},
        {"Version=10.0\nProductType=1\nBuild=19045\n", 13, "Windows 10"},
        {"Version=10.0\nProductType=1\nBuild=22000\n", 14, "Windows 11"},
        {"Version=10.0\nProductType=3\nBuild=20348\n", 15, "Windows server 2016 or later"},
        {"Version=6.4\nProductType=1\n", 0, "Windows 9X"},
    };
    for (const VersionCase& c : cases) {
        DeskMachine machine(c.system);
        desk::forgetWindowsVersion();
        EXPECT_EQ(desk::windowsVersion(), c.code) << c.system;
        EXPECT_EQ(windowsVersionName(static_cast<unsigned>(desk::windowsVersion())), c.name) << c.system;
    }
    desk::forgetWindowsVersion();
}

struct SupportCase {
    const char* system;
    bool supported;
};

// Qt 5.15 needs Windows 7 SP1: everything from there on runs, whatever the
// table calls it; what came before gets a box that says so.
TEST(DeskStartup, WindowsFromSevenSp1OnRunsOlderIsRefusedWithATrueMessage)
{
    desktest::testApp();
    const SupportCase cases[] = {
        {"Version=5.1\nProductType=1\nBuild=2600\n", false},
        {"Version=6.0\nProductType=1\nBuild=6002\n", false},
        {"Version=6.1\nProductType=1\nBuild=7600\n", false},
        {"Version=6.1\nProductType=1\nBuild=7601\n", true},
        {"Version=6.1\nProductType=3\nBuild=7601\n", true},
        {"Version=6.2\nProductType=1\nBuild=9200\n", true},
        {"Version=6.3\nProductType=1\nBuild=9600\n", true},
        {"Version=6.4\nProductType=1\nBuild=9841\n", true},
        {"Version=10.0\nProductType=1\nBuild=19045\n", true},
        {"Version=10.0\nProductType=1\nBuild=22631\n", true},
        {"Version=11.0\nProductType=1\nBuild=30000\n", true},
    };
    for (const SupportCase& c : cases) {
        DeskMachine machine(c.system);
        desk::forgetWindowsVersion();
        desk::writeSetting(desk::kLangKey, "en");
        desk::writeSetting(desk::kDstPathKey, "D:\\Images");
        EXPECT_EQ(desk::windowsIsSupported(), c.supported) << c.system;
        MsgBoxAnswers answers;
        int exitCode = -5;
        EXPECT_EQ(desk::prepareDesktop(desktest::testApp(), &exitCode), c.supported ? 0 : -1) << c.system;
        EXPECT_EQ(exitCode, 0) << c.system;
        if (c.supported) {
            EXPECT_TRUE(answers.boxes.empty()) << c.system;
        } else {
            ASSERT_EQ(answers.boxes.size(), 1) << c.system;
            EXPECT_EQ(answers.boxes[0].message, "This program needs Windows 7 with Service Pack 1 or later!");
            EXPECT_TRUE(answers.boxes[0].okButton) << c.system;
        }
        desktest::backToEnglish();
    }
    desk::forgetWindowsVersion();
}

// The refusal runs as a real modal box: it has its button, and Escape
// ends it as the button does.
TEST(DeskStartup, RefusalBoxClosesWithEscapeAndWithItsButton)
{
    desktest::testApp();
    for (const bool byEscape : {true, false}) {
        DeskMachine machine("Version=6.0\nProductType=1\nBuild=6002\n");
        desk::forgetWindowsVersion();
        bool hadButton = false;
        desktest::onNextModal([&](QWidget* modal) {
            auto* box = qobject_cast<BaseMsgDlg*>(modal);
            ASSERT_NE(box, nullptr);
            hadButton = box->exitButton() != nullptr;
            if (byEscape) {
                QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QCoreApplication::sendEvent(box, &press);
            } else if (box->exitButton()) {
                box->exitButton()->click();
            }
            // Never left open, whatever happened above.
            if (box->isVisible())
                box->done(7);
        });
        int exitCode = -5;
        EXPECT_EQ(desk::prepareDesktop(desktest::testApp(), &exitCode), -1);
        EXPECT_EQ(exitCode, 0);
        EXPECT_TRUE(hadButton);
    }
    desk::forgetWindowsVersion();
}

// A machine whose system volume refuses to be opened by this user.
class NoRightsPlatform : public winplat::SimulatedPlatform {
public:
    using SimulatedPlatform::SimulatedPlatform;
    std::unique_ptr<winplat::Device> open(const std::u16string& path, winplat::OpenMode mode,
                                          winplat::Error& error) override
    {
        if (path == winplat::volumeDevicePath(u'C')) {
            error = winplat::err::kAccessDenied;
            return nullptr;
        }
        return SimulatedPlatform::open(path, mode, error);
    }
};

// A machine whose version query fails.
class NoVersionPlatform : public winplat::SimulatedPlatform {
public:
    using SimulatedPlatform::SimulatedPlatform;
    winplat::Error versionInfo(winplat::VersionInfo&) override { return winplat::err::kInvalidFunction; }
};

TEST(DeskStartup, FailedVersionQueryEndsTheProgramAndIsNotKept)
{
    desktest::testApp();
    DeskMachine machine;
    desk::forgetWindowsVersion();
    winplat::setCurrentPlatform(std::make_shared<NoVersionPlatform>(machine.machine));
    EXPECT_EQ(desk::windowsVersion(), -1);
    MsgBoxAnswers answers;
    int exitCode = -5;
    EXPECT_EQ(desk::prepareDesktop(desktest::testApp(), &exitCode), -1);
    EXPECT_EQ(exitCode, 0);
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_EQ(answers.boxes[0].message, "Getting the operating system's version failed!");
    EXPECT_TRUE(answers.boxes[0].okButton);
    // The next call asks again.
    winplat::setCurrentPlatform(machine.platform);
    EXPECT_EQ(desk::windowsVersion(), 8);
    desk::forgetWindowsVersion();
}

TEST(DeskStartup, AdministratorCheck)
{
    desktest::testApp();
    DeskMachine machine;
    EXPECT_EQ(desk::checkAdministrator(), 0);
    winplat::setCurrentPlatform(std::make_shared<NoRightsPlatform>(machine.machine));
    EXPECT_EQ(desk::checkAdministrator(), -1);
    MsgBoxAnswers answers;
    int exitCode = -5;
    EXPECT_EQ(desk::prepareDesktop(desktest::testApp(), &exitCode), -1);
    EXPECT_EQ(exitCode, 0);
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_EQ(answers.boxes[0].message, "You must have administrator rights to run this program!");
    // Without rights nothing is written to the registry.
    EXPECT_EQ(readText(machine.host("registry.txt")).find("Sorvik Backup"), std::string::npos);
}

TEST(DeskStartup, ShellVerbQuotesTheProgramAndTheDrive)
{
    DeskMachine machine;
    ASSERT_EQ(desk::registerDriveContextMenu(), 1);
    winplat::RegistryValue value;
    ASSERT_EQ(machine.platform->readRegistryValue(winplat::RegistryHive::ClassesRoot,
                                                  u"Drive\\shell\\Sorvik Backup\\command", u"", value),
              winplat::err::kSuccess);
    ASSERT_EQ(value.type, winplat::RegistryValue::String);
    ASSERT_EQ(value.strings.size(), 1u);
    EXPECT_EQ(value.strings[0], u"\"C:\\Program Files\\Sorvik\\deskrestore.exe\" \"%1\"");
    // The value as the registry file stores it.
    const std::string stored = readText(machine.host("registry.txt"));
    EXPECT_NE(stored.find("Key=HKCR\\Drive\\shell\\Sorvik Backup\\command"), std::string::npos) << stored;
    EXPECT_NE(stored.find("\"C:\\Program Files\\Sorvik\\deskrestore.exe\" \"%1\""), std::string::npos)
        << stored;
}

TEST(DeskStartup, LanguageCodes)
{
    EXPECT_EQ(desk::languageOfIndex(0), "zh_CN");
    EXPECT_EQ(desk::languageOfIndex(1), "zh_TW");
    EXPECT_EQ(desk::languageOfIndex(2), "en");
    EXPECT_EQ(desk::languageOfIndex(7), "zh_CN");
}

QString ownCatalogue()
{
    // The program's own translator of the latest start.
    QString name;
    for (QTranslator* t : desktest::testApp().findChildren<QTranslator*>()) {
        if (t->objectName().startsWith("language/pelrid_"))
            name = t->objectName();
    }
    return name;
}

TEST(DeskStartup, FirstStartAsksForLanguageAndPlaceUntilBothAreSet)
{
    desktest::testApp();
    DeskMachine machine;
    desk::forgetWindowsVersion();
    std::vector<QString> captions;
    desk::FileChooser previous = desk::setFileChooser([&](QWidget*, const desk::FileRequest& request) {
        captions.push_back(request.caption);
        return QString("D:/Images");
    });

    // First start: keep the first language, choose no folder.
    bool shown = false;
    desktest::onNextModal([&](QWidget* modal) {
        shown = modal->objectName() == "setDlg";
        auto* ok = modal->findChildren<QPushButton*>().last();
        ok->click();
    });
    int exitCode = 0;
    ASSERT_EQ(desk::prepareDesktop(desktest::testApp(), &exitCode), 0);
    EXPECT_TRUE(shown);
    EXPECT_EQ(desk::readSetting(desk::kLangKey), "zh_CN");
    EXPECT_EQ(desk::readSetting(desk::kDstPathKey), "");
    EXPECT_EQ(ownCatalogue(), "language/pelrid_zh_CN");

    // Second start: the dialog again; English and a folder this time.
    shown = false;
    desktest::onNextModal([&](QWidget* modal) {
        shown = true;
        auto* dialog = qobject_cast<desk::langDlg*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->m_langCombo->setCurrentIndex(2);
        dialog->m_browseBtn->click();
        dialog->m_okBtn->click();
    });
    ASSERT_EQ(desk::prepareDesktop(desktest::testApp(), &exitCode), 0);
    EXPECT_TRUE(shown);
    EXPECT_EQ(desk::readSetting(desk::kLangKey), "en");
    EXPECT_EQ(desk::readSetting(desk::kDstPathKey), "D:\\Images");
    EXPECT_EQ(ownCatalogue(), "language/pelrid_en");
    ASSERT_EQ(captions.size(), 1u);
    // Stored in the machine's settings file.
    const std::string stored = readText(machine.host("user-settings.ini"));
    EXPECT_NE(stored.find("Lang=en"), std::string::npos) << stored;

    // Third start: both are set, no dialog.
    shown = false;
    QTimer* watcher = desktest::onNextModal([&](QWidget* modal) {
        shown = true;
        modal->close();
    });
    ASSERT_EQ(desk::prepareDesktop(desktest::testApp(), &exitCode), 0);
    EXPECT_FALSE(shown);
    if (!shown)
        delete watcher;
    desk::setFileChooser(previous);
    desk::forgetWindowsVersion();
}

TEST(DeskStartup, ChineseCatalogueTranslatesTheDesktopAndTheSharedPages)
{
    desktest::testApp();
    DeskMachine machine;
    // The program finds language/ in its own folder.
    ASSERT_TRUE(desktest::startInChinese(QStringLiteral(DESK_LANGUAGE_PARENT)));
    EXPECT_EQ(QCoreApplication::translate("desk::BackupDlg", "Backup succeeded!"),
              QStringLiteral("备份成功！"));
    EXPECT_EQ(QCoreApplication::translate("desk::RestoreDlg", "All data on partition %1: will be erased!"),
              QStringLiteral("分区 %1: 上的所有数据都将被清除！"));
    EXPECT_EQ(QCoreApplication::translate("BkWidget3", "Backup options"), QStringLiteral("备份选项"));
    EXPECT_EQ(QCoreApplication::translate("desk::ToolDlg", "Recover File"), QStringLiteral("恢复文件"));
    EXPECT_EQ(QCoreApplication::translate("desk::ToolWidget1", "Run bcdedit failed!"),
              QStringLiteral("运行 bcdedit 失败！"));
    desktest::backToEnglish();
    desk::forgetWindowsVersion();
}

TEST(DeskStartup, CatalogueInTheWorkingFolderIsNotLoaded)
{
    desktest::testApp();
    DeskMachine machine;
    desk::forgetWindowsVersion();
    desk::writeSetting(desk::kLangKey, "zh_CN");
    desk::writeSetting(desk::kDstPathKey, "D:\\Images");
    // The real catalogue sits in the working folder; the program's own
    // folder has none.
    testsupport::TempDir empty;
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QStringLiteral(DESK_LANGUAGE_PARENT)));
    desk::setProgramFolder(QString::fromStdString(empty.path()));
    int exitCode = 0;
    ASSERT_EQ(desk::prepareDesktop(desktest::testApp(), &exitCode), 0);
    desk::setProgramFolder(QString());
    QDir::setCurrent(before);
    EXPECT_EQ(QCoreApplication::translate("desk::BackupDlg", "Backup succeeded!"),
              QStringLiteral("Backup succeeded!"));
    desktest::backToEnglish();
    desk::forgetWindowsVersion();
}

TEST(DeskStartup, ADriveArgumentStartsTheOneDriveBackup)
{
    desktest::testApp();
    DeskMachine machine;
    desk::forgetWindowsVersion();
    desk::writeSetting(desk::kLangKey, "en");
    desk::writeSetting(desk::kDstPathKey, "D:\\Images");
    QStringList roots;
    desk::setOneDriveBackup([&](const QString& root) {
        roots << root;
        return 7;
    });
    // Only the first argument counts.
    EXPECT_EQ(desk::runDesktop(desktest::testApp(), {"deskrestore", "E:\\", "F:\\"}), 7);
    EXPECT_EQ(roots, QStringList{"E:\\"});
    desk::setOneDriveBackup(nullptr);
    EXPECT_EQ(desk::runDesktop(desktest::testApp(), {"deskrestore", "E:\\"}), -1);
    desk::forgetWindowsVersion();
}

}  // namespace

// The desktop's standard error is lost: each user's jobs leave their logs
// under the local application data, or beside the program without it.
TEST(DeskStartup, JobLogsGoUnderTheLocalApplicationDataElseBesideTheProgram)
{
    const QByteArray saved = qgetenv("LOCALAPPDATA");
    const bool wasSet = qEnvironmentVariableIsSet("LOCALAPPDATA");
    desk::setProgramFolder(QStringLiteral("C:/Program Files/Tavimo"));
    const struct {
        const char* localAppData;  // null: unset
        const char* expected;
    } cases[] = {
        {"C:\\Users\\ann\\AppData\\Local",
         "C:/Users/ann/AppData/Local/Sorvik Software/Sorvik Tavimo Recover/logs"},
        {nullptr, "C:/Program Files/Tavimo/logs"},
        {"", "C:/Program Files/Tavimo/logs"},
    };
    for (const auto& c : cases) {
        if (c.localAppData)
            qputenv("LOCALAPPDATA", c.localAppData);
        else
            qunsetenv("LOCALAPPDATA");
        EXPECT_EQ(desk::jobLogFolder(), QString::fromUtf8(c.expected))
            << (c.localAppData ? c.localAppData : "unset");
    }
    desk::installJobLogs();
    const JobLogPlaces places = JobLog::places();
    JobLog::setPlaces({});
    EXPECT_EQ(places.programName, QStringLiteral("deskrestore"));
    EXPECT_FALSE(places.besideImage);
    EXPECT_EQ(places.folder, QStringLiteral("C:/Program Files/Tavimo/logs"));
    desk::setProgramFolder(QString());
    if (wasSet)
        qputenv("LOCALAPPDATA", saved);
    else
        qunsetenv("LOCALAPPDATA");
}
