#include "programs/desktop/desk_bk_widget2.h"

#include "jobs/drive_name_text.h"
#include "jobs/backup_rules.h"
#include "programs/desktop/desk_file_dialogs.h"
#include "programs/desktop/desk_paths.h"
#include "programs/desktop/desk_settings.h"
#include "platform/vetra/disk_info.h"
#include "wizard/page_style.h"
#include "platform/windows/platform.h"
#include "platform/vetra/vetra.h"

#include <QComboBox>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

namespace desk {

BkWidget2::BkWidget2(QWidget* parent) : QWidget(parent)
{
    resize(PageStyle::kPageWidth, PageStyle::kPageHeight);
    PageStyle::newTitle(this, tr("Select the place of the backup image"));
    PageStyle::newText(this, tr("Backup type:"), QRect(10, 50, 160, 30));
    m_typeCombo = new QComboBox(this);
    m_typeCombo->setGeometry(180, 50, 200, 30);
    PageStyle::newText(this, tr("Image file:"), QRect(10, 100, 160, 30));
    m_fileNameEdit = new QLineEdit(this);
    m_fileNameEdit->setGeometry(10, 135, 400, 30);
    m_fileNameEdit->setAccessibleName(tr("Image file"));
    m_browseBtn = new QPushButton(tr("Browse"), this);
    m_browseBtn->setObjectName(QStringLiteral("browseBtn"));
    m_browseBtn->setGeometry(420, 135, 100, 30);
    m_placeLabel = PageStyle::newText(this, QString(), QRect(10, 170, 510, 26));
    m_placeLabel->setObjectName(QStringLiteral("placeLabel"));
    m_hintLabel = PageStyle::newText(this, QString(), QRect(10, 200, 510, 140));
    m_hintLabel->setWordWrap(true);
    m_hintLabel->setStyleSheet(QStringLiteral("font: 50 12pt \"wenquanyi\";\ncolor: rgb(255, 255, 255);"));

    connect(m_browseBtn, &QPushButton::clicked, this, &BkWidget2::showSelectFileDlg);
    connect(m_fileNameEdit, &QLineEdit::textChanged, this, &BkWidget2::userEnterFileName);
    connect(m_typeCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &BkWidget2::backupTypeChanged);
    recvPartType(0);
}

bool BkWidget2::fileNameEmpty() const
{
    return m_fileNameEdit->text().isEmpty();
}

void BkWidget2::setImagePathShown(const QString& text)
{
    m_settingText = true;
    m_fileNameEdit->setText(text);
    m_settingText = false;
    showPlace(text);
}

void BkWidget2::showPlace(const QString& path)
{
    if (path.size() < 2 || path.at(1) != QLatin1Char(':')) {
        m_placeLabel->clear();
        return;
    }
    const QChar letter = path.at(0).toUpper();
    QString label;
    for (const _DiskInfo* disk = CVetra::instance()->GetVetra(); disk; disk = disk->Next) {
        for (const _PartInfo* part = disk->PartList; part; part = part->Next) {
            if (part->Letter && QChar::fromLatin1(part->Letter).toUpper() == letter)
                label = QString::fromStdU16String(part->Label).trimmed();
        }
    }
    const QString partition =
        label.isEmpty() ? QStringLiteral("%1:").arg(letter) : driveNameText(label, letter.toLatin1());
    QString folder = folderPart(path).mid(2);
    if (folder.isEmpty())
        folder = QStringLiteral("\\");
    m_placeLabel->setText(tr("On %1, in the folder %2").arg(partition, folder));
}

void BkWidget2::recvSrcLetter(char letter)
{
    m_srcLetter = letter;
    const QString dstPath = readSetting(kDstPathKey);
    if (dstPath.isEmpty())
        return;
    m_dir = withSeparator(dstPath);
    m_destLetter = m_dir.at(0).toLatin1();
    m_imagePath = m_dir + QChar::fromLatin1(letter) + QStringLiteral("_backup");
    setImagePathShown(m_imagePath);
    lookUpDestination();
}

void BkWidget2::lookUpDestination()
{
    const QChar wanted = QChar::fromLatin1(m_destLetter).toUpper();
    for (const _DiskInfo* disk = CVetra::instance()->GetVetra(); disk; disk = disk->Next) {
        for (const _PartInfo* part = disk->PartList; part; part = part->Next) {
            if (part->Letter && QChar::fromLatin1(part->Letter).toUpper() == wanted) {
                m_destFsName = QString::fromStdString(part->FsName);
                m_freeBytes = static_cast<qint64>(part->Capacity - qMin(part->Used, part->Capacity));
                return;
            }
        }
    }
}

bool BkWidget2::refreshDestination()
{
    if (m_destLetter == ' ' || m_imagePath.isEmpty())
        return false;
    auto platform = winplat::currentPlatform();
    const std::u16string root = toU16(driveRootOf(QChar::fromLatin1(m_destLetter)));
    winplat::VolumeInformation info;
    winplat::FreeSpace space;
    if (platform->volumeInformation(root, info) != winplat::err::kSuccess ||
        platform->freeSpace(root, space) != winplat::err::kSuccess)
        return false;
    if (!QFileInfo(localPath(folderPart(m_imagePath))).isDir())
        return false;
    m_destFsName = fromU16(info.fileSystem);
    m_freeBytes = static_cast<qint64>(space.freeBytesToCaller);
    return true;
}

void BkWidget2::recvPartType(int type)
{
    m_typeCombo->clear();
    m_typeCombo->addItem(tr("Full backup"));
    if (type == 0)
        m_typeCombo->addItem(tr("Incremental backup"));
    m_typeCombo->setCurrentIndex(0);
}

void BkWidget2::backupTypeChanged(int index)
{
    if (!m_full) {
        setImagePathShown(QString());
        m_imagePath.clear();
        m_prevImage.clear();
        m_destFsName.clear();
        m_destLetter = ' ';
        m_freeBytes = 0;
        m_full = true;
    }
    if (index == 1) {
        m_hintLabel->setText(
            tr("If you want to make an incremental backup, click \"Browse\" and select an existing "
               "backup file!"));
        m_full = false;
        m_fileNameEdit->setReadOnly(true);
        setImagePathShown(QString());
    } else {
        m_hintLabel->setText(
            tr("If you want to make a full backup of a partition, click \"Browse\", select a folder "
               "and type the name you want to give your backup! "));
        m_full = true;
        m_fileNameEdit->setReadOnly(false);
    }
}

void BkWidget2::showSelectFileDlg()
{
    const QString dstPath = readSetting(kDstPathKey);
    FileRequest request;
    request.startFolder = dstPath.isEmpty() ? QStringLiteral(".") : dstPath;
    if (m_full) {
        request.kind = FileRequest::ExistingFolder;
        request.caption = tr("Select a destination folder");
        const QString folder = chooseFile(this, request);
        if (folder.isEmpty())
            return;
        if (dstPath.isEmpty())
            writeSetting(kDstPathKey, nativeSeparators(folder));
        m_dir = withSeparator(folder);
        m_destLetter = m_dir.at(0).toLatin1();
        const QString typed = fileNamePart(m_fileNameEdit->text());
        m_imagePath =
            m_dir + (typed.isEmpty() ? QChar::fromLatin1(m_srcLetter) + QStringLiteral("_backup") : typed);
        setImagePathShown(m_imagePath);
        lookUpDestination();
        return;
    }
    request.kind = FileRequest::ExistingFile;
    request.caption = tr("Select *.bkp File");
    request.filter = tr("Backup Image File (*.bkp)");
    const QString file = chooseFile(this, request);
    if (file.isEmpty())
        return;
    m_destLetter = file.at(0).toLatin1();
    m_imagePath = file;
    const QString name = fileNamePart(file);
    setImagePathShown(name);
    if (name.endsWith(QStringLiteral(".bkp"))) {
        const QString base = BackupRules::imageBaseOfFile(name);
        m_imagePath = withSeparator(folderPart(file)) + base;
        m_prevImage = file;
        qDebug() << "baseFileName = " << base << "file name" << m_imagePath << "prev name" << m_prevImage;
    }
}

void BkWidget2::userEnterFileName(const QString& text)
{
    if (m_settingText || !m_full)
        return;
    // A whole path typed ("D:\Images\desk1") chooses its folder as Browse
    // does; a name alone goes into the folder chosen before.
    const QString typed = nativeSeparators(text.trimmed());
    if (typed.size() >= 3 && typed.at(0).isLetter() && typed.at(1) == QLatin1Char(':') &&
        typed.at(2) == QLatin1Char('\\')) {
        m_dir = withSeparator(folderPart(typed));
        m_destLetter = m_dir.at(0).toLatin1();
        lookUpDestination();
    }
    const QString name = fileNamePart(typed);
    if (name.endsWith(QStringLiteral(".bkp")))
        m_imagePath = m_dir + BackupRules::imageBaseOfFile(name);
    else
        m_imagePath = m_dir + name;
    showPlace(m_imagePath);
}

}  // namespace desk
