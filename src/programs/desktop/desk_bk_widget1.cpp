#include "desk_bk_widget1.h"

#include "base_msg_dlg.h"
#include "desk_paths.h"
#include "desk_tree_model.h"
#include "disk_helpers.h"
#include "disk_info.h"
#include "page_style.h"
#include "platform.h"
#include "vetra.h"

#include <QApplication>
#include <QDebug>
#include <QHeaderView>
#include <QTreeView>
#include <QtEndian>

#include <cstdio>
#include <cstring>

namespace desk {

BkWidget1::BkWidget1(QWidget* parent) : QWidget(parent)
{
    resize(PageStyle::kPageWidth, PageStyle::kPageHeight);
    PageStyle::newTitle(this, tr("Partitions to back up"));
    m_model = new TreeModel();
    m_treeView = newPartitionTreeView(this, m_model);
    m_treeView->setAccessibleName(tr("Partition to back up"));
    connect(m_treeView, &QTreeView::pressed, this, &BkWidget1::treeViewPress);
    clearChoice();
}

BkWidget1::~BkWidget1()
{
    delete m_model;
}

void BkWidget1::clearChoice()
{
    m_head = ImageHeadBlock();
    m_head.letter = ' ';
    m_diskNumber = -1;
}

void BkWidget1::treeViewPress(const QModelIndex& index)
{
    const Qt::MouseButtons buttons = QApplication::mouseButtons();
    if (buttons != Qt::LeftButton && buttons != Qt::RightButton) {
        m_head.letter = ' ';
        return;
    }
    const TreeItem* row = m_model->itemFor(index);
    if (!index.isValid() || !TreeModel::isPartitionRow(row)) {
        m_head.letter = ' ';
        return;
    }
    emit partLetterSig(row->letter);
    qDebug() << "select a source dev letter: " << row->letter;

    ImageHeadBlock block;
    if (buildHeadInfo(row, &block) != 0) {
        BaseMsgDlg box(tr("Error"), tr("Get partition information failed!"),
                       QStringLiteral(":images/MsgIcon_Stop.png"), this, true, false);
        box.exec();
        m_head.letter = ' ';
        return;
    }
    m_head = block;
    m_diskNumber = row->parent() ? row->parent()->number : -1;
    switch (m_head.fsCode) {
    case 4:
        emit partTypeSig(0);
        break;
    case 3:
        emit partTypeSig(1);
        break;
    case 2: {
        BaseMsgDlg box(tr("Error"), tr("FAT16 partitions are not supported!"),
                       QStringLiteral(":images/MsgIcon_Stop.png"), this, true, false);
        box.exec();
        m_head.letter = ' ';
        break;
    }
    default:
        break;
    }
}

namespace {

template <typename T>
void putLe(T value, void* where)
{
    qToLittleEndian(value, where);
}

}  // namespace

int BkWidget1::buildHeadInfo(const TreeItem* partitionRow, ImageHeadBlock* block)
{
    const TreeItem* diskRow = partitionRow ? partitionRow->parent() : nullptr;
    const _DiskInfo* disk = CVetra::instance()->GetVetra();
    while (disk && diskRow && disk->Index != diskRow->number)
        disk = disk->Next;
    const _PartInfo* part = nullptr;
    int count = 0;
    int primaries = 0;
    for (const _PartInfo* p = disk ? disk->PartList : nullptr; p; p = p->Next) {
        ++count;
        if (p->Kind == kPartitionPrimary)
            ++primaries;
        if (!part && p->Letter == partitionRow->letter)
            part = p;
    }
    if (!disk || !diskRow || !part || count > 255) {
        qWarning("get partition information failed!");
        return -1;
    }
    const QByteArray diskName = fromU16(disk->Model).toUtf8().left(ImageHead::kMaxDiskNameBytes);
    const QByteArray partName = fromU16(part->Label).toUtf8().left(ImageHead::kMaxPartNameBytes);
    const int size =
        ImageHead::kFixedSize + ImageHead::kEntrySize * count + diskName.size() + partName.size();

    QByteArray bytes(size, '\0');
    tagBackupImageHeadInfo head;
    std::memset(&head, 0, sizeof head);
    putLe<uint32_t>(static_cast<uint32_t>(size), &head.blockSize);
    std::memcpy(head.signature, ImageHead::kSignature, sizeof head.signature);
    std::memcpy(head.contact, ImageHead::kContact, sizeof head.contact);
    head.diskNameLength = static_cast<uint8_t>(diskName.size());
    head.diskNumber = static_cast<uint8_t>(diskRow->number);
    putLe<uint64_t>(disk->Size, &head.diskBytes);
    head.partitionCount = static_cast<uint8_t>(count);
    head.primaryCount = static_cast<uint8_t>(primaries);
    head.logicalCount = static_cast<uint8_t>(count - primaries);
    head.driveLetter = static_cast<uint8_t>(part->Letter);
    putLe<uint32_t>(static_cast<uint32_t>(partName.size()), &head.partNameLength);
    head.partitionNumber = static_cast<uint8_t>(partitionRow->number);
    head.fsCode = static_cast<uint8_t>(fileSystemCode(part->FsName));
    head.active = part->Active ? 1 : 0;
    putLe<uint64_t>(part->Start / 512, &head.partStartSector);
    putLe<uint64_t>(part->Capacity / 512, &head.partSectorCount);
    putLe<uint64_t>(part->Used, &head.partitionUsedBytes);
    std::memcpy(bytes.data(), &head, sizeof head);

    char* entry = bytes.data() + ImageHead::kFixedSize;
    int n = 0;
    for (const _PartInfo* p = disk->PartList; p; p = p->Next, ++n, entry += ImageHead::kEntrySize) {
        tagImagePartEntry e;
        std::memset(&e, 0, sizeof e);
        putLe<uint64_t>(p->Start / 512, &e.startSector);
        putLe<uint64_t>(p->Capacity / 512, &e.sectorCount);
        e.moreFollows = n + 1 < count ? 1 : 0;
        std::memcpy(entry, &e, sizeof e);
    }
    std::memcpy(entry, diskName.constData(), diskName.size());
    std::memcpy(entry + diskName.size(), partName.constData(), partName.size());

    block->bytes = bytes;
    block->fsCode = head.fsCode;
    block->usedBytes = static_cast<qint64>(part->Used);
    block->partBytes = static_cast<qint64>(part->Capacity);
    block->active = part->Active != 0;
    block->letter = part->Letter;
    return 0;
}

void BkWidget1::measureUsedBytes()
{
    if (m_head.letter == ' ')
        return;
    const qint64 used = volumeUsedBytes(m_head.letter);
    if (used > 0)
        m_head.usedBytes = used;
}

qint64 volumeUsedBytes(char letter)
{
    winplat::FreeSpace space;
    const std::u16string root = toU16(driveRootOf(QChar::fromLatin1(letter)));
    if (winplat::currentPlatform()->freeSpace(root, space) != winplat::err::kSuccess ||
        space.totalBytes < space.freeBytes)
        return -1;
    return static_cast<qint64>(space.totalBytes - space.freeBytes);
}

}  // namespace desk
