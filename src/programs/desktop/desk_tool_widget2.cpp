#include "programs/desktop/desk_tool_widget2.h"

#include "wizard/base_msg_dlg.h"
#include "programs/desktop/desk_file_dialogs.h"
#include "programs/desktop/desk_paths.h"
#include "jobs/size_text.h"
#include "platform/vetra/vetra.h"
#include "platform/windows_engine/ntfs_recover.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>

#include <memory>
#include <new>

namespace desk {

FileModel::FileModel(const QList<QStringList>& rows, QObject* parent) : QAbstractItemModel(parent)
{
    m_root =
        new FileItem({tr("MFTNo"), tr("File Name"), tr("File Time"), tr("File Size"), tr("Data Integrity")});
    for (const QStringList& row : rows)
        m_root->appendChild(new FileItem(row, m_root));
}

FileModel::~FileModel()
{
    delete m_root;
}

void FileModel::addNewNode(const QStringList& row)
{
    beginInsertRows(QModelIndex(), m_root->childCount(), m_root->childCount());
    m_root->appendChild(new FileItem(row, m_root));
    endInsertRows();
}

QModelIndex FileModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    FileItem* parentItem = parent.isValid() ? static_cast<FileItem*>(parent.internalPointer()) : m_root;
    FileItem* child = parentItem->child(row);
    return child ? createIndex(row, column, child) : QModelIndex();
}

QModelIndex FileModel::parent(const QModelIndex& index) const
{
    if (!index.isValid())
        return QModelIndex();
    FileItem* parentItem = static_cast<FileItem*>(index.internalPointer())->parent();
    if (parentItem == nullptr || parentItem == m_root)
        return QModelIndex();
    return createIndex(parentItem->row(), 0, parentItem);
}

int FileModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    FileItem* item = parent.isValid() ? static_cast<FileItem*>(parent.internalPointer()) : m_root;
    return item->childCount();
}

int FileModel::columnCount(const QModelIndex&) const
{
    return 5;
}

QVariant FileModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return QVariant();
    return static_cast<FileItem*>(index.internalPointer())->data(index.column());
}

QVariant FileModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_root->data(section);
    return QVariant();
}

Qt::ItemFlags FileModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

recoverthread::recoverthread(QObject* parent) : QThread(parent)
{}

recoverthread::~recoverthread()
{
    m_cancel = 1;
    wait();
}

void recoverthread::setVolume(std::string volume)
{
    m_volume = std::move(volume);
    m_mode = 0;
    // Without its engine the recovery reports a failure (m_result below).
    if (!m_recover) {
        try {
            m_recover = std::make_unique<NTFSRecover>();
        } catch (const std::bad_alloc&) {
        }
    }
    if (!m_recover)
        m_result = -1;
}

void recoverthread::recoverOneFile(long record, std::string outputPath)
{
    m_mode = 1;
    m_record = record;
    m_outputPath = std::move(outputPath);
    m_cancel = 0;
    run();
}

void recoverthread::startScan()
{
    m_result = 0;
    m_cancel = 0;
    m_lastProgress = 0;
    m_mode = 0;
    m_record = -1;
    start(QThread::InheritPriority);
}

int recoverthread::reportProgress(int value)
{
    if (value != m_lastProgress) {
        m_lastProgress = value;
        emit progressChanged(value);
    }
    return m_cancel ? -1 : 0;
}

void recoverthread::foundFileCallback(QStringList row, void* user)
{
    emit static_cast<recoverthread*>(user)->fileNodeSig(row);
}

int recoverthread::recoverProgressCallback(int value, void* user)
{
    return static_cast<recoverthread*>(user)->reportProgress(value);
}

void recoverthread::run()
{
    if (!m_recover) {
        m_result = -1;
        return;
    }
    if (m_mode == 0) {
        m_result =
            int(m_recover->ScanPartition(m_volume, {foundFileCallback, recoverProgressCallback, this}));
    } else if (m_record != -1 && !m_outputPath.empty()) {
        m_result = int(m_recover->RecoverFile(static_cast<unsigned long>(m_record), m_outputPath,
                                              recoverProgressCallback));
    }
}

