#include "storage_ui/browse_for_file_dialog.h"

#include "wizard/base_msg_dlg.h"
#include "platform/linux/cdrom_manager.h"
#include "platform/linux/device_prober.h"
#include "platform/linux/device_records.h"
#include "platform/linux/filesystem_item.h"
#include "storage_ui/filesystem_model.h"
#include "platform/linux/mount_table.h"
#include "storage_ui/password_dialog.h"
#include "platform/linux/smb_auth_requests.h"
#include "platform/linux/smb_context.h"
#include "platform/linux/smb_credential_store.h"
#include "platform/linux/smb_filesystem_item.h"

#include <QAction>
#include <QCursor>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QMutexLocker>
#include <QShowEvent>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

const char* const kTextStyle = "font: 50 15pt \"wenquanyi\";\ncolor: rgb(255, 255, 255);";
// A dark, translucent list that matches the rest of the frame, with white
// text well above the readable contrast; the chosen row stands out in the
// frame's orange. The header is drawn in the same colours, so that the
// column names read on it as well.
const char* const kTreeStyle =
    "QTreeView { font: 50 15pt \"wenquanyi\"; color: rgb(255, 255, 255);"
    " background-color: rgba(24, 28, 34, 210); alternate-background-color: rgba(40, 46, 54, 210);"
    " selection-background-color: rgb(176, 84, 8); selection-color: rgb(255, 255, 255); }"
    "QTreeView::item:selected { background-color: rgb(176, 84, 8); color: rgb(255, 255, 255); }"
    "QTreeView::item:focus:!selected { border: 1px solid rgb(230, 120, 20); }"
    "QHeaderView::section { font: 50 13pt \"wenquanyi\"; color: rgb(255, 255, 255);"
    " background-color: rgb(52, 58, 66); border: none; border-right: 1px solid rgb(90, 98, 108);"
    " padding: 2px 8px; }";
const char* const kInfoIcon = ":images/MsgIcon_Info.png";
const char* const kStopIcon = ":images/MsgIcon_Stop.png";

bool isFileType(int type)
{
    return type == IFilesystemItem::FileType || type == IFilesystemItem::SmbFileType;
}

}  // namespace

// Remembers which mouse button pressed an item: the view's pressed() signal
// does not say, and QApplication::mouseButtons() misses synthetic events.
class BrowseForFileDialog::PressedButtonFilter : public QObject {
public:
    using QObject::QObject;
    Qt::MouseButton button = Qt::LeftButton;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress)
            button = static_cast<QMouseEvent*>(event)->button();
        return QObject::eventFilter(watched, event);
    }
};

BrowseForFileDialog::BrowseForFileDialog(QWidget* parent, const QStringList* nameFilters, bool saveMode,
                                         bool nameReadOnly, int discNumber, Qt::WindowFlags flags)
    : BrowseForFileDialog(parent, nameFilters, saveMode, nameReadOnly, discNumber, flags,
                          DeviceProber::instance())
{}

BrowseForFileDialog::BrowseForFileDialog(QWidget* parent, const QStringList* nameFilters, bool saveMode,
                                         bool nameReadOnly, int discNumber, Qt::WindowFlags flags,
                                         DeviceProber* prober)
    : BaseDlg(parent, flags), m_saveMode(saveMode), m_discNumber(discNumber), m_prober(prober)
{
    build(nameFilters, nameReadOnly, prober);
}

BrowseForFileDialog::~BrowseForFileDialog()
{
    // A disc whose volume was taken stays mounted: the caller reads the
    // file after this dialog is gone.
    if (m_disc && !m_discFile.isEmpty()) {
        freePartitionRecord(m_disc);
        m_disc = nullptr;
    }
    releaseDisc();
    delete m_model;
    m_model = nullptr;
}

