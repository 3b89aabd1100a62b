// What main() prepares before the main window: storage paths from the
// environment, the catalogues chosen by LANG, "dev_t", the style sheet and
// the codecs, and a main window built after them that shows their effect.
#include "storage/parted_sanitizer_options.h"
#include "storage_ui/browse_for_file_dialog.h"
#include "programs/rescue/console/console_startup.h"
#include "console/console_test_app.h"
#include "platform/linux/device_prober.h"
#include "jobs/engine_state_text.h"
#include "jobs/job_log.h"
#include "programs/rescue/console/main_dlg.h"
#include "wizard/screen_background.h"
#include "platform/linux/system_paths.h"
#include "support/test_support.h"

#include <QDataStream>
#include <QDialogButtonBox>
#include <QMetaType>
#include <QPushButton>
#include <QScreen>
#include <QTextCodec>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(ConsoleStartupLang, ChineseUnlessLangNamesAnotherLanguage)
{
    const struct {
        const char* lang;
        bool chinese;
    } cases[] = {{"", true},    {"zh_CN", true},        {"zh_CN.UTF-8", true}, {"zh_TW", true},
                 {"en", false}, {"en_US.UTF-8", false}, {"C", false},          {"es", false}};
    for (const auto& c : cases)
        EXPECT_EQ(ConsoleStartup::langWantsChinese(c.lang), c.chinese) << c.lang;
}

TEST(ConsoleStartupCatalogues, QtCatalogueOnlyWhenItLoads)
{
    consoletest::testApp();
    {
        ConsoleStartup startup;
        EXPECT_FALSE(startup.installQtCatalogue(QByteArray()));  // "qt_" alone
        EXPECT_FALSE(startup.installQtCatalogue("xx_YY"));
    }
    ConsoleStartup startup;
    if (!startup.installQtCatalogue("zh_CN.UTF-8"))
        SKIP_OR_FAIL_IN_CI("Qt's Chinese catalogue is not installed");
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString::fromUtf8("取消"));
}

TEST(ConsoleStartupCatalogues, ConsoleCatalogueFollowsLang)
{
    consoletest::testApp();
    {
        ConsoleStartup english;
        EXPECT_FALSE(english.installConsoleCatalogue("en_US.UTF-8"));
        EXPECT_EQ(QCoreApplication::translate("MainDlg", "Quit"), QStringLiteral("Quit"));
    }
    {
        ConsoleStartup chinese;
        EXPECT_TRUE(chinese.installConsoleCatalogue("zh_CN.UTF-8"));
        EXPECT_EQ(QCoreApplication::translate("MainDlg", "Quit"), QString::fromUtf8("退出"));
        EXPECT_EQ(QCoreApplication::translate("BaseMsgDlg", "Cancel"), QString::fromUtf8("取消"));
    }
    // Removed again with its start-up object.
    EXPECT_EQ(QCoreApplication::translate("MainDlg", "Quit"), QStringLiteral("Quit"));
}

TEST(ConsoleStartupCatalogues, WithLangUnsetTheEnginesStatesAndTheFileDialogsButtonsAreChinese)
{
    consoletest::testApp();
    // No Qt catalogue loads for an empty LANG: every text the console shows
    // comes from its own catalogue.
    ConsoleStartup startup;
    EXPECT_FALSE(startup.installQtCatalogue(QByteArray()));
    ASSERT_TRUE(startup.installConsoleCatalogue(QByteArray()));
    for (const char* state : {"Initializing ...", "Backing up partition ...", "Restoring partition ...",
                              "Finishing restore partition ...", "Finish restore partition",
                              "Checking partition ... ", "Finish"}) {
        const QString shown = engineStateText(QString::fromLatin1(state));
        EXPECT_TRUE(std::any_of(shown.begin(), shown.end(),
                                [](QChar c) { return c.unicode() >= 0x4e00 && c.unicode() <= 0x9fff; }))
            << state << " -> " << shown.toStdString();
    }
    BrowseForFileDialog dialog(nullptr, nullptr, false, false, -1, Qt::Dialog);
    auto* box = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->button(QDialogButtonBox::Ok)->text(), QString::fromUtf8("确定"));
    EXPECT_EQ(box->button(QDialogButtonBox::Cancel)->text(), QString::fromUtf8("取消"));
}

