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

public slots:
    void treeViewPress(const QModelIndex& index);

private:
    QTreeView* m_treeView;
    TreeModel* m_model;
    QString m_targetPath;
    QString m_diskText;
    bool m_isSystem = false;
};

}  // namespace desk

#endif
