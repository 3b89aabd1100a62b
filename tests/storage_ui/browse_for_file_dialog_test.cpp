// The image file dialog, offscreen, driven with QTest: save and open modes
// over a real NTFS partition file (ntfs-3g), a share of a real local smbd
// with its login prompts, the place menus, and the next-volume mode that
// takes the expected volume from an inserted disc (an ISO file served by
// fuseiso in place of the kernel's iso9660 driver).
#include "wizard/base_msg_dlg.h"
#include "storage_ui/browse_for_file_dialog.h"
#include "storage_ui/filesystem_model.h"
#include "wizard/frame_resources.h"
#include "platform/linux/mount_table.h"
#include "storage/parted_sanitizer_options.h"
#include "storage_ui/password_dialog.h"
#include "storage/places_fixtures.h"
#include "support/samba_server.h"
#include "platform/linux/smb_context.h"
#include "platform/linux/smb_credential_store.h"
#include "platform/linux/smb_filesystem_item.h"
#include "storage/smb_fixtures.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QTreeView>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

using placestest::Bytes;
using testsupport::NtfsFileSpec;
using testsupport::Quote;

const Qt::WindowFlags kFlags(Qt::Dialog);

class BrowseDialogTest : public placestest::PlacesTest {
protected:
    // An NTFS partition file lettered D with images, another file and folders.
    void makeImagePlace()
    {
        if (!testsupport::HaveNtfsTools() || !testsupport::HaveProgram("mount.ntfs"))
            SKIP_OR_FAIL_IN_CI("ntfs-3g is not installed");
        if (!mounttest::FuseUsable() || !testsupport::NtfsMountUsable())
            SKIP_OR_FAIL_IN_CI("no FUSE here: ntfs-3g cannot mount the partition file");
        partition = folder.file("sdz1");
        std::string log;
        ASSERT_TRUE(testsupport::MakeNtfsPartition(partition, 16 << 20, &log)) << log;
        const std::vector<NtfsFileSpec> files = {
            {"images/disk_0_0.bkp", Bytes("volume zero")},
            {"images/notes.txt", Bytes("notes")},
            {"images/old", {}, true},
            {"top_0_0.bkp", Bytes("top")},
        };
        ASSERT_TRUE(testsupport::FillNtfsPartition(partition, folder.file("fill"), files, &log)) << log;
        placeDisk = addDisk(folder.file("sdz").c_str());
        place = addPartition(placeDisk, partition, 'D', "DATA", "ntfs");
    }

    std::unique_ptr<BrowseForFileDialog> newDialog(const QStringList& filters, bool saveMode,
                                                   bool nameReadOnly = false, int disc = -1)
    {
        auto dialog = std::make_unique<BrowseForFileDialog>(nullptr, &filters, saveMode, nameReadOnly, disc,
                                                            kFlags, &prober);
        dialog->show();
        QCoreApplication::processEvents();
        return dialog;
    }

    static QModelIndex find(BrowseForFileDialog& dialog, const QModelIndex& parent, const QString& name)
    {
        QAbstractItemModel* model = dialog.model();
        for (int row = 0; row < model->rowCount(parent); ++row) {
            const QModelIndex index = model->index(row, 0, parent);
            if (index.data().toString() == name)
                return index;
        }
        return QModelIndex();
    }
    static QStringList rowNames(BrowseForFileDialog& dialog, const QModelIndex& parent)
    {
        QStringList names;
        for (int row = 0; row < dialog.model()->rowCount(parent); ++row)
            names << dialog.model()->index(row, 0, parent).data().toString();
        return names;
    }
    // Presses an item with the mouse, opening its ancestors first.
    static void press(BrowseForFileDialog& dialog, const QModelIndex& index,
                      Qt::MouseButton button = Qt::LeftButton)
    {
        QTreeView* tree = dialog.treeView();
        for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
            tree->expand(up);
        tree->scrollTo(index);
        QCoreApplication::processEvents();
        const QPoint at = tree->visualRect(index).center();
        QTest::mousePress(tree->viewport(), button, Qt::NoModifier, at);
        QTest::mouseRelease(tree->viewport(), button, Qt::NoModifier, at);
    }
    static QPushButton* okButton(BrowseForFileDialog& dialog)
    {
        return dialog.findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok);
    }
    static QLineEdit* nameEdit(BrowseForFileDialog& dialog)
    {
        return dialog.findChild<QLineEdit*>("fileNameEdit");
    }

    std::string dataDir() const { return base + "/sdz1"; }
};

