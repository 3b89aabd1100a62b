// The first page of the backup wizard: the partition tree, from which the
// user presses the source partition; the page builds the image's head
// block from it.
#ifndef RESCUE_CONSOLE_BK_WIDGET1_H
#define RESCUE_CONSOLE_BK_WIDGET1_H

#include "programs/rescue/console/image_head_info.h"

#include <QModelIndex>
#include <QString>
#include <QWidget>

class QTreeView;
class TreeModel;

class BkWidget1 : public QWidget {
    Q_OBJECT

public:
    explicit BkWidget1(QWidget* parent = nullptr);
    ~BkWidget1() override;

    tagBackupImageHeadInfo* headInfo() { return m_headInfo.data(); }
    int headInfoLen() const { return m_headInfo.size(); }

    QTreeView* treeView() const { return m_treeView; }
    TreeModel* model() const { return m_model; }

    QString m_partPath;         // the chosen source partition's device; empty for none
    QString m_diskPath;         // the disk it lies on (its MBR area is stored)
    ImageHeadBlock m_headInfo;  // the head block and the values the wizard checks
    int m_fsCode = 0;
    qint64 m_usedBytes = -1;
    qint64 m_partBytes = -1;
    bool m_active = false;
    char m_letter = ' ';

signals:
    void partTypeSig(int type);  // 0 NTFS source, 1 FAT32 source

public slots:
    void treeViewPress(const QModelIndex& index);

protected:
    // Records which mouse buttons a press on the tree holds.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refuse(const QString& text);

    QTreeView* m_treeView;
    TreeModel* m_model;
    Qt::MouseButtons m_pressButtons = Qt::NoButton;
};

#endif
