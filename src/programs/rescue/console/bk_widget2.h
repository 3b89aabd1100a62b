// The second page of the backup wizard: where the image goes, and whether
// the backup is full or builds on an existing image (incremental).
#ifndef RESCUE_CONSOLE_BK_WIDGET2_H
#define RESCUE_CONSOLE_BK_WIDGET2_H

#include <QString>
#include <QWidget>

class BrowseForFileDialog;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class BkWidget2 : public QWidget {
    Q_OBJECT

public:
    explicit BkWidget2(QWidget* parent = nullptr);
    ~BkWidget2() override;

    // What a file dialog reports once the user accepted it: the chosen
    // path (a folder or a file), the device of its place (empty on an SMB
    // share) and the text of its name field.
    struct Choice {
        QString path;
        QString device;
        QString fileName;
        QString share;  // "//server/share" for a place on an SMB share
    };
    // The page's handling of an accepted dialog of either kind.
    void takeFullChoice(const Choice& choice);
    // Where the image goes, for the page's field: "system in /Images on
    // Images (D:)", the partition by its label and letter, the folder from
    // the partition's root.
    static QString placeText(const QString& device, const QString& folder, const QString& share,
                             const QString& name);
    void takeIncrementalChoice(const Choice& choice);

    void clearSelection();

    // Free bytes of the file system holding a folder (statvfs), 0 when it
    // cannot be measured. An image folder on an SMB share has no device to
    // ask the prober about.
    static quint64 folderFreeBytes(const QString& folder);
    // "//server/share" of a node's Windows path (\\server\share\...), or
    // empty for a path that is not on a share.
    static QString shareOfWindowsPath(const QString& windowsPath);

    BrowseForFileDialog* m_incrementalDialog;
    BrowseForFileDialog* m_fullDialog;
    QString m_imagePath;  // image base path for the engine
    QString m_prevImage;  // the image an incremental backup builds on
    QString m_destPath;   // destination partition device
    quint64 m_destFreeBytes = 0;
    int m_fullBackup = 1;  // 1 full, 0 incremental
    QString m_destFsName;
    QString m_destShare;  // the SMB share holding the image folder, if any

    QComboBox* typeCombo() const { return m_typeCombo; }
    QLineEdit* fileNameEdit() const { return m_fileNameEdit; }
    QPushButton* browseButton() const { return m_browseButton; }
    QLabel* hintLabel() const { return m_hintLabel; }

public slots:
    void backupTypeChanged(int index);
    void acceptBackupFile();
    void acceptBackupFileFull();
    void recvPartType(int type);

private:
    static Choice choiceOf(const BrowseForFileDialog* dialog);
    void showOnBrowse(BrowseForFileDialog* dialog);
    void takeDestination(const QString& device, const QString& folder, const QString& share);

    QComboBox* m_typeCombo;
    QLineEdit* m_fileNameEdit;
    QPushButton* m_browseButton;
    QLabel* m_hintLabel;
};

#endif