TEST_F(BrowseDialogTest, SaveModeGivesTheFolderAndTheTypedNameOnAMountedPartition)
{
    makeImagePlace();
    auto dialog = newDialog({"*.bkp"}, true);
    QSignalSpy accepted(dialog.get(), &QDialog::accepted);
    MsgBoxAnswers answers;
    const QModelIndex d = find(*dialog, QModelIndex(), "DATA (D:)");
    ASSERT_TRUE(d.isValid());
    EXPECT_FALSE(okButton(*dialog)->isEnabled());

    // A file's name is taken; then a folder clears it for the user to type.
    const QModelIndex images = find(*dialog, d, "images");
    ASSERT_EQ(rowNames(*dialog, images), (QStringList{"old", "disk_0_0.bkp"}));
    press(*dialog, find(*dialog, images, "disk_0_0.bkp"));
    EXPECT_TRUE(okButton(*dialog)->isEnabled());
    EXPECT_EQ(dialog->fileName(), "disk_0_0.bkp");
    press(*dialog, images);
    EXPECT_TRUE(okButton(*dialog)->isEnabled());
    EXPECT_TRUE(dialog->fileName().isEmpty());

    // OK without a name says so and keeps the dialog open.
    QTest::mouseClick(okButton(*dialog), Qt::LeftButton);
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_EQ(answers.boxes[0].title, "Error!");
    EXPECT_EQ(answers.boxes[0].message, "You must input a file name as backup file name!");
    EXPECT_EQ(accepted.count(), 0);
    EXPECT_TRUE(dialog->isVisible());

    QTest::keyClicks(nameEdit(*dialog), "monday");
    QTest::mouseClick(okButton(*dialog), Qt::LeftButton);
    EXPECT_EQ(accepted.count(), 1);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->selectedData(FilesystemModel::PathRole).toStdString(), dataDir() + "/images");
    EXPECT_EQ(dialog->selectedData(FilesystemModel::DevicePathRole).toStdString(), partition);
    EXPECT_EQ(dialog->filePath().toStdString(), dataDir() + "/images/monday");
    EXPECT_TRUE(MountTable::isMountOf(dataDir().c_str(), partition.c_str()));
}

TEST_F(BrowseDialogTest, OkOnAPlaceNotOpenedYetOpensItInsteadOfRefusingIt)
{
    makeImagePlace();
    auto dialog = newDialog({"*.bkp"}, true);
    QSignalSpy accepted(dialog.get(), &QDialog::accepted);
    MsgBoxAnswers answers;
    const QModelIndex d = find(*dialog, QModelIndex(), "DATA (D:)");
    ASSERT_TRUE(d.isValid());
    // Pressed without opening it: the row is a place, OK is offered.
    dialog->treeView()->setCurrentIndex(d);
    press(*dialog, d);
    ASSERT_TRUE(okButton(*dialog)->isEnabled());
    QTest::keyClicks(nameEdit(*dialog), "tuesday");
    QTest::mouseClick(okButton(*dialog), Qt::LeftButton);
    EXPECT_TRUE(answers.boxes.isEmpty()) << answers.boxes.value(0).message.toStdString();
    EXPECT_EQ(accepted.count(), 1);
    EXPECT_EQ(dialog->filePath().toStdString(), dataDir() + "/tuesday");
}

