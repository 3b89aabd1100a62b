#include "programs/desktop/desk_bk_widget1.h"

#include "wizard/base_msg_dlg.h"
#include "programs/desktop/desk_paths.h"
#include "programs/desktop/desk_tree_model.h"
#include "platform/windows/disk_helpers.h"
#include "jobs/image_head_builder.h"
#include "platform/vetra/disk_info.h"
#include "wizard/page_style.h"
#include "platform/windows/platform.h"
#include "platform/vetra/vetra.h"

#include <QApplication>
#include <QDebug>
#include <QHeaderView>
#include <QTreeView>

#include <cstdio>

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

int BkWidget1::buildHeadInfo(const TreeItem* partitionRow, ImageHeadBlock* block)
{
    const TreeItem* diskRow = partitionRow ? partitionRow->parent() : nullptr;
    const _DiskInfo* disk = CVetra::instance()->GetVetra();
    while (disk && diskRow && disk->Index != diskRow->number)
        disk = disk->Next;
    HeadSource source;
    const _PartInfo* part = nullptr;
    for (const _PartInfo* p = disk ? disk->PartList : nullptr; p; p = p->Next) {
        HeadSourceEntry entry;
        entry.number = static_cast<int>(p->PartitionNumber);
        entry.startSector = p->Start / 512;
        entry.sectorCount = p->Capacity / 512;
        entry.primary = p->Kind == kPartitionPrimary;
        source.entries.append(entry);
        if (!part && p->Letter == partitionRow->letter)
            part = p;
    }
    if (!disk || !diskRow || !part || source.entries.size() > 255) {
        qWarning("get partition information failed!");
        return -1;
    }
    source.diskName = fromU16(disk->Model).toUtf8();
    source.diskNumber = diskRow->number;
    source.diskBytes = disk->Size;
    source.letter = part->Letter;
    source.label = fromU16(part->Label).toUtf8();
    // Its number on its disk, as the disk driver counts it: the console
    // stores the same (the number of its device path).
    source.partitionNumber = static_cast<int>(part->PartitionNumber);
    source.fsCode = ImageHead::fsCodeOfName(QString::fromStdString(part->FsName));
    source.active = part->Active != 0;
    source.startSector = part->Start / 512;
    source.sectorCount = part->Capacity / 512;
    source.usedBytes = part->Used;
    source.partBytes = static_cast<qint64>(part->Capacity);
    *block = buildImageHeadBlock(source);
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