ToolWidget2::ToolWidget2(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(tr("Form"));
    // The page ends above the dialog's divider line.
    resize(530, 380);
    auto* layout = new QGridLayout(this);
    auto* partLabel = new QLabel(tr("Choose partition"), this);
    layout->addWidget(partLabel, 0, 0);
    m_partCombo = new QComboBox(this);
    m_partCombo->setObjectName(QStringLiteral("partCombo"));
    partLabel->setBuddy(m_partCombo);
    layout->addWidget(m_partCombo, 0, 1, 1, 2);
    m_scanBtn = new QPushButton(tr("Scan"), this);
    m_scanBtn->setObjectName(QStringLiteral("scanBtn"));
    m_scanBtn->setMinimumSize(100, 30);
    layout->addWidget(m_scanBtn, 0, 3);
    m_treeView = new QTreeView(this);
    m_treeView->setObjectName(QStringLiteral("treeView"));
    m_treeView->setAccessibleName(tr("Deleted files"));
    m_treeView->setRootIsDecorated(false);
    layout->addWidget(m_treeView, 1, 0, 1, 4);
    auto* hint = new QLabel(
        tr("Select a deleted file in the list above and click \"Recover File\" to recover it."), this);
    hint->setWordWrap(true);
    layout->addWidget(hint, 2, 0, 1, 4);
    m_progressBar = new QProgressBar(this);
    m_progressBar->setObjectName(QStringLiteral("progressBar"));
    m_progressBar->hide();
    layout->addWidget(m_progressBar, 3, 0, 1, 2);
    m_cancelBtn = new QPushButton(tr("Cancel"), this);
    m_cancelBtn->setObjectName(QStringLiteral("cancelBtn"));
    m_cancelBtn->setMinimumSize(100, 30);
    m_cancelBtn->setEnabled(false);
    layout->addWidget(m_cancelBtn, 3, 2);
    m_recoverBtn = new QPushButton(tr("Recover File"), this);
    m_recoverBtn->setObjectName(QStringLiteral("recoverBtn"));
    m_recoverBtn->setMinimumSize(120, 30);
    layout->addWidget(m_recoverBtn, 3, 3);

    m_saveAsAction = new QAction(tr("&Save As"), this);
    m_saveAsAction->setStatusTip(tr("Recover the file to ...!"));
    connect(m_saveAsAction, &QAction::triggered, this, &ToolWidget2::saveAs);
    connect(m_recoverBtn, &QPushButton::clicked, this, &ToolWidget2::saveAs);
    connect(m_partCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ToolWidget2::selectPartSlot);
    connect(m_scanBtn, &QPushButton::clicked, this, &ToolWidget2::scanPartition);
    connect(m_cancelBtn, &QPushButton::clicked, this, &ToolWidget2::cancelScan);
    connect(m_treeView, &QTreeView::pressed, this, &ToolWidget2::pressItemFile);

    for (const _DiskInfo* disk = CVetra::instance()->GetVetra(); disk; disk = disk->Next) {
        for (const _PartInfo* part = disk->PartList; part; part = part->Next) {
            if (part->Letter == 0 || QString::fromStdString(part->FsName).toUpper() != QLatin1String("NTFS"))
                continue;
            const QString label = fromU16(part->Label);
            const QString name =
                QString("%1 (%2:)").arg(label).arg(QChar::fromLatin1(part->Letter).toUpper());
            const int index = m_partCombo->count();
            m_letters[index] = part->Letter;
            m_partCombo->addItem(QString("%1 [%2]").arg(name).arg(formatSize(qint64(part->Capacity))));
        }
    }
    m_letter = m_letters.value(0, 0);
}

ToolWidget2::~ToolWidget2()
{
    delete m_thread;  // waits for a running scan
    m_thread = nullptr;
}

void ToolWidget2::message(const QString& icon, const QString& text, const QString& title)
{
    BaseMsgDlg(title, text, icon, this).exec();
}

void ToolWidget2::selectPartSlot(int index)
{
    m_letter = m_letters.value(index, 0);
}