TEST_F(BrowseDialogTest, ShownAgainItListsAnImageMadeSince)
{
    makeImagePlace();
    auto dialog = newDialog({"*.bkp"}, false);
    const QModelIndex d = find(*dialog, QModelIndex(), "DATA (D:)");
    ASSERT_TRUE(d.isValid());
    ASSERT_EQ(rowNames(*dialog, find(*dialog, d, "images")), (QStringList{"old", "disk_0_0.bkp"}));
    dialog->hide();
    // A backup writes a new image into the open place meanwhile.
    QFile made(QString::fromStdString(dataDir() + "/images/new_0_0.bkp"));
    ASSERT_TRUE(made.open(QIODevice::WriteOnly));
    made.write("new");
    made.close();
    dialog->show();
    QCoreApplication::processEvents();
    const QModelIndex again = find(*dialog, QModelIndex(), "DATA (D:)");
    ASSERT_TRUE(again.isValid());
    EXPECT_EQ(rowNames(*dialog, find(*dialog, again, "images")),
              (QStringList{"old", "disk_0_0.bkp", "new_0_0.bkp"}));
}

TEST_F(BrowseDialogTest, SaveModeRefusesANameThatWouldLeaveTheChosenFolder)
{
    makeImagePlace();
    auto dialog = newDialog({"*.bkp"}, true);
    QSignalSpy accepted(dialog.get(), &QDialog::accepted);
    MsgBoxAnswers answers;
    press(*dialog, find(*dialog, find(*dialog, QModelIndex(), "DATA (D:)"), "images"));
    QTest::keyClicks(nameEdit(*dialog), "../../etc/x");
    QTest::mouseClick(okButton(*dialog), Qt::LeftButton);
    EXPECT_EQ(accepted.count(), 0);
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_EQ(answers.boxes[0].iconPath, ":images/MsgIcon_Stop.png");
}

// A caller's caption replaces the one named after the filter and stays when
// the dialog goes back to browsing.
TEST_F(BrowseDialogTest, ACallersCaptionReplacesTheFiltersOne)
{
    auto dialog = newDialog({"*.none"}, true);
    auto* caption = dialog->findChild<QLabel*>("captionLabel");
    EXPECT_EQ(caption->text(), "Please select a file like *.none");
    dialog->setCaption(QStringLiteral("Please select a folder"));
    EXPECT_EQ(caption->text(), "Please select a folder");
    QMetaObject::invokeMethod(dialog.get(), "browseOtherLocation");
    EXPECT_EQ(caption->text(), "Please select a folder");
}

TEST_F(BrowseDialogTest, OpenModeReturnsAnExistingImageAndRefusesAFolder)
{
    makeImagePlace();
    auto dialog = newDialog({"*.bkp"}, false);
    QSignalSpy accepted(dialog.get(), &QDialog::accepted);
    MsgBoxAnswers answers;
    EXPECT_TRUE(nameEdit(*dialog)->isReadOnly());
    EXPECT_EQ(dialog->findChild<QLabel*>("captionLabel")->text(), "Please select a file like *.bkp");
    const QModelIndex d = find(*dialog, QModelIndex(), "DATA (D:)");
    const QModelIndex images = find(*dialog, d, "images");
    const QModelIndex image = find(*dialog, images, "disk_0_0.bkp");
    EXPECT_FALSE(find(*dialog, images, "notes.txt").isValid()) << "filtered by *.bkp";

    press(*dialog, images);
    EXPECT_FALSE(okButton(*dialog)->isEnabled());
    EXPECT_TRUE(dialog->fileName().isEmpty());

    press(*dialog, image);
    EXPECT_TRUE(okButton(*dialog)->isEnabled());
    EXPECT_EQ(dialog->fileName(), "disk_0_0.bkp");

    // The keyboard moves the selection to a folder without a press: OK
    // checks the choice again and refuses the folder.
    dialog->treeView()->selectionModel()->select(images, QItemSelectionModel::ClearAndSelect |
                                                             QItemSelectionModel::Rows);
    QTest::mouseClick(okButton(*dialog), Qt::LeftButton);
    EXPECT_EQ(accepted.count(), 0);
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_EQ(answers.boxes[0].message, "Please select a backup image file!");

    press(*dialog, image);
    QTest::mouseClick(okButton(*dialog), Qt::LeftButton);
    EXPECT_EQ(accepted.count(), 1);
    const QString path = dialog->selectedData(FilesystemModel::PathRole);
    EXPECT_EQ(path.toStdString(), dataDir() + "/images/disk_0_0.bkp");
    EXPECT_EQ(testsupport::ReadFileBytes(path.toStdString()), Bytes("volume zero"));
}

