// Backup step 2: the destination folder and image name (full backup) or
// the image an incremental backup builds on, with the destination drive's
// file system and free space.
#ifndef DESK_BK_WIDGET2_H
#define DESK_BK_WIDGET2_H

#include <QString>
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace desk {

class BkWidget2 : public QWidget {
    Q_OBJECT

public:
    explicit BkWidget2(QWidget* parent = nullptr);

    const QString& imagePath() const { return m_imagePath; }
    const QString& prevImage() const { return m_prevImage; }
    char destLetter() const { return m_destLetter; }
    qint64 freeBytes() const { return m_freeBytes; }
    const QString& destFsName() const { return m_destFsName; }
    bool isFull() const { return m_full; }
    bool fileNameEmpty() const;

    // Looks the destination drive up again on the machine as it is now:
    // false when the drive is gone or the image's folder does not exist;
    // else its file system and free space are refreshed.
    bool refreshDestination();

    QLineEdit* m_fileNameEdit;
    QComboBox* m_typeCombo;
    QPushButton* m_browseBtn;
    QLabel* m_hintLabel;
    // Where the image goes: the partition by label and letter, and the folder.
    QLabel* m_placeLabel;

public slots:
    void showSelectFileDlg();
    void userEnterFileName(const QString& text);
    void backupTypeChanged(int index);
    void recvSrcLetter(char letter);
    void recvPartType(int type);

private:
    void lookUpDestination();
    void setImagePathShown(const QString& text);
    void showPlace(const QString& path);

    QString m_dir;
    QString m_imagePath;
    QString m_prevImage;
    char m_srcLetter = ' ';
    char m_destLetter = ' ';
    qint64 m_freeBytes = 0;
    QString m_destFsName;
    bool m_full = true;
    bool m_settingText = false;
};

}  // namespace desk

#endif