void BrowseForFileDialog::build(const QStringList* nameFilters, bool nameReadOnly, DeviceProber* prober)
{
    SMBFilesystemItem::installAsNetworkNode();
    // Save mode lists no optical drives; open and next-volume modes do.
    m_model = new FilesystemModel(nullptr, nameFilters, !m_saveMode, prober);

    setObjectName(QStringLiteral("savFileDlg"));
    setWindowTitle(tr("Image file dialog"));
    resize(800, 600);
    m_backgroundPath = QStringLiteral(":images/FileBrowser_BG.png");
    initTitleBar();

    m_captionLabel = new QLabel(this);
    m_captionLabel->setObjectName(QStringLiteral("captionLabel"));
    m_captionLabel->setWordWrap(true);
    m_selectLabel = new QLabel(tr("Select a place:"), this);
    m_selectLabel->setObjectName(QStringLiteral("selectLabel"));
    m_treeView = new QTreeView(this);
    m_treeView->setObjectName(QStringLiteral("treeView"));
    m_treeView->setModel(m_model);
    m_treeView->setStyleSheet(QLatin1String(kTreeStyle));
    m_treeView->setAlternatingRowColors(true);
    // The name takes the room the figures leave; the figures fit their
    // texts and their headers (a column sized to short contents would cut
    // its own header).
    QHeaderView* header = m_treeView->header();
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(90);
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(FilesystemModel::NameColumn, QHeaderView::Stretch);
    m_treeView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_treeView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_fileLabel = new QLabel(tr("Please input a file name:"), this);
    m_fileLabel->setObjectName(QStringLiteral("fileLabel"));
    m_fileNameEdit = new QLineEdit(this);
    m_fileNameEdit->setObjectName(QStringLiteral("fileNameEdit"));
    m_buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
    m_buttonBox->setObjectName(QStringLiteral("buttonBox"));
    // Our own texts: Qt's catalogue is not installed for every language the
    // console speaks.
    m_buttonBox->button(QDialogButtonBox::Ok)->setText(tr("OK"));
    m_buttonBox->button(QDialogButtonBox::Cancel)->setText(tr("Cancel"));
    // The label names the field for assistive tools.
    m_treeView->setAccessibleName(tr("Places and files"));
    m_fileLabel->setBuddy(m_fileNameEdit);
    for (QLabel* label : {m_captionLabel, m_selectLabel, m_fileLabel})
        label->setStyleSheet(QLatin1String(kTextStyle));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(30, 50, 30, 30);
    layout->addWidget(m_captionLabel);
    layout->addWidget(m_selectLabel);
    layout->addWidget(m_treeView, 1);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(m_fileLabel);
    nameRow->addWidget(m_fileNameEdit, 1);
    layout->addLayout(nameRow);
    layout->addWidget(m_buttonBox);

    connect(m_buttonBox, &QDialogButtonBox::accepted, this, &BrowseForFileDialog::accept);
    connect(m_buttonBox, &QDialogButtonBox::rejected, this, &BrowseForFileDialog::reject);
    connect(m_treeView, &QAbstractItemView::pressed, this, &BrowseForFileDialog::pressItem);
    connect(m_treeView, &QTreeView::expanded, this, &BrowseForFileDialog::rememberExpanded);
    m_pressedButton = new PressedButtonFilter(this);
    m_treeView->viewport()->installEventFilter(m_pressedButton);
    m_buttonBox->button(QDialogButtonBox::Ok)->setEnabled(false);

    if (!m_saveMode) {
        m_fileLabel->setText(tr("File name you select:"));
        m_fileNameEdit->setReadOnly(true);
        m_selectLabel->setText(tr("Select a backup image file (*.bkp)"));
    }
    if (nameReadOnly) {
        // The name comes from the file pressed, never from the keyboard.
        m_selectLabel->setText(tr("Select a backup image file (*.bkp)"));
        m_fileLabel->setText(tr("File name you select:"));
        m_fileNameEdit->setReadOnly(true);
    }

    m_ejectAction =
        new QAction(QIcon(QStringLiteral(":/images/16x16/media-eject.png")), tr("Eject CD-ROM"), this);
    connect(m_ejectAction, &QAction::triggered, this, &BrowseForFileDialog::eject);
    m_credentialsAction = new QAction(tr("Connect using username and password"), this);
    connect(m_credentialsAction, &QAction::triggered, this, &BrowseForFileDialog::setAuth);
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("itemMenu"));

    if (m_discNumber >= 0) {
        m_captionLabel->setText(tr("Please insert next disc %1").arg(m_discNumber));
        connect(prober, &DeviceProber::oddStatusChanged, this, &BrowseForFileDialog::changeODDItem);
    } else {
        m_captionLabel->setText(openModeCaption());
    }

    SmbAuthRequests* requests = SmbAuthRequests::instance();
    connect(requests, &SmbAuthRequests::credentialsNeeded, this, &BrowseForFileDialog::askCredentials);
    connect(requests, &SmbAuthRequests::accessDenied, this, &BrowseForFileDialog::showAccessDenied);
}