TEST_F(BrowseDialogTest, OnlyAnOpticalDriveOffersEjectOnARightClick)
{
    makeImagePlace();
    DiskRecord* drive = addDisk(folder.file("sr0").c_str(), DiskKindOptical, 0, 1);
    PartitionRecord* disc = addPartition(drive, folder.file("sr0"), 'F', nullptr, nullptr, drive->rdev);
    auto dialog = newDialog({"*.bkp"}, false);
    QMenu* menu = dialog->contextMenu();

    press(*dialog, find(*dialog, QModelIndex(), "DATA (D:)"), Qt::RightButton);
    EXPECT_FALSE(menu->isVisible());

    press(*dialog, find(*dialog, QModelIndex(), "CD ROM (F:)"), Qt::RightButton);
    EXPECT_TRUE(menu->isVisible());
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions()[0], dialog->ejectAction());
    EXPECT_EQ(dialog->ejectAction()->text(), "Eject CD-ROM");
    EXPECT_EQ(dialog->ejectAction()->data().toULongLong(), disc->rdev);
    menu->hide();

    // The save mode lists no optical drive.
    auto save = newDialog({"*.bkp"}, true);
    EXPECT_FALSE(find(*save, QModelIndex(), "CD ROM (F:)").isValid());
}

TEST_F(BrowseDialogTest, CancelClosesWithRejectedAndNoAcceptedSignal)
{
    // A wizard page shows its dialog again and again; an earlier OK must
    // not make a later Cancel read as accepted.
    auto dialog = newDialog({"*.bkp"}, true);
    dialog->setResult(QDialog::Accepted);
    QSignalSpy accepted(dialog.get(), &QDialog::accepted);
    QPushButton* cancel = dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Cancel);
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(accepted.count(), 0);

    // A modal run ends with Rejected too.
    QTimer::singleShot(0, cancel, [cancel] { QTest::mouseClick(cancel, Qt::LeftButton); });
    EXPECT_EQ(dialog->exec(), QDialog::Rejected);
}

TEST_F(BrowseDialogTest, ChoosingAnExistingFileNeverAsksToTypeANameAndEveryColumnFitsItsTexts)
{
    makeImagePlace();
    if (HasFatalFailure() || IsSkipped())
        return;
    place->usedSectors = 8192;
    // The incremental backup's base is picked, not typed.
    auto dialog = newDialog({"*.bkp"}, true, true);
    EXPECT_EQ(dialog->findChild<QLabel*>("fileLabel")->text(), "File name you select:");
    EXPECT_EQ(dialog->findChild<QLabel*>("selectLabel")->text(), "Select a backup image file (*.bkp)");
    EXPECT_TRUE(nameEdit(*dialog)->isReadOnly());

    dialog->resize(800, 600);
    const QModelIndex d = find(*dialog, QModelIndex(), "DATA (D:)");
    ASSERT_TRUE(d.isValid());
    const QModelIndex images = find(*dialog, d, "images");
    const QModelIndex volume = find(*dialog, images, "disk_0_0.bkp");
    ASSERT_TRUE(volume.isValid());
    press(*dialog, volume);
    EXPECT_EQ(nameEdit(*dialog)->text(), "disk_0_0.bkp");
    QCoreApplication::processEvents();

    QTreeView* tree = dialog->treeView();
    QHeaderView* header = tree->header();
    const QFontMetrics headerFont(header->font());
    for (int column = 0; column < dialog->model()->columnCount(); ++column) {
        const QString title = dialog->model()->headerData(column, Qt::Horizontal).toString();
        EXPECT_GE(header->sectionSize(column), headerFont.horizontalAdvance(title)) << title.toStdString();
        EXPECT_GE(header->sectionSize(column),
                  static_cast<QAbstractItemView*>(tree)->sizeHintForColumn(column))
            << title.toStdString();
    }
    // The place's row tells its size and its free space.
    EXPECT_FALSE(d.sibling(d.row(), FilesystemModel::SizeColumn).data().toString().isEmpty());
    EXPECT_FALSE(d.sibling(d.row(), FilesystemModel::FreeColumn).data().toString().isEmpty());
}

