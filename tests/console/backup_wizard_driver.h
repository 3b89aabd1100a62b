// Drives the backup wizard the way a user does: presses rows of the
// partition tree, chooses the image place, fills page 3 and presses the
// wizard's buttons, with every message box answered and recorded.
#ifndef TESTS_CONSOLE_BACKUP_WIZARD_DRIVER_H
#define TESTS_CONSOLE_BACKUP_WIZARD_DRIVER_H

#include "programs/rescue/console/backup_dlg.h"
#include "console/backup_machine.h"
#include "wizard/base_msg_dlg.h"
#include "programs/rescue/console/bk_widget1.h"
#include "programs/rescue/console/bk_widget2.h"
#include "wizard/bk_widget3.h"
#include "storage_ui/browse_for_file_dialog.h"
#include "storage_ui/filesystem_model.h"
#include "platform/linux/mount_table.h"
#include "jobs/quarn_thread.h"
#include "support/shared_fixture.h"
#include "console/tree_rows.h"
#include "wizard/tree_item.h"
#include "storage_ui/tree_model.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QTreeView>
#include <gtest/gtest.h>

namespace backuptest {

using consoletest::rowOf;

// Presses a row of the page's tree with the mouse.
inline bool pressRow(BkWidget1& page, const QString& path, Qt::MouseButton button = Qt::LeftButton)
{
    const QModelIndex index = rowOf(*page.model(), path);
    if (!index.isValid())
        return false;
    QTreeView* view = page.treeView();
    view->scrollTo(index);
    const QRect place = view->visualRect(index);
    if (!place.isValid())
        return false;
    QTest::mousePress(view->viewport(), button, Qt::NoModifier, place.center());
    QTest::mouseRelease(view->viewport(), button, Qt::NoModifier, place.center());
    return true;
}

inline void click(QPushButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

// Mounts a partition through the console's mount table, as the file
// browser does when a place is opened; its directory or "".
inline QString mountPlace(const QString& device, const char* fsName = "ntfs")
{
    const QByteArray native = QFile::encodeName(device);
    const char* directory = MountTable::instance()->mount(native.constData(), fsName, nullptr, nullptr);
    return directory ? QFile::decodeName(directory) : QString();
}

// The row of the file dialog's tree whose role holds `value` (places at
// the top, then their contents, opened as a user opens them).
inline QModelIndex dialogRow(BrowseForFileDialog& dialog, int role, const QString& value,
                             const QModelIndex& parent = QModelIndex())
{
    FilesystemModel* model = dialog.model();
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        if (index.data(role).toString() == value)
            return index;
    }
    return QModelIndex();
}

// In a shown file dialog: presses the place of `device` (and in it the
// file `fileName` when given, which may lie in folders: "a/b/x.bkp"),
// types `typedName` when given, and presses OK (or Cancel when `cancel`).
inline bool answerFileDialog(BrowseForFileDialog& dialog, const QString& device, const QString& fileName,
                             const QString& typedName, bool cancel = false)
{
    QDialogButtonBox* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    if (!buttons)
        return false;
    if (cancel) {
        click(buttons->button(QDialogButtonBox::Cancel));
        return true;
    }
    QModelIndex index = dialogRow(dialog, FilesystemModel::DevicePathRole, device);
    if (!index.isValid())
        return false;
    QTreeView* view = dialog.treeView();
    view->expand(index);  // a place is mounted when it is opened
    for (const QString& name : fileName.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        dialog.model()->rowCount(index);  // listed (and a place mounted) before its path is read
        const QString folder = index.data(FilesystemModel::PathRole).toString();
        index = dialogRow(dialog, FilesystemModel::PathRole, folder + "/" + name, index);
        if (!index.isValid())
            return false;
    }
    view->scrollTo(index);
    const QRect rect = view->visualRect(index);
    QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    if (!typedName.isEmpty()) {
        QLineEdit* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!name)
            return false;
        QTest::keyClicks(name, typedName);
    }
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    if (!ok || !ok->isEnabled())
        return false;
    click(ok);
    return true;
}

// Answers the next file dialog that a modal run shows, once it is up.
inline void answerNextModalFileDialog(std::function<void(BrowseForFileDialog&)> answer)
{
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [answer, poll] {
        if (auto* dialog = qobject_cast<BrowseForFileDialog*>(QApplication::activeModalWidget())) {
            answer(*dialog);
            *poll = nullptr;  // breaks the cycle
            return;
        }
        QTimer::singleShot(20, *poll);
    };
    QTimer::singleShot(20, *poll);
}

// Page 3's choices.
struct Options {
    QString password;
    QString confirm;
    int compress = 1;
    int volumeSize = 0;
    QString comment;
};

// Types a text into an edit key by key; QTest has keys for ASCII only, so
// other characters are inserted as an input method would.
inline void typeText(QLineEdit* edit, const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 128)
            QTest::keyClick(edit, c.toLatin1());
        else
            edit->insert(QString(c));
    }
}

inline void setOptions(BkWidget3& page, const Options& options)
{
    QLineEdit* first = page.m_passwordEdit;
    QLineEdit* second = page.m_confirmEdit;
    first->clear();
    second->clear();
    typeText(first, options.password);
    typeText(second, options.confirm);
    page.m_compressCombo->setCurrentIndex(options.compress);
    page.m_sizeCombo->setCurrentIndex(options.volumeSize);
    page.m_commentEdit->setPlainText(options.comment);
}

// Presses Start and waits until the wizard is back at the main window;
// false when the job did not end in time.
inline bool startAndWait(BackupDlg& wizard, int timeoutMs = 240000)
{
    QSignalSpy back(&wizard, &BackupDlg::returnMainDlg);
    click(wizard.nextButton());
    if (!wizard.jobActive())
        return false;
    return back.wait(timeoutMs) || back.count() > 0;
}

// The texts of the boxes shown so far.
inline QStringList boxTexts(const MsgBoxAnswers& answers)
{
    QStringList texts;
    for (const MsgBoxRecord& box : answers.boxes)
        texts << box.message;
    return texts;
}

// The backup wizard shown on a fresh fake machine whose disks are probed;
// skipped where a tool the machine needs is missing. The machine is a copy
// of one made once for the program: a program with this fixture declares
// QUARN_SHARED_FIXTURE(backuptest::saveFreshMachine).
class BackupWizardFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string missing = missingTool();
        if (!missing.empty())
            SKIP_OR_FAIL_IN_CI(missing << " is not available");
        const testsupport::SharedFixtureFolder& saved = testsupport::SharedFixture(&saveFreshMachine);
        ASSERT_EQ(saved.error, "");
        machine.reset(new BackupMachine(saved.path));
        ASSERT_TRUE(machine->ok()) << machine->log();
        wizard.reset(new BackupDlg);
        wizard->show();
        ASSERT_TRUE(machine->probe());
    }
    void TearDown() override
    {
        wizard.reset();
        if (machine)
            machine->unmountAll();
    }
    // True when the base's set-up ended the test (skip or failure).
    static bool setUpEnded() { return IsSkipped() || HasFatalFailure(); }

    std::unique_ptr<BackupMachine> machine;
    std::unique_ptr<BackupDlg> wizard;
    MsgBoxAnswers answers;
    QString imagesDir;
};

}  // namespace backuptest

#endif