void BrowseForFileDialog::setCaption(const QString& caption)
{
    m_caption = caption;
    m_captionLabel->setText(caption);
}

QString BrowseForFileDialog::openModeCaption() const
{
    if (!m_caption.isEmpty())
        return m_caption;
    const QStringList* filters = m_model->nameFilters();
    if (filters && !filters->isEmpty())
        return tr("Please select a file like ") + filters->join(QStringLiteral(", "));
    return tr("Please select a file");
}

QString BrowseForFileDialog::fileName() const
{
    return m_fileNameEdit->text();
}

QString BrowseForFileDialog::selectedData(int role) const
{
    if (!m_discFile.isEmpty() && m_disc) {
        if (role == FilesystemModel::PathRole)
            return m_discFile;
        if (role == FilesystemModel::DevicePathRole)
            return QString::fromUtf8(m_disc->path);
    }
    const QModelIndexList selected = m_treeView->selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return QString();
    const QModelIndex first = selected.first();
    return first.sibling(first.row(), 0).data(role).toString();
}

QString BrowseForFileDialog::filePath() const
{
    const QString path = selectedData(FilesystemModel::PathRole);
    if (path.isEmpty() || !m_discFile.isEmpty() || isFileType(selectedType()))
        return path;
    return fileName().isEmpty() ? QString() : path + QLatin1Char('/') + fileName();
}

int BrowseForFileDialog::selectedType() const
{
    const QModelIndexList selected = m_treeView->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().data(FilesystemModel::ItemTypeRole).toInt();
}

bool BrowseForFileDialog::isChoosable(int type) const
{
    if (isFileType(type))
        return true;
    // A server or workgroup has no local folder: as a destination it would
    // become a folder of the rescue system's own root.
    return m_saveMode && (type == IFilesystemItem::MountPointType || type == IFilesystemItem::DirectoryType ||
                          type == IFilesystemItem::ShareType);
}

int BrowseForFileDialog::message(const QString& title, const QString& text, bool error)
{
    BaseMsgDlg box(title, text, QLatin1String(error ? kStopIcon : kInfoIcon), this, true, false);
    return box.exec();
}