TEST_F(BrowseDialogTest, TheDialogAndItsPromptSpeakChineseWithTheConsolesCatalogue)
{
    initRescueFrame();
    QTranslator chinese;
    ASSERT_TRUE(chinese.load(frameCatalogPath()));
    QCoreApplication::installTranslator(&chinese);
    {
        auto dialog = newDialog({"*.bkp"}, false);
        EXPECT_EQ(dialog->findChild<QLabel*>("fileLabel")->text(), QString::fromUtf8("您选择的文件名："));
        EXPECT_EQ(dialog->ejectAction()->text(), QString::fromUtf8("弹出光盘"));
        // Qt's own catalogue is not installed here (LANG unset or zh_CN
        // without it): the buttons carry our texts.
        auto* box = dialog->findChild<QDialogButtonBox*>("buttonBox");
        EXPECT_EQ(box->button(QDialogButtonBox::Ok)->text(), QString::fromUtf8("确定"));
        EXPECT_EQ(box->button(QDialogButtonBox::Cancel)->text(), QString::fromUtf8("取消"));
        EXPECT_EQ(dialog->model()->index(dialog->model()->rowCount() - 1, 0).data().toString(),
                  QString::fromUtf8("网络"));
        PasswordDialog prompt(nullptr, false, PasswordDialog::PasswordField, QString(),
                              passwordDialogFlags());
        EXPECT_EQ(prompt.messageText(), QString::fromUtf8("密码无效，请重试。"));
    }
    QCoreApplication::removeTranslator(&chinese);
}

// ------------------------------------------------------------ next volume

class NextVolumeTest : public BrowseDialogTest {
protected:
    void SetUp() override
    {
        for (const char* program : {"genisoimage", "fuseiso"})
            REQUIRE_PROGRAM(program);
        if (!mounttest::FuseUsable())
            SKIP_OR_FAIL_IN_CI("no FUSE here: fuseiso cannot mount");
        makeImagePlace();
        if (HasFatalFailure() || IsSkipped())
            return;
        iso = folder.file("sr0");
        drive = addDisk(iso.c_str(), DiskKindOptical, 0, 1);
        disc = addPartition(drive, iso, 'F', nullptr, nullptr, drive->rdev);
        // No iso9660 driver here: the system call is served by fuseiso.
        MountTable::instance()->setSystemMount(
            [](const char* source, const char* target, const char* type, unsigned long, const void*) {
                if (std::strcmp(type, "iso9660") != 0) {
                    errno = EINVAL;
                    return -1;
                }
                const auto run = testsupport::Run("fuseiso -n " + Quote(source) + " " + Quote(target) +
                                                  " -o fsname=" + Quote(source));
                errno = EIO;
                return run.exitCode == 0 ? 0 : -1;
            });
    }
    void TearDown() override { MountTable::instance()->setSystemMount(nullptr); }

    void burn(const std::string& name)
    {
        const std::string tree = folder.file("disc-" + name);
        testsupport::Run("mkdir -p " + Quote(tree));
        testsupport::WriteFileBytes(tree + "/" + name, Bytes("volume one"));
        const auto made =
            testsupport::Run("genisoimage -quiet -J -R -V DISC -o " + Quote(iso) + " " + Quote(tree));
        ASSERT_EQ(made.exitCode, 0) << made.output;
    }

    std::string iso;
    DiskRecord* drive = nullptr;
    PartitionRecord* disc = nullptr;
};

