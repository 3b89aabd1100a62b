// The "Recover File" page of the tools dialog: pick an NTFS partition, scan
// it for deleted files on a worker thread (recoverthread), see them in a
// table (FileModel) and save one to a file on another partition.
#ifndef DESK_TOOL_WIDGET2_H
#define DESK_TOOL_WIDGET2_H

#include <QAbstractItemModel>
#include <QList>
#include <QMap>
#include <QModelIndex>
#include <QStringList>
#include <QThread>
#include <QWidget>

#include <atomic>
#include <memory>
#include <string>

class NTFSRecover;
class QAction;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeView;

namespace desk {

// One row of the table (or the root, holding the column titles).
class FileItem {
public:
    FileItem(const QStringList& data, FileItem* parent = nullptr) : m_data(data), m_parent(parent) {}
    ~FileItem() { qDeleteAll(m_children); }
    void appendChild(FileItem* child) { m_children.append(child); }
    FileItem* child(int row) const { return m_children.value(row); }
    int childCount() const { return m_children.size(); }
    QString data(int column) const { return m_data.value(column); }
    FileItem* parent() const { return m_parent; }
    int row() const { return m_parent ? m_parent->m_children.indexOf(const_cast<FileItem*>(this)) : 0; }

private:
    QStringList m_data;
    FileItem* m_parent;
    QList<FileItem*> m_children;
};

class FileModel : public QAbstractItemModel {
    Q_OBJECT

public:
    explicit FileModel(const QList<QStringList>& rows, QObject* parent = nullptr);
    ~FileModel() override;

    void addNewNode(const QStringList& row);

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    FileItem* m_root;
};

class recoverthread : public QThread {
    Q_OBJECT

public:
    explicit recoverthread(QObject* parent = nullptr);
    ~recoverthread() override;

    // The volume to scan ("E:\"); makes the recovery object when there is none.
    void setVolume(std::string volume);
    // Copies a file found by the last scan, on the calling thread.
    void recoverOneFile(long record, std::string outputPath);
    void startScan();
    void cancel() { m_cancel = 1; }
    int result() const { return m_result; }
    // Emits progressChanged when the value changed; -1 once cancelled.
    int reportProgress(int value);

    static void foundFileCallback(QStringList row, void* user);
    static int recoverProgressCallback(int value, void* user);

signals:
    void progressChanged(int value);
    void fileNodeSig(QStringList row);

protected:
    void run() override;

private:
    int m_result = 0;
    std::atomic<int> m_cancel{0};  // set by the GUI thread, read by the scan
    int m_lastProgress = 0;
    std::string m_volume;
    int m_mode = 0;  // 0 scan, 1 recover
    long m_record = -1;
    std::string m_outputPath;
    std::unique_ptr<NTFSRecover> m_recover;
};

class ToolWidget2 : public QWidget {
    Q_OBJECT

public:
    explicit ToolWidget2(QWidget* parent = nullptr);
    ~ToolWidget2() override;

    QComboBox* partitionCombo() const { return m_partCombo; }
    QPushButton* scanButton() const { return m_scanBtn; }
    QPushButton* cancelButton() const { return m_cancelBtn; }
    QPushButton* recoverButton() const { return m_recoverBtn; }
    QProgressBar* progressBar() const { return m_progressBar; }
    QTreeView* treeView() const { return m_treeView; }
    QAction* saveAsAction() const { return m_saveAsAction; }
    recoverthread* thread() const { return m_thread; }
    char chosenLetter() const { return m_letter; }
    long pickedRecord() const { return m_pickedRecord; }

public slots:
    void selectPartSlot(int index);
    void scanPartition();
    void cancelScan();
    void finishScan();
    void pressItemFile(const QModelIndex& index);
    void addNewNode(QStringList row);
    void saveAs();
    void setValue(int value);
    void finishRecover() {}

private:
    void message(const QString& icon, const QString& text, const QString& title);

    QComboBox* m_partCombo;
    QPushButton* m_recoverBtn;
    QPushButton* m_scanBtn;
    QPushButton* m_cancelBtn;
    QProgressBar* m_progressBar;
    QTreeView* m_treeView;
    QAction* m_saveAsAction;
    QMap<int, char> m_letters;  // combo index -> drive letter
    char m_letter = 0;
    char m_scanLetter = 0;  // the drive of the last scan
    recoverthread* m_thread = nullptr;
    FileModel* m_model = nullptr;
    QList<QStringList> m_rows;
    long m_pickedRecord = -1;
    QString m_pickedName;
};

}  // namespace desk

#endif
