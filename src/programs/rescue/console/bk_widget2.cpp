#include "programs/rescue/console/bk_widget2.h"

#include "jobs/backup_rules.h"
#include "storage_ui/browse_for_file_dialog.h"
#include "platform/linux/device_prober.h"
#include "platform/linux/device_records.h"
#include "platform/linux/mount_table.h"
#include "storage_ui/filesystem_model.h"
#include "wizard/page_style.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMutexLocker>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <sys/statvfs.h>

namespace {

// The dialogs' window: frameless, modal, over the wizard.
const Qt::WindowFlags kDialogFlags(0xB003);

}  // namespace

BkWidget2::BkWidget2(QWidget* parent) : QWidget(parent)
{
    resize(PageStyle::kPageWidth, PageStyle::kPageHeight);
    PageStyle::newTitle(this, tr("Target backup archive"));
    PageStyle::newText(this, tr("Backup location:"), QRect(20, 60, 200, 26));
    m_hintLabel = PageStyle::newText(this, QString(), QRect(20, 95, 490, 110));
    m_hintLabel->setWordWrap(true);
    m_hintLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    PageStyle::newText(this, tr("Backup type"), QRect(20, 225, 150, 26));
    m_typeCombo = new QComboBox(this);
    m_typeCombo->setObjectName(QStringLiteral("backupTypeCombo"));
    m_typeCombo->setGeometry(180, 225, 250, 26);
    m_fileNameEdit = new QLineEdit(this);
    m_fileNameEdit->setObjectName(QStringLiteral("imageNameEdit"));
    m_fileNameEdit->setAccessibleName(tr("Where the image goes"));
    m_fileNameEdit->setGeometry(20, 275, 380, 30);
    m_fileNameEdit->setReadOnly(true);
    m_browseButton = new QPushButton(tr("Browse"), this);
    m_browseButton->setObjectName(QStringLiteral("browseButton"));
    m_browseButton->setGeometry(410, 275, 100, 30);

    const QStringList imageFilter{QStringLiteral("*.bkp")};
    m_incrementalDialog = new BrowseForFileDialog(this, &imageFilter, true, true, -1, kDialogFlags);
    m_incrementalDialog->setModal(true);
    // No image matches this filter, so the full backup's dialog offers folders only.
    const QStringList folderFilter{QStringLiteral("*.none_sorvik")};
    m_fullDialog = new BrowseForFileDialog(this, &folderFilter, true, false, -1, kDialogFlags);
    m_fullDialog->setModal(true);
    // Its own caption would name the filter that hides every file.
    m_fullDialog->setCaption(tr("Please select a folder and type a name for the backup image"));

    connect(m_browseButton, &QPushButton::clicked, m_fullDialog, &QWidget::show);
    connect(m_incrementalDialog, &QDialog::accepted, this, &BkWidget2::acceptBackupFile);
    connect(m_fullDialog, &QDialog::accepted, this, &BkWidget2::acceptBackupFileFull);
    connect(m_typeCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &BkWidget2::backupTypeChanged);
    m_typeCombo->addItems({tr("Full backup"), tr("Incremental backup")});
}

BkWidget2::~BkWidget2() = default;

void BkWidget2::clearSelection()
{
    m_fileNameEdit->clear();
    m_imagePath.clear();
    m_prevImage.clear();
    m_destPath.clear();
    m_destFsName.clear();
    m_destShare.clear();
    m_destFreeBytes = 0;
    m_fullBackup = 1;
}

void BkWidget2::recvPartType(int type)
{
    m_typeCombo->clear();
    if (type != 0)
        m_typeCombo->addItem(tr("Full backup"));
    else
        m_typeCombo->addItems({tr("Full backup"), tr("Incremental backup")});
}

void BkWidget2::backupTypeChanged(int index)
{
    clearSelection();
    disconnect(m_browseButton, &QPushButton::clicked, nullptr, nullptr);
    if (index == 1) {
        m_hintLabel->setText(tr("If you want to make an incremental backup, click \"Browse\" and "
                                "select an existing backup file!"));
        showOnBrowse(m_incrementalDialog);
    } else {
        m_hintLabel->setText(tr("If you want to make a full backup of a partition, click \"Browse\", "
                                "select a folder and type the name you want to give your backup!"));
        showOnBrowse(m_fullDialog);
    }
}

void BkWidget2::showOnBrowse(BrowseForFileDialog* dialog)
{
    connect(m_browseButton, &QPushButton::clicked, dialog, &QWidget::show);
}

BkWidget2::Choice BkWidget2::choiceOf(const BrowseForFileDialog* dialog)
{
    return {dialog->selectedData(FilesystemModel::PathRole),
            dialog->selectedData(FilesystemModel::DevicePathRole), dialog->fileName(),
            shareOfWindowsPath(dialog->selectedData(FilesystemModel::WindowsPathRole))};
}