TEST_F(NextVolumeTest, ADiscWithTheExpectedVolumeIsTakenAtOnceAndTheTreeListsEveryMedium)
{
    burn("disk_0_1.bkp");
    auto dialog = newDialog({"disk_0_1.bkp"}, false, true, 1);
    QSignalSpy accepted(dialog.get(), &QDialog::accepted);
    EXPECT_EQ(dialog->findChild<QLabel*>("captionLabel")->text(), "Please insert next disc 1");
    EXPECT_TRUE(dialog->treeView()->isVisible());
    EXPECT_EQ(rowNames(*dialog, QModelIndex()), (QStringList{"DATA (D:)", "CD ROM (F:)", "Network"}));

    emit prober.oddStatusChanged(disc->rdev, 4);
    ASSERT_EQ(accepted.count(), 1);
    const std::string volume = base + "/sr0/disk_0_1.bkp";
    EXPECT_EQ(dialog->selectedData(FilesystemModel::PathRole).toStdString(), volume);
    EXPECT_EQ(dialog->selectedData(FilesystemModel::DevicePathRole).toStdString(), iso);
    EXPECT_EQ(dialog->fileName(), "disk_0_1.bkp");
    EXPECT_EQ(testsupport::ReadFileBytes(volume), Bytes("volume one"));

    // Later changes of the drive no longer reach the dialog, and the volume
    // stays readable after the dialog is gone, for the engine to open.
    emit prober.oddStatusChanged(disc->rdev, 4);
    EXPECT_EQ(accepted.count(), 1);
    dialog.reset();
    EXPECT_EQ(testsupport::ReadFileBytes(volume), Bytes("volume one"));
    MountTable::instance()->unmount(iso.c_str());
}

TEST_F(NextVolumeTest, ADiscWithoutTheVolumeIsLetGoAndAVolumeElsewhereCanBePicked)
{
    burn("other_0_1.bkp");
    auto dialog = newDialog({"disk_0_1.bkp"}, false, true, 1);
    QSignalSpy accepted(dialog.get(), &QDialog::accepted);
    emit prober.oddStatusChanged(disc->rdev, 4);
    EXPECT_EQ(accepted.count(), 0);
    EXPECT_FALSE(mounttest::IsMountPoint(base + "/sr0")) << "unmounted before the eject";

    // The volume can come from any place of the tree instead.
    const QModelIndex top = find(*dialog, find(*dialog, QModelIndex(), "DATA (D:)"), "top_0_0.bkp");
    EXPECT_FALSE(top.isValid()) << "only the expected name is listed";
    dialog.reset();
}

// ------------------------------------------------------------ SMB shares

class ShareDialogTest : public BrowseDialogTest {
protected:
    static void SetUpTestSuite()
    {
        placestest::PlacesTest::SetUpTestSuite();
        server = smbtest::startSuiteServer(&whyNot);
        if (!server)
            return;
        testsupport::Run("mkdir -p " + Quote(server->publicDir() + "/sub"));
        testsupport::WriteFileBytes(server->publicDir() + "/sub/net_0_0.bkp", Bytes("net"));
        testsupport::WriteFileBytes(server->privateDir() + "/secret_0_0.bkp", Bytes("secret"));
        testsupport::Run("chmod -R a+rX " + Quote(server->publicDir()) + " " + Quote(server->privateDir()));
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        if (!server)
            SKIP_OR_FAIL_IN_CI("no local Samba server: " << whyNot);
        ASSERT_NE(smbContext(), nullptr);
        smbtest::freshSmbClient();
        // Workgroup browsing cannot run on loopback: the local server stands
        // where the network node would be.
        SMBFilesystemItem::installAsNetworkNode();
        RootFilesystemItem::setNetworkItemFactory(
            [](const WildcardFilters* filters, IFilesystemItem* parent) -> IFilesystemItem* {
                return new SMBFilesystemItem(IFilesystemItem::ServerType, "127.0.0.1", 0, filters, parent);
            });
        fake.add("nmblookup", "echo '127.0.0.1 LOCALHOST<00>'\n");
        fake.add("mount.cifs", "echo \"$*\" >> " + Quote(fake.file("runs")) + "\n");
        fake.add("umount", "exit 0\n");
    }
    void TearDown() override { PasswordDialog::setExecHook(nullptr); }