void BrowseForFileDialog::accept()
{
    if (!m_discFile.isEmpty()) {
        QDialog::accept();
        return;
    }
    if (fileName().isEmpty()) {
        message(tr("Error!"), tr("You must input a file name as backup file name!"), false);
        return;
    }
    // The choice is checked again here: the keyboard can move the selection
    // without a press.
    if (!isChoosable(selectedType())) {
        message(tr("Error!"),
                m_saveMode ? tr("Please select a partition, a folder or a network share!")
                           : tr("Please select a backup image file!"),
                true);
        return;
    }
    const QString name = fileName();
    if (name.contains(QLatin1Char('/')) || name == QLatin1String(".") || name == QLatin1String("..")) {
        message(tr("Error!"), tr("A file name must not contain \"/\"!"), true);
        return;
    }
    QString path = selectedData(FilesystemModel::PathRole);
    if (path.isEmpty()) {
        // A place row not opened yet: OK opens it, as expanding it would.
        const QModelIndex current = m_treeView->currentIndex();
        if (current.isValid()) {
            m_model->rowCount(current.sibling(current.row(), 0));
            path = selectedData(FilesystemModel::PathRole);
        }
    }
    if (path.isEmpty()) {
        message(tr("Error!"), tr("The selected place cannot be opened!"), true);
        return;
    }
    if (!m_saveMode && !QFileInfo(path).isFile()) {
        message(tr("Error!"), tr("Please select a backup image file!"), true);
        return;
    }
    QDialog::accept();
}

void BrowseForFileDialog::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        if (m_shownBefore && m_discFile.isEmpty()) {
            m_model->refresh();
            m_fileNameEdit->clear();
            m_buttonBox->button(QDialogButtonBox::Ok)->setEnabled(false);
        }
        m_shownBefore = true;
    }
    BaseDlg::showEvent(event);
}

void BrowseForFileDialog::reject()
{
    setResult(QDialog::Rejected);
    BaseDlg::reject();
}

void BrowseForFileDialog::pressItem(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    const QModelIndex item = index.sibling(index.row(), 0);
    const int type = item.data(FilesystemModel::ItemTypeRole).toInt();
    if (m_pressedButton->button == Qt::RightButton) {
        m_menu->clear();
        if (type == IFilesystemItem::MountPointType &&
            item.data(FilesystemModel::DeviceKindRole).toInt() == IFilesystemItem::OpticalDevice) {
            // The low 32 bits of the device number, widened with their sign.
            const qint64 device = item.data(FilesystemModel::DeviceNumberRole).toInt();
            m_ejectAction->setData(QVariant::fromValue(static_cast<qulonglong>(device)));
            m_menu->addAction(m_ejectAction);
        } else if (type == IFilesystemItem::ServerType) {
            m_credentialsAction->setData(
                SmbCredentialStore::serverKey(item.data(Qt::DisplayRole).toString()));
            m_menu->addAction(m_credentialsAction);
        } else {
            return;
        }
        m_menu->popup(QCursor::pos());
        return;
    }

    QPushButton* ok = m_buttonBox->button(QDialogButtonBox::Ok);
    if (isFileType(type)) {
        ok->setEnabled(true);
        m_fileNameEdit->setText(item.data(Qt::DisplayRole).toString());
    } else if (isChoosable(type)) {
        ok->setEnabled(true);
        m_fileNameEdit->clear();
    } else {
        ok->setEnabled(false);
        m_fileNameEdit->clear();
    }
}

void BrowseForFileDialog::eject()
{
    const dev_t device = static_cast<dev_t>(m_ejectAction->data().toULongLong());
    CDROMManager::instance()->eject(device);
    m_treeView->resizeColumnToContents(0);
}

void BrowseForFileDialog::browseOtherLocation()
{
    m_treeView->show();
    m_captionLabel->setText(openModeCaption());
}

void BrowseForFileDialog::changeODDItem(dev_t device, int status)
{
    const QStringList* filters = m_model->nameFilters();
    if (m_discNumber < 0 || !filters || filters->isEmpty() || status != 4 || !m_discFile.isEmpty())
        return;
    PartitionRecord* copy = nullptr;
    {
        const DiskList disks = m_prober->snapshot();
        const PartitionRecord* record = disks.partitionByDev(device);
        if (record && record->path)
            copy = copyPartitionRecord(record);
    }
    if (!copy)
        return;
    releaseDisc();
    m_disc = copy;
    const bool optical = m_disc->disk && m_disc->disk->kind == DiskKindOptical;
    const char* directory =
        MountTable::instance()->mount(m_disc->path, optical ? nullptr : m_disc->fsName, nullptr, nullptr);
    if (!directory) {
        freePartitionRecord(m_disc);  // nothing mounted: the disc stays in the drive
        m_disc = nullptr;
        return;
    }
    const QString expected = filters->first();
    const QString file = QString::fromUtf8(directory) + QLatin1Char('/') + expected;
    if (!expected.contains(QLatin1Char('/')) && QFileInfo(file).isFile()) {
        disconnect(m_prober, &DeviceProber::oddStatusChanged, this, &BrowseForFileDialog::changeODDItem);
        m_discFile = file;
        m_fileNameEdit->setText(expected);
        accept();
        return;
    }
    releaseDisc();
    CDROMManager::instance()->eject(device);
}

