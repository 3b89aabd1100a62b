// Step 2 of the restore wizard: the machine's disks and partitions, for
// choosing the partition the image is restored onto.
#ifndef RESCUE_CONSOLE_RT_WIDGET2_H
#define RESCUE_CONSOLE_RT_WIDGET2_H

#include <QModelIndex>
#include <QString>
#include <QWidget>

class DeviceProber;
class QLabel;
class QTreeView;
class TreeModel;

class RtWidget2 : public QWidget {
    Q_OBJECT

public:
    explicit RtWidget2(QWidget* parent = nullptr);

    QLabel* m_titleLabel;
    QTreeView* m_treeView;
    TreeModel* m_model;
    // Device path of the chosen partition; empty while none is chosen.
    QString m_targetPath;

public slots:
    void treeViewPress(const QModelIndex& index);

private slots:
    void expandRows();
};

#endif