    // Answers every prompt with the next login, recording its message.
    void answerPrompts(std::vector<std::pair<QString, QString>> logins)
    {
        PasswordDialog::setExecHook([this, logins](PasswordDialog& prompt) {
            prompts.push_back(prompt.messageText());
            if (prompts.size() > logins.size())
                return int(QDialog::Rejected);
            const auto& login = logins[prompts.size() - 1];
            prompt.findChild<QLineEdit*>("userEdit")->setText(login.first);
            prompt.findChild<QLineEdit*>("passwordEdit")->setText(login.second);
            return int(QDialog::Accepted);
        });
    }
    static void settle()
    {
        for (int i = 0; i < 10; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    static testsupport::SambaServer* server;
    static std::string whyNot;
    smbtest::FakePrograms fake;
    std::vector<QString> prompts;
};

testsupport::SambaServer* ShareDialogTest::server = nullptr;
std::string ShareDialogTest::whyNot;

TEST_F(ShareDialogTest, SaveModeGivesAShareFolderAndNeverTheServer)
{
    auto dialog = newDialog({"*.bkp"}, true);
    QSignalSpy accepted(dialog.get(), &QDialog::accepted);
    MsgBoxAnswers answers;
    const QModelIndex srv = find(*dialog, QModelIndex(), "127.0.0.1");
    ASSERT_TRUE(srv.isValid());
    EXPECT_EQ(rowNames(*dialog, srv), (QStringList{"public", "private"}));

    // A server is no place for a file.
    press(*dialog, srv);
    EXPECT_FALSE(okButton(*dialog)->isEnabled());
    QTest::keyClicks(nameEdit(*dialog), "monday");
    dialog->treeView()->selectionModel()->select(srv, QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
    dialog->accept();
    EXPECT_EQ(accepted.count(), 0);
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_EQ(answers.boxes[0].message, "Please select a partition, a folder or a network share!");
    EXPECT_TRUE(dialog->selectedData(FilesystemModel::PathRole).isEmpty());

    const QModelIndex sub = find(*dialog, find(*dialog, srv, "public"), "sub");
    ASSERT_TRUE(sub.isValid());
    EXPECT_EQ(rowNames(*dialog, sub), QStringList{"net_0_0.bkp"});
    press(*dialog, sub);
    EXPECT_TRUE(okButton(*dialog)->isEnabled());
    QTest::keyClicks(nameEdit(*dialog), "monday");
    QTest::mouseClick(okButton(*dialog), Qt::LeftButton);
    ASSERT_EQ(accepted.count(), 1);
    const std::string shareDir = base + "/127.0.0.1_public";
    EXPECT_EQ(dialog->filePath().toStdString(), shareDir + "/sub/monday");
    EXPECT_EQ(testsupport::Run("cat " + Quote(fake.file("runs"))).output,
              "//127.0.0.1/public " + shareDir + " -o user=guest%\n");
}

TEST_F(ShareDialogTest, AUserShareAsksUntilTheRightLoginListsIt)
{
    answerPrompts({{QString::fromStdString(server->userName()), "wrong"},
                   {QString::fromStdString(server->userName()), testsupport::SambaServer::kPassword}});
    auto dialog = newDialog({"*.bkp"}, false);
    const QModelIndex srv = find(*dialog, QModelIndex(), "127.0.0.1");
    dialog->treeView()->expand(srv);
    settle();
    const QModelIndex share = find(*dialog, srv, "private");
    dialog->treeView()->expand(share);
    settle();
    ASSERT_EQ(prompts.size(), 2u);
    EXPECT_EQ(prompts[0], "Please enter the password.");
    EXPECT_EQ(prompts[1], "Invalid password. Try again.");
    EXPECT_EQ(rowNames(*dialog, share), QStringList{"secret_0_0.bkp"});
    EXPECT_TRUE(dialog->treeView()->isExpanded(share));
    EXPECT_EQ(SmbCredentialStore::instance()->state("//127.0.0.1/private"),
              SmbCredentialStore::AuthConfirmed);
}

TEST_F(ShareDialogTest, ACancelledPromptClosesTheShareAndOpeningItAgainAsksAgain)
{
    answerPrompts({});  // every prompt is cancelled
    auto dialog = newDialog({"*.bkp"}, false);
    const QModelIndex srv = find(*dialog, QModelIndex(), "127.0.0.1");
    dialog->treeView()->expand(srv);
    settle();
    const QModelIndex share = find(*dialog, srv, "private");
    dialog->treeView()->expand(share);
    settle();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_FALSE(dialog->treeView()->isExpanded(share));
    EXPECT_EQ(SmbCredentialStore::instance()->state("//127.0.0.1/private"),
              SmbCredentialStore::AuthCancelled);

    dialog->treeView()->expand(share);
    settle();
    ASSERT_EQ(prompts.size(), 2u);
    EXPECT_EQ(prompts[1], "Please enter the password.") << "a fresh start";
}

TEST_F(ShareDialogTest, AProbeThatRebuildsTheTreeWhileThePromptIsOpenFreesNoNodeInUse)
{
    auto dialog = newDialog({"*.bkp"}, false);
    // A full probe ends while the user types: the model drops every node,
    // the refused share among them.
    PasswordDialog::setExecHook([&dialog, this](PasswordDialog& prompt) {
        prompts.push_back(prompt.messageText());
        emit prober.probeFinished();
        prompt.findChild<QLineEdit*>("userEdit")->setText(QString::fromStdString(server->userName()));
        prompt.findChild<QLineEdit*>("passwordEdit")->setText(testsupport::SambaServer::kPassword);
        return int(QDialog::Accepted);
    });
    const QModelIndex srv = find(*dialog, QModelIndex(), "127.0.0.1");
    dialog->treeView()->expand(srv);
    settle();
    dialog->treeView()->expand(find(*dialog, srv, "private"));
    settle();
    ASSERT_EQ(prompts.size(), 1u);
    // The login was kept; opening the share in the new tree lists it.
    const QModelIndex newServer = find(*dialog, QModelIndex(), "127.0.0.1");
    const QModelIndex share = find(*dialog, newServer, "private");
    ASSERT_TRUE(share.isValid());
    EXPECT_EQ(rowNames(*dialog, share), QStringList{"secret_0_0.bkp"});
    EXPECT_EQ(prompts.size(), 1u);
}

TEST_F(ShareDialogTest, ALoginThatKeepsFailingEndsAfterThreePromptsWithAMessage)
{
    answerPrompts({{"nobody", "a"}, {"nobody", "b"}, {"nobody", "c"}, {"nobody", "d"}});
    auto dialog = newDialog({"*.bkp"}, false);
    MsgBoxAnswers answers;
    const QModelIndex srv = find(*dialog, QModelIndex(), "127.0.0.1");
    dialog->treeView()->expand(srv);
    settle();
    const QModelIndex share = find(*dialog, srv, "private");
    dialog->treeView()->expand(share);
    settle();
    EXPECT_EQ(prompts.size(), 3u);
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_EQ(answers.boxes[0].title, "Error!");
    EXPECT_EQ(dialog->model()->rowCount(share), 0);
}

TEST_F(ShareDialogTest, TheServerMenuStoresALoginForTheWholeServer)
{
    answerPrompts({{"anna", "secret"}});
    auto dialog = newDialog({"*.bkp"}, false);
    const QModelIndex srv = find(*dialog, QModelIndex(), "127.0.0.1");
    press(*dialog, srv, Qt::RightButton);
    ASSERT_TRUE(dialog->contextMenu()->isVisible());
    ASSERT_EQ(dialog->contextMenu()->actions().size(), 1);
    QAction* action = dialog->contextMenu()->actions()[0];
    EXPECT_EQ(action->text(), "Connect using username and password");
    action->trigger();
    EXPECT_EQ(prompts.size(), 1u);
    EXPECT_EQ(action->data().toString(), "//127.0.0.1");
    QString user, password;
    ASSERT_TRUE(SmbCredentialStore::instance()->credentials("//127.0.0.1", &user, &password));
    EXPECT_EQ(user, "anna");
    EXPECT_EQ(password, "secret");
    EXPECT_EQ(SmbCredentialStore::instance()->state("//127.0.0.1"), SmbCredentialStore::AuthStored);
    dialog->contextMenu()->hide();
}

}  // namespace
