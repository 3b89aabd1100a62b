#include "programs/desktop/desk_rt_widget1.h"

#include "jobs/drive_name_text.h"
#include "wizard/base_msg_dlg.h"
#include "programs/desktop/desk_file_dialogs.h"
#include "programs/desktop/desk_paths.h"
#include "programs/desktop/desk_settings.h"
#include "jobs/image_head_reader.h"
#include "jobs/image_trailer.h"
#include "jobs/job_messages.h"
#include "wizard/page_style.h"
#include "jobs/size_text.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QtEndian>

namespace desk {

RtWidget1::RtWidget1(QWidget* parent) : QWidget(parent)
{
    resize(PageStyle::kPageWidth, PageStyle::kPageHeight);
    PageStyle::newTitle(this, tr("Select images"));
    treeWidget = new QTreeWidget(this);
    treeWidget->setGeometry(10, 45, PageStyle::kPageWidth - 20, 118);
    treeWidget->setAccessibleName(tr("Image info"));
    treeWidget->setStyleSheet(PageStyle::treeStyle());
    treeWidget->setColumnCount(6);
    treeWidget->setHeaderLabels(
        {tr("Disk"), tr("Partition"), tr("Flags"), tr("Capacity"), tr("Used space"), tr("Type")});
    PageStyle::fitPartitionColumns(treeWidget->header());
    m_factsLabel = new QLabel(this);
    m_factsLabel->setObjectName(QStringLiteral("factsLabel"));
    // White on the dark page, in the tree's size: the five lines of facts
    // fit between the tree (room for a disk and its two rows) and the file
    // row.
    m_factsLabel->setStyleSheet(PageStyle::factsStyle());
    m_factsLabel->setWordWrap(true);
    m_factsLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_factsLabel->setGeometry(10, 168, PageStyle::kPageWidth - 20, 110);
    PageStyle::newText(this, tr("Image info"), QRect(10, 280, 200, 30));
    fileNameEdit = new QLineEdit(this);
    fileNameEdit->setReadOnly(true);
    fileNameEdit->setAccessibleName(tr("Image file"));
    fileNameEdit->setGeometry(10, 320, 400, 30);
    browseBtn = new QPushButton(tr("Browse"), this);
    browseBtn->setObjectName(QStringLiteral("browseBtn"));
    browseBtn->setGeometry(420, 320, 100, 30);
    connect(browseBtn, &QPushButton::clicked, this, &RtWidget1::browseBtnClick);

    // The newest image of the default folder.
    const QString dstPath = readSetting(kDstPathKey);
    if (dstPath.isEmpty() || !QFileInfo(localPath(dstPath)).isDir())
        return;
    const QStringList images =
        QDir(localPath(dstPath)).entryList({QStringLiteral("*.bkp")}, QDir::Files, QDir::Time);
    if (images.isEmpty())
        return;
    m_preselected = true;
    loadImage(withSeparator(dstPath) + images.first());
}

bool RtWidget1::isPartitionChecked() const
{
    return m_partItem && m_partItem->checkState(1) == Qt::Checked;
}

bool RtWidget1::isMbrChecked() const
{
    return m_mbrItem && m_mbrItem->checkState(1) == Qt::Checked;
}

int RtWidget1::message(const QString& text, const QString& title)
{
    BaseMsgDlg box(title.isEmpty() ? tr("Error") : title, text, QStringLiteral(":images/MsgIcon_Stop.png"),
                   this, true, false);
    return box.exec();
}

void RtWidget1::clearImageInfo()
{
    m_pwdDigest.clear();
    m_description.clear();
    m_usedBytes = 0;
    if (m_factsLabel)
        m_factsLabel->clear();
}

void RtWidget1::browseBtnClick()
{
    fileNameEdit->clear();
    treeWidget->clear();
    m_partItem = nullptr;
    m_mbrItem = nullptr;
    m_fsCode = 0;
    FileRequest request;
    request.kind = FileRequest::ExistingFile;
    request.caption = tr("Select *.bkp File");
    request.startFolder = readSetting(kDstPathKey);
    if (request.startFolder.isEmpty())
        request.startFolder = QStringLiteral(".");
    request.filter = tr("Backup Image File (*.bkp)");
    const QString path = chooseFile(this, request);
    if (path.isEmpty())
        return;
    m_preselected = false;
    loadImage(path);
}

void RtWidget1::loadImage(const QString& path)
{
    if (QFileInfo(localPath(path)).isDir()) {
        m_imagePath.clear();
        clearImageInfo();
        return;
    }
    const QString name = fileNamePart(path);
    m_imagePath.clear();
    if (!name.endsWith(QStringLiteral(".bkp"))) {
        message(tr("The file name of a backup image ends with \".bkp\"!"));
        clearImageInfo();
        return;
    }
    treeWidget->clear();
    m_partItem = nullptr;
    m_mbrItem = nullptr;
    QStringList diskRow;
    QStringList partRow;
    if (readImageHead(path, diskRow, partRow) != 0) {
        clearImageInfo();
    } else {
        m_imagePath = path;
        QTreeWidgetItem* disk = new QTreeWidgetItem(treeWidget, diskRow);
        m_partItem = new QTreeWidgetItem(disk, partRow);
        m_partItem->setIcon(1, QFileIconProvider().icon(QFileIconProvider::Drive));
        m_partItem->setFlags(m_partItem->flags() | Qt::ItemIsUserCheckable);
        m_partItem->setCheckState(1, Qt::Checked);
        if (m_hasMbr) {
            m_mbrItem = new QTreeWidgetItem(
                disk, {QString(), tr("MBR and Track 0"), QString(), QString(), QString(), QString()});
            m_mbrItem->setFlags(m_mbrItem->flags() | Qt::ItemIsUserCheckable);
            m_mbrItem->setCheckState(1, Qt::Unchecked);
        }
        treeWidget->expandItem(disk);
        if (readImageTrailer(path)) {
            emit pwdSig(m_pwdDigest);
            emit descSig(m_description);
        } else {
            clearImageInfo();
        }
    }
    fileNameEdit->setText(name);
}

int RtWidget1::readImageHead(const QString& path, QStringList& diskRow, QStringList& partRow)
{
    qDebug() << "select image file : " << path;
    QFile file(localPath(path));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray length = file.read(4);
    file.close();
    if (length.size() < 4 || qFromLittleEndian<quint32>(length.constData()) == 0)
        return -1;
    ImageHeadView view;
    // The block's own length is checked against the file before the read.
    const HeadReadResult result = readHeadBlock(localPath(path), &view);
    if (result == HeadReadResult::CannotOpen)
        return -1;
    if (result != HeadReadResult::Ok) {
        message(headReadMessage(result));
        return -1;
    }
    const QString partName = QString::fromUtf8(view.partName);
    const QString diskName = QString::fromUtf8(view.diskName);
    const QString partText = driveNameText(partName, view.driveLetter);
    QString flag = isLogicalPartitionNumber(view.partitionNumber) ? tr("Log") : tr("Pri");
    if (view.active)
        flag += tr(",Act");
    m_hasMbr = view.active;
    QString type;
    switch (view.fsCode) {
    case 4:
        type = QStringLiteral("NTFS");
        break;
    case 3:
        type = QStringLiteral("FAT32");
        break;
    case 2:
        type = QStringLiteral("FAT16");
        break;
    default:
        type = QStringLiteral("UNKNOWN");
        break;
    }
    m_fsCode = view.fsCode;
    diskRow = QStringList{tr("Disk %1").arg(view.diskNumber),
                          diskName,
                          QStringLiteral(" "),
                          formatSize(static_cast<qint64>(view.diskBytes)),
                          QStringLiteral(" "),
                          QStringLiteral(" ")};
    partRow = QStringList{QStringLiteral("   "),
                          partText,
                          flag,
                          formatSize(static_cast<qint64>(view.partSectorCount * 512)),
                          formatSize(static_cast<qint64>(view.partitionUsedBytes)),
                          type};
    qDebug() << "disk info" << diskRow << "part info: " << partRow;
    return 0;
}

bool RtWidget1::readImageTrailer(const QString& path)
{
    const ImageTrailer trailer = readImageTrailerRecords(localPath(path));
    switch (trailer.status) {
    case ImageTrailer::Ok:
        break;
    case ImageTrailer::NotFirstVolume:
        message(tr("The file is not the first volume. If your image has more than one volume, you must "
                   "select the first volume!"),
                tr("Error!"));
        return false;
    case ImageTrailer::Corrupted:
        message(tr("Image file is corrupted!"));
        return false;
    default:
        return false;
    }
    m_pwdDigest = trailer.passwordDigest;
    m_description = trailer.description;
    m_usedBytes = trailer.usedBytes;
    m_factsLabel->setText(JobMessages::imageSummary(JobMessages::imageFacts(localPath(path), trailer)));
    qDebug() << "password:" << (m_pwdDigest.isEmpty() ? "none" : "set") << "description: " << m_description;
    return true;
}

void RtWidget1::emitImageInfo()
{
    if (!m_preselected)
        return;
    if (!m_pwdDigest.isEmpty())
        emit pwdSig(m_pwdDigest);
    if (!m_description.isEmpty())
        emit descSig(m_description);
}

}  // namespace desk
