// Step 1 of the restore wizard: the user chooses an image's first volume;
// the page checks it, reads its head block and its end records, and shows
// what it holds as a small tree in which the partition and, when the image
// saved it, the disk's MBR are ticked for restoring.
#ifndef RESCUE_CONSOLE_RT_WIDGET1_H
#define RESCUE_CONSOLE_RT_WIDGET1_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QWidget>

class BrowseForFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class RtWidget1 : public QWidget {
    Q_OBJECT

public:
    explicit RtWidget1(QWidget* parent = nullptr);
    ~RtWidget1() override;

    bool isPartitionChecked() const;
    bool isMbrChecked() const;

    // Takes `path` (named `name` in the file dialog; `device` is the device
    // of the dialog's place, may be empty) as the chosen image: checks and
    // reads it and rebuilds the contents tree. The image is accepted when
    // m_imagePath is set afterwards.
    void chooseImage(const QString& path, const QString& name, const QString& device = QString());

    // Reads the head block at the start of the file into the two rows'
    // texts: 0, or -1 (with a message for a foreign or damaged file).
    int readImageHead(const QString& path, QStringList* partitionRow, QStringList* diskRow);
    // Reads the digest and description from the image's end records; false
    // with a message for a later volume or a damaged file.
    bool readImageTrailer(const QString& path);

    QLabel* m_titleLabel;
    QLabel* m_infoLabel;
    QTreeWidget* m_treeWidget;
    // The chosen image's date, description, kind, size and password.
    QLabel* m_factsLabel;
    QLineEdit* m_fileNameEdit;
    QPushButton* m_browseButton;
    BrowseForFileDialog* m_fileDialog = nullptr;

    QString m_imagePath;     // empty while no image is accepted
    QString m_imageDevice;   // device of the place the image was chosen in
    QByteArray m_pwdDigest;  // stored digest, all its bytes; empty without one
    QString m_description;
    int m_fsCode = 0;
    bool m_hasMbr = false;    // the source partition was active
    uint32_t m_mbrBytes = 0;  // bytes of disk start the image saved
    quint64 m_usedBytes = 0;  // bytes of the source the image holds
    QTreeWidgetItem* m_partItem = nullptr;
    QTreeWidgetItem* m_mbrItem = nullptr;

signals:
    void pwdSig(const QByteArray& pwdDigest);
    void descSig(const QString& desc);

public slots:
    void acceptBackupFile();

private slots:
    void showFileDialog();

protected:
    // Each time the step shows, an image whose place went away since it was
    // chosen (a partition unmounted at the end of the last job) is dropped.
    void showEvent(QShowEvent* event) override;

private:
    void showError(const QString& title, const QString& text);
    void clearImageData();
};

#endif
