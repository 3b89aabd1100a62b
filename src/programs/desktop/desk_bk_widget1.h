// Backup step 1: the source partition, pressed in the disk tree; builds the
// image head block that describes it.
#ifndef DESK_BK_WIDGET1_H
#define DESK_BK_WIDGET1_H

#include "jobs/image_head_block.h"

#include <QModelIndex>
#include <QWidget>

class QTreeView;
class TreeItem;

namespace desk {

class TreeModel;

class BkWidget1 : public QWidget {
    Q_OBJECT

public:
    explicit BkWidget1(QWidget* parent = nullptr);
    ~BkWidget1() override;

    QTreeView* treeView() const { return m_treeView; }
    TreeModel* model() const { return m_model; }
    const ImageHeadBlock& head() const { return m_head; }
    tagBackupImageHeadInfo* headInfo() { return m_head.data(); }
    int headInfoLength() const { return m_head.size(); }
    char letter() const { return m_head.letter; }
    int fsCode() const { return m_head.fsCode; }
    qint64 usedBytes() const { return m_head.usedBytes; }
    qint64 partBytes() const { return m_head.partBytes; }
    bool active() const { return m_head.active; }
    // The physical drive number of the chosen partition's disk row.
    int diskNumber() const { return m_diskNumber; }

    // Measures the chosen partition's used bytes afresh (volumeUsedBytes);
    // the listed figure stays when they cannot be measured.
    void measureUsedBytes();

    // Builds the head block of a partition row of the tree; 0 or -1.
    static int buildHeadInfo(const TreeItem* partitionRow, ImageHeadBlock* block);

signals:
    void partTypeSig(int type);  // 0 NTFS, 1 FAT32
    void partLetterSig(char letter);

public slots:
    void treeViewPress(const QModelIndex& index);

private:
    void clearChoice();

    QTreeView* m_treeView;
    TreeModel* m_model;
    ImageHeadBlock m_head;
    int m_diskNumber = -1;
};

// The used bytes of the volume of a drive letter now, from the platform's
// free-space query; -1 when it cannot be asked.
qint64 volumeUsedBytes(char letter);

}  // namespace desk

#endif