void BkWidget2::acceptBackupFileFull()
{
    takeFullChoice(choiceOf(m_fullDialog));
}

void BkWidget2::acceptBackupFile()
{
    takeIncrementalChoice(choiceOf(m_incrementalDialog));
}

void BkWidget2::takeFullChoice(const Choice& choice)
{
    m_fileNameEdit->clear();
    m_destFreeBytes = 0;
    m_destPath = choice.device;
    if (!QFileInfo(choice.path).isDir())
        return;
    m_imagePath = QStringLiteral("%1%2%3").arg(choice.path, QStringLiteral("/"), choice.fileName);
    m_fileNameEdit->setText(placeText(choice.device, choice.path, choice.share, choice.fileName));
    m_prevImage.clear();
    m_fullBackup = 1;
    takeDestination(choice.device, choice.path, choice.share);
}

void BkWidget2::takeIncrementalChoice(const Choice& choice)
{
    m_fileNameEdit->clear();
    m_destFreeBytes = 0;
    m_destPath = choice.device;
    const QFileInfo chosen(choice.path);
    QString shownName;
    if (!chosen.isDir()) {
        const QString name = choice.fileName;
        if (!name.endsWith(QLatin1String(".bkp"))) {
            QMessageBox::critical(this, tr("Error"), tr("The file you selected is not a valid backup file!"),
                                  QMessageBox::Ok);
            return;
        }
        m_imagePath = chosen.absolutePath() + QLatin1Char('/') + BackupRules::imageBaseOfFile(name);
        m_prevImage = choice.path;
        m_fullBackup = 0;
        shownName = name;
    }
    const QString folder = chosen.isDir() ? choice.path : chosen.absolutePath();
    takeDestination(choice.device, folder, choice.share);
    if (!shownName.isEmpty())
        m_fileNameEdit->setText(placeText(choice.device, folder, choice.share, shownName));
}

QString BkWidget2::placeText(const QString& device, const QString& folder, const QString& share,
                             const QString& name)
{
    if (device.isEmpty())
        return tr("%1 in %2 on %3").arg(name, folder, share.isEmpty() ? folder : share);
    // The partition as the trees show it: its label and drive letter.
    QString label;
    char letter = 0;
    DeviceProber* prober = DeviceProber::instance();
    const QByteArray devicePath = QFile::encodeName(device);
    {
        const DiskList disks = prober->snapshot();
        if (const PartitionRecord* part = disks.partitionByPath(devicePath.constData())) {
            label = QString::fromUtf8(part->label ? part->label : "");
            letter = part->letter;
        }
    }
    QString partition = label.isEmpty() ? device : label;
    if (letter >= 'C' && letter <= 'Z')
        partition += QStringLiteral(" (%1:)").arg(QChar::fromLatin1(letter));
    // The folder as seen from the partition's root, not from where the
    // console happens to mount it.
    QString inside = folder;
    if (const char* mount = MountTable::instance()->mountedDirectory(devicePath.constData())) {
        const QString root = QDir::cleanPath(QFile::decodeName(mount));
        const QString clean = QDir::cleanPath(folder);
        if (clean == root)
            inside = QStringLiteral("/");
        else if (clean.startsWith(root + QLatin1Char('/')))
            inside = clean.mid(root.size());
    }
    return tr("%1 in %2 on %3").arg(name, inside, partition);
}

void BkWidget2::takeDestination(const QString& device, const QString& folder, const QString& share)
{
    m_destShare = device.isEmpty() ? share : QString();
    if (device.isEmpty()) {
        // An SMB share: its file system is not known here, its free space is.
        m_destFsName.clear();
        m_destFreeBytes = folderFreeBytes(folder);
        return;
    }
    DeviceProber* prober = DeviceProber::instance();
    m_destFsName = prober->partitionFsName(device);
    m_destFreeBytes = static_cast<quint64>(qMax<qint64>(0, prober->partitionFreeBytes(device)));
}

quint64 BkWidget2::folderFreeBytes(const QString& folder)
{
    struct statvfs stats;
    if (folder.isEmpty() || statvfs(QFile::encodeName(folder).constData(), &stats) != 0)
        return 0;
    return quint64(stats.f_bavail) * quint64(stats.f_frsize);
}

QString BkWidget2::shareOfWindowsPath(const QString& windowsPath)
{
    if (!windowsPath.startsWith(QLatin1String("\\\\")))
        return QString();
    const QStringList names = windowsPath.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (names.size() < 2)
        return QString();
    return QStringLiteral("//%1/%2").arg(names[0], names[1]);
}