void BrowseForFileDialog::releaseDisc()
{
    if (!m_disc)
        return;
    MountTable::instance()->unmount(m_disc->path);
    freePartitionRecord(m_disc);
    m_disc = nullptr;
    m_discFile.clear();
}

void BrowseForFileDialog::setAuth()
{
    smbContext();
    SmbCredentialStore* store = SmbCredentialStore::instance();
    if (!store)
        return;
    const QString key = m_credentialsAction->data().toString();
    PasswordDialog dialog(this, true, PasswordDialog::UserField | PasswordDialog::PasswordField, QString(),
                          passwordDialogFlags());
    if (dialog.exec() == QDialog::Accepted)
        store->setCredentials(key, dialog.user(), dialog.password());
}

void BrowseForFileDialog::rememberExpanded(const QModelIndex& index)
{
    m_lastExpanded = index;
}

QModelIndex BrowseForFileDialog::expandedNodeOf(const QString& key) const
{
    if (!m_lastExpanded.isValid())
        return QModelIndex();
    const QModelIndex index = m_lastExpanded;
    const int type = index.data(FilesystemModel::ItemTypeRole).toInt();
    const QStringList names =
        index.data(FilesystemModel::WindowsPathRole).toString().split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    QString nodeKey;
    if (type == IFilesystemItem::ServerType && names.size() == 1)
        nodeKey = SmbCredentialStore::serverKey(names.at(0));
    else if ((type == IFilesystemItem::ShareType) && names.size() >= 2)
        nodeKey = SmbCredentialStore::shareKey(names.at(0), names.at(1));
    return nodeKey == SmbCredentialStore::normalizedKey(key) ? index : QModelIndex();
}

void BrowseForFileDialog::askCredentials(const QString& key, int refusals)
{
    // Only the dialog whose tree opened the refused node asks; a request
    // of another dialog, or one that came after its node was closed, waits
    // for the node to be opened again.
    SmbCredentialStore* store = SmbCredentialStore::instance();
    if (!isVisible() || !store || !expandedNodeOf(key).isValid())
        return;
    PasswordDialog dialog(this, refusals <= 1, PasswordDialog::UserField | PasswordDialog::PasswordField,
                          QString(), passwordDialogFlags());
    const bool accepted = dialog.exec() == QDialog::Accepted;
    // The model may have been rebuilt while the prompt was open: the node
    // is found again through a persistent index, never kept as a pointer.
    const QModelIndex node = expandedNodeOf(key);
    if (!accepted) {
        store->setState(key, SmbCredentialStore::AuthCancelled);
        store->clearRefusals(key);
        if (node.isValid())
            m_treeView->collapse(node);
        return;
    }
    store->setCredentials(key, dialog.user(), dialog.password());
    if (node.isValid()) {
        // Opening the node again lists it with the new login.
        m_treeView->collapse(node);
        m_treeView->expand(node);
    }
}

void BrowseForFileDialog::showAccessDenied(const QString& key)
{
    const QModelIndex node = expandedNodeOf(key);
    if (!isVisible() || !node.isValid())
        return;
    m_treeView->collapse(node);
    message(tr("Error!"), tr("The server refused the user name or password for %1.").arg(key), true);
}