TEST(ConsoleStartupTypes, DevTTravelsAsA64BitNumber)
{
    consoletest::testApp();
    ConsoleStartup::registerTypes();
    const int type = QMetaType::type("dev_t");
    ASSERT_NE(type, QMetaType::UnknownType);
    EXPECT_EQ(QMetaType::sizeOf(type), 8);
    const dev_t device = (dev_t(259) << 32) | 7;
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        ASSERT_TRUE(QMetaType::save(out, type, &device));
    }
    QByteArray expected;
    {
        QDataStream out(&expected, QIODevice::WriteOnly);
        out << qint64(device);
    }
    EXPECT_EQ(bytes, expected);
    dev_t back = 0;
    QDataStream in(bytes);
    ASSERT_TRUE(QMetaType::load(in, type, &back));
    EXPECT_EQ(back, device);
}

TEST(ConsoleStartupOrder, EverythingIsReadyBeforeTheMainWindowIsBuilt)
{
    consoletest::testApp();
    testsupport::TempDir machine;
    for (const char* folder : {"sys", "proc", "dev/block", "mnt"})
        testsupport::Run("mkdir -p " + testsupport::Quote(machine.file(folder)));
    qputenv("RESCUE_SYS_ROOT", QByteArray::fromStdString(machine.file("sys")));
    qputenv("RESCUE_PROC_ROOT", QByteArray::fromStdString(machine.file("proc")));
    qputenv("RESCUE_DEV_ROOT", QByteArray::fromStdString(machine.file("dev")));
    qputenv("RESCUE_MOUNT_TABLE", QByteArray::fromStdString(machine.file("mtab")));
    qputenv("RESCUE_MOUNT_BASE", QByteArray::fromStdString(machine.file("mnt")));
    qputenv("LANG", "zh_CN.UTF-8");

    ConsoleStartup startup;
    startup.run();
    EXPECT_EQ(systemPaths().sys, machine.file("sys"));
    EXPECT_EQ(systemPaths().proc, machine.file("proc"));
    EXPECT_EQ(systemPaths().dev, machine.file("dev"));
    EXPECT_EQ(systemPaths().mountTable, machine.file("mtab"));
    EXPECT_EQ(systemPaths().mountBase, machine.file("mnt"));
    ASSERT_NE(startup.background(), nullptr);
    EXPECT_TRUE(startup.background()->isVisible());
    EXPECT_FALSE(startup.background()->texture().isNull());
    EXPECT_EQ(startup.background()->geometry(), QGuiApplication::primaryScreen()->geometry());
    EXPECT_TRUE(qApp->styleSheet().contains(QStringLiteral("m_bkButton")));
    EXPECT_EQ(QTextCodec::codecForLocale()->name(), QByteArray("UTF-8"));
    EXPECT_NE(QMetaType::type("dev_t"), QMetaType::UnknownType);

    // The main window built afterwards probes the (empty) machine and
    // speaks Chinese.
    MainDlg dlg;
    EXPECT_EQ(dlg.quitButton()->text(), QString::fromUtf8("退出"));
    EXPECT_EQ(DeviceProber::instance()->currentState(), DeviceProber::Idle);
}

}  // namespace

// A job's log goes beside its image (what survives a reboot of the live
// system), else into the live system's log folder.
TEST(ConsoleStartupLogs, JobLogsGoBesideTheImageElseIntoTheLiveSystemsLogFolder)
{
    ConsoleStartup::installJobLogs();
    const JobLogPlaces places = JobLog::places();
    JobLog::setPlaces({});
    EXPECT_EQ(places.programName, QStringLiteral("rescuecon"));
    EXPECT_TRUE(places.besideImage);
    EXPECT_EQ(places.folder, QStringLiteral("/var/log/rescuecon"));
}
