#include "programs/rescue/console/rt_widget1.h"

#include "jobs/drive_name_text.h"
#include "wizard/base_msg_dlg.h"
#include "storage_ui/browse_for_file_dialog.h"
#include "storage_ui/filesystem_model.h"
#include "programs/rescue/console/image_head_info.h"
#include "quarn/api/image_format.h"
#include "jobs/image_trailer.h"
#include "jobs/job_messages.h"
#include "wizard/page_style.h"
#include "jobs/size_text.h"

#include <QShowEvent>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

namespace {

const char kStopIcon[] = ":images/MsgIcon_Stop.png";

QString fsTypeText(int fsCode)
{
    switch (fsCode) {
    case 4:
        return QStringLiteral("NTFS");
    case 3:
        return QStringLiteral("FAT32");
    case 2:
        return QStringLiteral("FAT16");
    default:
        return QStringLiteral("UNKNOWN");
    }
}

}  // namespace

RtWidget1::RtWidget1(QWidget* parent) : QWidget(parent)
{
    setFixedSize(PageStyle::kPageWidth, PageStyle::kPageHeight);
    m_titleLabel = new QLabel(tr("Select images"), this);
    m_titleLabel->setObjectName(QStringLiteral("titleLabel"));
    m_titleLabel->setStyleSheet(PageStyle::titleStyle());
    m_titleLabel->setGeometry(10, 5, 510, 32);

    m_fileNameEdit = new QLineEdit(this);
    m_fileNameEdit->setObjectName(QStringLiteral("fileNameEdit"));
    m_fileNameEdit->setAccessibleName(tr("Image file"));
    m_fileNameEdit->setReadOnly(true);
    m_fileNameEdit->setStyleSheet(PageStyle::editStyle());
    m_fileNameEdit->setGeometry(10, 45, 390, 34);
    m_browseButton = new QPushButton(tr("Browse"), this);
    m_browseButton->setObjectName(QStringLiteral("m_browseButton"));
    m_browseButton->setGeometry(410, 45, 110, 34);
    connect(m_browseButton, &QPushButton::clicked, this, &RtWidget1::showFileDialog);

    m_infoLabel = new QLabel(tr("Image info"), this);
    m_infoLabel->setObjectName(QStringLiteral("infoLabel"));
    m_infoLabel->setStyleSheet(PageStyle::bodyStyle());
    m_infoLabel->setGeometry(10, 90, 510, 28);

    m_treeWidget = new QTreeWidget(this);
    m_treeWidget->setObjectName(QStringLiteral("treeWidget"));
    m_treeWidget->setAccessibleName(tr("Image info"));
    m_treeWidget->setStyleSheet(PageStyle::treeStyle());
    m_treeWidget->setGeometry(10, 122, 510, 124);
    m_treeWidget->setColumnCount(6);
    m_treeWidget->setHeaderLabels(
        {tr("Disk"), tr("Partition"), tr("Flags"), tr("Capacity"), tr("Used space"), tr("Type")});
    PageStyle::fitPartitionColumns(m_treeWidget->header());

    m_factsLabel = new QLabel(this);
    m_factsLabel->setObjectName(QStringLiteral("factsLabel"));
    // Room for the five lines of facts above the wizard's buttons; the tree
    // above keeps room for a disk and its rows.
    m_factsLabel->setStyleSheet(PageStyle::factsStyle());
    m_factsLabel->setWordWrap(true);
    m_factsLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_factsLabel->setGeometry(10, 252, 510, 112);

    const QStringList filter{QStringLiteral("*.bkp")};
    m_fileDialog = new BrowseForFileDialog(this, &filter, false, false, -1, Qt::WindowFlags(0xB003));
    m_fileDialog->setModal(true);
    connect(m_fileDialog, &QDialog::accepted, this, &RtWidget1::acceptBackupFile);
}

RtWidget1::~RtWidget1() = default;

bool RtWidget1::isPartitionChecked() const
{
    return m_partItem && m_partItem->checkState(1) == Qt::Checked;
}

bool RtWidget1::isMbrChecked() const
{
    return m_mbrItem && m_mbrItem->checkState(1) == Qt::Checked;
}

void RtWidget1::showFileDialog()
{
    m_fileDialog->show();
}

void RtWidget1::acceptBackupFile()
{
    chooseImage(m_fileDialog->selectedData(FilesystemModel::PathRole), m_fileDialog->fileName(),
                m_fileDialog->selectedData(FilesystemModel::DevicePathRole));
}

void RtWidget1::showError(const QString& title, const QString& text)
{
    BaseMsgDlg box(title, text, QString::fromLatin1(kStopIcon), this, true, false);
    box.exec();
}

