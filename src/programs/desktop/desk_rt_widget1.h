// Restore step 1: the image file, its head block and closing records, and
// what it holds (the partition, and the disk start when the source was
// active). The newest image of the default folder is chosen at start.
#ifndef DESK_RT_WIDGET1_H
#define DESK_RT_WIDGET1_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace desk {

class RtWidget1 : public QWidget {
    Q_OBJECT

public:
    explicit RtWidget1(QWidget* parent = nullptr);

    const QString& imagePath() const { return m_imagePath; }
    const QByteArray& pwdDigest() const { return m_pwdDigest; }
    const QString& description() const { return m_description; }
    int fsCode() const { return m_fsCode; }
    bool hasMbr() const { return m_hasMbr; }
    quint64 usedBytes() const { return m_usedBytes; }
    // The chosen image's date, description, kind, size and password.
    QLabel* factsLabel() const { return m_factsLabel; }
    bool preselected() const { return m_preselected; }
    bool isPartitionChecked() const;
    bool isMbrChecked() const;
    QTreeWidgetItem* partItem() const { return m_partItem; }
    QTreeWidgetItem* mbrItem() const { return m_mbrItem; }

    void loadImage(const QString& path);
    int readImageHead(const QString& path, QStringList& diskRow, QStringList& partRow);
    bool readImageTrailer(const QString& path);
    void emitImageInfo();

    QTreeWidget* treeWidget;
    QLineEdit* fileNameEdit;
    QPushButton* browseBtn;

signals:
    void pwdSig(const QByteArray& digest);
    void descSig(const QString& description);

public slots:
    void browseBtnClick();

private:
    int message(const QString& text, const QString& title = QString());
    void clearImageInfo();

    QString m_imagePath;
    bool m_hasMbr = false;
    QByteArray m_pwdDigest;
    QString m_description;
    int m_fsCode = 0;
    quint64 m_usedBytes = 0;
    QLabel* m_factsLabel = nullptr;
    QTreeWidgetItem* m_partItem = nullptr;
    QTreeWidgetItem* m_mbrItem = nullptr;
    bool m_preselected = false;
};

}  // namespace desk

#endif
