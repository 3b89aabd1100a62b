#include "clone_widgets.h"

#include "page_style.h"

#include "tree_model.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>

namespace {

const int kPageWidth = 530;
const int kPageHeight = 400;
const char* const kHeadingStyle = "font: 75 16pt \"wenquanyi\";\ncolor: rgb(255, 255, 255);";
const char* const kRowStyle = "font: 75 15pt \"wenquanyi\";\ncolor: rgb(255, 255, 255);";

}  // namespace

ClonePartitionPage::ClonePartitionPage(const QString& heading, const QString& rowLabel, QWidget* parent)
    : QWidget(parent)
{
    setWindowTitle(tr("Form"));
    resize(kPageWidth, kPageHeight);

    m_heading = new QLabel(heading, this);
    m_heading->setObjectName(QStringLiteral("headingLabel"));
    m_heading->setStyleSheet(QString::fromLatin1(kHeadingStyle));
    m_heading->setGeometry(10, 5, kPageWidth - 20, 30);

    m_tree = new QTreeView(this);
    m_tree->setObjectName(QStringLiteral("treeView"));
    m_tree->setAccessibleName(heading);
    m_tree->setStyleSheet(PageStyle::treeStyle());
    m_tree->setGeometry(10, 45, kPageWidth - 20, 290);
    m_tree->setItemsExpandable(true);
    m_tree->setModel(new TreeModel(m_tree));
    PageStyle::fitPartitionColumns(m_tree->header());
    m_tree->expandAll();
    connect(m_tree->model(), &QAbstractItemModel::modelReset, m_tree, &QTreeView::expandAll);
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &ClonePartitionPage::showChosen);

    auto* row = new QLabel(rowLabel, this);
    row->setObjectName(QStringLiteral("rowLabel"));
    row->setStyleSheet(QString::fromLatin1(kRowStyle));
    row->setGeometry(10, 350, 220, 30);

    m_line = new QLineEdit(this);
    m_line->setObjectName(QStringLiteral("lineEdit"));
    m_line->setReadOnly(true);
    row->setBuddy(m_line);  // names the field for assistive tools
    m_line->setGeometry(235, 350, kPageWidth - 245, 30);
}

void ClonePartitionPage::showChosen()
{
    const QModelIndex current = m_tree->currentIndex();
    const QModelIndex name = current.sibling(current.row(), TreeModel::NameColumn);
    m_line->setText(current.parent().isValid() ? name.data().toString() : QString());
}

CloneWidget1::CloneWidget1(QWidget* parent)
    : ClonePartitionPage(tr("Select a source partition"), tr("Source partition:"), parent)
{}

CloneWidget2::CloneWidget2(QWidget* parent)
    : ClonePartitionPage(tr("Select a destination partition"), tr("Destination partition:"), parent)
{}

CloneWidget3::CloneWidget3(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(tr("Form"));
    resize(kPageWidth, kPageHeight);
    m_box = new QGroupBox(tr("Clone option"), this);
    m_box->setObjectName(QStringLiteral("groupBox"));
    m_box->setStyleSheet(
        QStringLiteral("QGroupBox { font: 75 15pt \"wenquanyi\"; color: rgb(255, 255, 255);"
                       " border: 1px solid rgba(255, 255, 255, 120); border-radius: 4px; margin-top: 14px; }"
                       "QGroupBox::title { subcontrol-origin: margin; left: 10px; padding: 0 4px; }") +
        PageStyle::checkBoxStyle());
    m_box->setGeometry(10, 10, kPageWidth - 20, 140);
    m_page = new QCheckBox(tr("filter page file"), m_box);
    m_page->setObjectName(QStringLiteral("pageCheckBox"));
    m_page->setGeometry(20, 40, 400, 30);
    m_hibernate = new QCheckBox(tr("filter hibernate file"), m_box);
    m_hibernate->setObjectName(QStringLiteral("hibnateCheckBox"));
    m_hibernate->setGeometry(20, 85, 400, 30);
}