void RtWidget1::showEvent(QShowEvent* event)
{
    if (!m_imagePath.isEmpty() && !QFileInfo(m_imagePath).isReadable()) {
        m_fileNameEdit->clear();
        m_treeWidget->clear();
        m_partItem = nullptr;
        m_mbrItem = nullptr;
        m_fsCode = 0;
        clearImageData();
    }
    QWidget::showEvent(event);
}

void RtWidget1::clearImageData()
{
    m_imagePath.clear();
    m_imageDevice.clear();
    m_pwdDigest.clear();
    m_description.clear();
    m_mbrBytes = 0;
    m_usedBytes = 0;
    m_factsLabel->clear();
    emit pwdSig(m_pwdDigest);
    emit descSig(m_description);
}

void RtWidget1::chooseImage(const QString& path, const QString& name, const QString& device)
{
    m_fileNameEdit->clear();
    m_treeWidget->clear();
    m_partItem = nullptr;
    m_mbrItem = nullptr;
    m_fsCode = 0;
    m_hasMbr = false;
    clearImageData();
    if (QFileInfo(path).isDir())
        return;
    if (!name.endsWith(QLatin1String(".bkp"))) {
        showError(tr("Error"), tr("The file name of a Sorvik backup image ends in \".bkp\"!"));
        return;
    }

    QStringList partitionRow;
    QStringList diskRow;
    if (readImageHead(path, &partitionRow, &diskRow) == 0 && readImageTrailer(path)) {
        m_imagePath = path;
        m_imageDevice = device;
        auto* disk = new QTreeWidgetItem(m_treeWidget, diskRow);
        m_partItem = new QTreeWidgetItem(disk, partitionRow);
        m_partItem->setIcon(1, QFileIconProvider().icon(QFileIconProvider::Drive));
        m_partItem->setCheckState(1, Qt::Checked);
        // Only an image that saved the disk's boot code can restore it.
        if (m_hasMbr && m_mbrBytes >= ImageFormat::kBootCodeBytes) {
            m_mbrItem = new QTreeWidgetItem(
                disk, {QString(), tr("MBR and Track 0"), QString(), QString(), QString(), QString()});
            m_mbrItem->setCheckState(1, Qt::Unchecked);
        }
        disk->setExpanded(true);
        m_factsLabel->setText(
            JobMessages::imageSummary(JobMessages::imageFacts(path, readImageTrailerRecords(path))));
        emit pwdSig(m_pwdDigest);
        emit descSig(m_description);
    } else {
        m_pwdDigest.clear();
        m_description.clear();
        m_mbrBytes = 0;
    }
    m_fileNameEdit->setText(name);
}

int RtWidget1::readImageHead(const QString& path, QStringList* partitionRow, QStringList* diskRow)
{
    ImageHeadView head;
    const HeadReadResult result = readHeadBlock(path, &head);
    if (result != HeadReadResult::Ok) {
        showError(tr("Error"), headReadMessage(result));
        return -1;
    }
    m_hasMbr = head.active;
    m_fsCode = head.fsCode;
    *partitionRow = QStringList{
        tr("   "),
        driveNameText(QString::fromLocal8Bit(head.partName), head.driveLetter),
        QStringLiteral("%1%2").arg(isLogicalPartitionNumber(head.partitionNumber) ? tr("Log") : tr("Pri"),
                                   head.active ? tr(",Act") : QString()),
        formatSize(static_cast<qint64>(head.partSectorCount * 512)),
        formatSize(static_cast<qint64>(head.partitionUsedBytes)),
        fsTypeText(head.fsCode),
    };
    *diskRow = QStringList{
        tr("Disk %1").arg(head.diskNumber),
        QString::fromLocal8Bit(head.diskName),
        QStringLiteral(" "),
        formatSize(static_cast<qint64>(head.diskBytes)),
        QStringLiteral(" "),
        QStringLiteral(" "),
    };
    return 0;
}

bool RtWidget1::readImageTrailer(const QString& path)
{
    m_pwdDigest.clear();
    m_description.clear();
    m_mbrBytes = 0;
    const ImageTrailer trailer = readImageTrailerRecords(path);
    switch (trailer.status) {
    case ImageTrailer::Ok:
        m_pwdDigest = trailer.passwordDigest;
        m_description = trailer.description;
        m_mbrBytes = trailer.mbrBytes;
        m_usedBytes = trailer.usedBytes;
        return true;
    case ImageTrailer::OpenFailed:
    case ImageTrailer::StreamFailed:
        return false;
    case ImageTrailer::NotFirstVolume:
        showError(tr("Error!"), tr("This is not the first volume; select the first volume of the image!"));
        return false;
    case ImageTrailer::Corrupted:
        break;
    }
    showError(tr("Error"), tr("Image file is corrupted!"));
    return false;
}