void ToolWidget2::scanPartition()
{
    if (!m_thread) {
        m_thread = new recoverthread;
        connect(m_thread, &QThread::finished, this, &ToolWidget2::finishScan);
        connect(m_thread, &recoverthread::fileNodeSig, this, &ToolWidget2::addNewNode);
        connect(m_thread, &recoverthread::progressChanged, this, &ToolWidget2::setValue);
    }
    if (m_letter == 0)
        return;
    m_progressBar->setValue(0);
    m_progressBar->show();
    m_cancelBtn->setEnabled(true);
    m_scanBtn->setEnabled(false);
    m_recoverBtn->setEnabled(false);
    m_rows.clear();
    // A file picked from the last scan means nothing on this one.
    m_pickedRecord = -1;
    m_pickedName.clear();
    m_scanLetter = m_letter;
    m_thread->setVolume(QString("%1:\\").arg(QChar::fromLatin1(m_letter)).toStdString());
    m_treeView->setModel(nullptr);
    delete m_model;
    m_model = nullptr;
    m_thread->startScan();
}

void ToolWidget2::cancelScan()
{
    if (!m_thread)
        return;
    m_thread->cancel();
    m_cancelBtn->setEnabled(false);
    m_scanBtn->setEnabled(true);
    m_progressBar->setValue(0);
    m_progressBar->hide();
}

void ToolWidget2::finishScan()
{
    // The rows the worker sent were queued before its end, so all are here.
    m_thread->wait();
    if (m_thread->result() != 0)
        message(QStringLiteral(":images/MsgIcon_Stop.png"), tr("Scan failed!"), tr("Failed"));
    else
        message(QStringLiteral(":images/MsgIcon_Info.png"), tr("Scan success!"), tr("Success"));
    FileModel* old = m_model;
    m_model = new FileModel(m_rows, this);
    m_treeView->setModel(m_model);
    delete old;
    m_progressBar->hide();
    m_cancelBtn->setEnabled(false);
    m_scanBtn->setEnabled(true);
    m_recoverBtn->setEnabled(true);
}

void ToolWidget2::pressItemFile(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    const Qt::MouseButtons buttons = QApplication::mouseButtons();
    if (!(buttons & (Qt::LeftButton | Qt::RightButton)))
        return;
    m_pickedRecord = index.sibling(index.row(), 0).data().toString().toLong();
    m_pickedName = index.sibling(index.row(), 1).data().toString();
    if (buttons & Qt::RightButton) {
        m_treeView->addAction(m_saveAsAction);
        m_treeView->setContextMenuPolicy(Qt::ActionsContextMenu);
    }
}

void ToolWidget2::addNewNode(QStringList row)
{
    m_rows.append(row);
}

void ToolWidget2::saveAs()
{
    if (m_pickedRecord == -1 || !m_thread)
        return;
    FileRequest request;
    request.kind = FileRequest::SaveFile;
    request.caption = tr("Save File As");
    request.startFolder = QStringLiteral(".");
    request.filter = tr("all files (*)");
    const QString answer = chooseFile(this, request);
    if (answer.isEmpty())
        return;
    // Writing onto the scanned volume could overwrite the very clusters
    // being recovered; drive letters compare without regard to case.
    if (answer.at(0).toUpper() == QChar::fromLatin1(m_scanLetter).toUpper()) {
        message(QStringLiteral(":images/MsgIcon_Stop.png"),
                tr("You can't save the file to the scan partition!"), tr("Error"));
        return;
    }
    m_progressBar->setValue(0);
    m_progressBar->hide();
    m_recoverBtn->setEnabled(false);
    m_scanBtn->setEnabled(false);
    m_cancelBtn->setEnabled(false);
    m_thread->recoverOneFile(m_pickedRecord, engineText(answer).toStdString());
    if (m_thread->result() != 0)
        message(QStringLiteral(":images/MsgIcon_Stop.png"), tr("Recover failed!"), tr("Failed"));
    else
        message(QStringLiteral(":images/MsgIcon_Info.png"), tr("Recover success!"), tr("Success"));
    m_recoverBtn->setEnabled(true);
    m_scanBtn->setEnabled(true);
}

void ToolWidget2::setValue(int value)
{
    m_progressBar->setValue(value);
}

}  // namespace desk
