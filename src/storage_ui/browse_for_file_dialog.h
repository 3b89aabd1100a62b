// The console's full-screen chooser of image files and image locations:
// the places of FilesystemModel (lettered partitions, optical drives, the SMB
// network) in a tree, mounted on demand, with an eject menu for optical
// drives and a login menu for SMB servers.
//
// The wizards use it so:
//   BrowseForFileDialog dialog(parent, &filters, saveMode, nameReadOnly, -1, flags);
//   connect(&dialog, &QDialog::accepted, ...)  or  dialog.exec() == QDialog::Accepted
//   dialog.selectedData(FilesystemModel::PathRole)       the chosen local path
//   dialog.selectedData(FilesystemModel::DevicePathRole) the device of its place
//   dialog.fileName()                                    the file name
//   dialog.filePath()                                    the path of the file
// Save mode (saveMode true): a place, a folder or a share (or a file, whose
// name is taken) is chosen and a name typed (unless nameReadOnly). Open
// mode: an existing file matching the filters. Next-volume mode (disc
// number 0 or more, open mode): a caption asks for the next disc; a disc
// inserted into any optical drive that holds the expected file (the first
// filter) is taken at once, and the tree offers every place, optical drives
// included, to pick the volume from elsewhere.
#ifndef STORAGE_UI_BROWSE_FOR_FILE_DIALOG_H
#define STORAGE_UI_BROWSE_FOR_FILE_DIALOG_H

#include "wizard/base_dlg.h"

#include <QModelIndex>
#include <QPersistentModelIndex>
#include <QString>
#include <QStringList>
#include <sys/types.h>

class DeviceProber;
class FilesystemModel;
class QAction;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QMenu;
class QTreeView;
struct PartitionRecord;

class BrowseForFileDialog : public BaseDlg {
    Q_OBJECT

public:
    BrowseForFileDialog(QWidget* parent, const QStringList* nameFilters, bool saveMode, bool nameReadOnly,
                        int discNumber, Qt::WindowFlags flags);
    // The same over another prober's places (tests).
    BrowseForFileDialog(QWidget* parent, const QStringList* nameFilters, bool saveMode, bool nameReadOnly,
                        int discNumber, Qt::WindowFlags flags, DeviceProber* prober);
    ~BrowseForFileDialog() override;

    // Replaces the line above the tree, which otherwise names the filter
    // (a caller whose filter only hides files says what to choose instead).
    void setCaption(const QString& caption);

    QString fileName() const;
    // The chosen item's value for a FilesystemModel role, as text; empty
    // when nothing is chosen. After a disc was taken in next-volume mode,
    // PathRole gives the file on it and DevicePathRole the drive's disc.
    QString selectedData(int role) const;
    // The whole path: the chosen file, or the chosen folder and the name.
    QString filePath() const;

    FilesystemModel* model() const { return m_model; }
    QTreeView* treeView() const { return m_treeView; }
    QAction* ejectAction() const { return m_ejectAction; }
    QAction* credentialsAction() const { return m_credentialsAction; }
    QMenu* contextMenu() const { return m_menu; }

public slots:
    // Closes with Accepted (emitting accepted() once) when the choice can be
    // used; otherwise says why and stays open.
    void accept() override;
    // Closes through the frame's close event with the result Rejected, also
    // when an earlier showing of the dialog was accepted.
    void reject() override;

protected:
    // Shown again: the places are listed afresh (an image made since the
    // last showing is there without F5).
    void showEvent(QShowEvent* event) override;

protected slots:
    void pressItem(const QModelIndex& index);
    void eject();
    void browseOtherLocation();
    void changeODDItem(dev_t device, int status);
    void setAuth();

private slots:
    // A refused SMB listing asks here, from the event loop, never from
    // inside a model call.
    void askCredentials(const QString& key, int refusals);
    void showAccessDenied(const QString& key);
    void rememberExpanded(const QModelIndex& index);

private:
    class PressedButtonFilter;

    bool m_shownBefore = false;

    void build(const QStringList* nameFilters, bool nameReadOnly, DeviceProber* prober);
    bool isChoosable(int type) const;
    int selectedType() const;
    QString openModeCaption() const;
    int message(const QString& title, const QString& text, bool error);
    void releaseDisc();
    // The index of the listing that `key` ("//srv" or "//srv/share")
    // refused, when it is the node last opened.
    QModelIndex expandedNodeOf(const QString& key) const;

    FilesystemModel* m_model = nullptr;
    QTreeView* m_treeView = nullptr;
    QDialogButtonBox* m_buttonBox = nullptr;
    QLineEdit* m_fileNameEdit = nullptr;
    QLabel* m_selectLabel = nullptr;
    QLabel* m_fileLabel = nullptr;
    QLabel* m_captionLabel = nullptr;
    QAction* m_ejectAction = nullptr;
    QAction* m_credentialsAction = nullptr;
    QMenu* m_menu = nullptr;
    PressedButtonFilter* m_pressedButton = nullptr;
    bool m_saveMode;
    int m_discNumber;
    DeviceProber* m_prober = nullptr;
    PartitionRecord* m_disc = nullptr;  // the inserted disc in next-volume mode
    QString m_discFile;                 // the expected file found on it
    QString m_caption;                  // set by the caller; empty: named after the filter
    QPersistentModelIndex m_lastExpanded;
};

#endif
