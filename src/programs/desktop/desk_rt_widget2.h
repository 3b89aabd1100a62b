// Restore step 2: the destination partition, pressed in the disk tree.
#ifndef DESK_RT_WIDGET2_H
#define DESK_RT_WIDGET2_H

#include <QModelIndex>
#include <QString>
#include <QWidget>

class QTreeView;

namespace desk {

class TreeModel;

class RtWidget2 : public QWidget {
    Q_OBJECT

public:
    explicit RtWidget2(QWidget* parent = nullptr);
    ~RtWidget2() override;

    QTreeView* treeView() const { return m_treeView; }
    TreeModel* model() const { return m_model; }
    const QString& targetPath() const { return m_targetPath; }
    const QString& diskText() const { return m_diskText; }
    bool isSystem() const { return m_isSystem; }
    // The chosen partition and its disk as the questions name them.
    QString partitionText() const;
    QString diskNameText() const;
    quint64 targetBytes() const { return m_targetBytes; }

public slots:
    void treeViewPress(const QModelIndex& index);

private:
    QTreeView* m_treeView;
    TreeModel* m_model;
    QString m_targetPath;
    QString m_diskText;
    bool m_isSystem = false;
    QString m_label;
    quint64 m_targetBytes = 0;
    quint64 m_diskBytes = 0;
};

}  // namespace desk

#endif
