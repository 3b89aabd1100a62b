#include "programs/desktop/desk_main_dlg.h"

#include "programs/desktop/desk_backup_dlg.h"
#include "programs/desktop/desk_restore_dlg.h"
#include "programs/desktop/desk_wizard_frame.h"
#include "wizard/event_button.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace desk {

namespace {

MainDlg::ToolsMaker toolsMaker = nullptr;

const char kCaptionStyle[] = "font: 75 12pt \"wenquanyi\";\ncolor: rgb(255, 255, 255);";

EventButton* newHoverButton(QWidget* parent, const char* name, const QString& tip, int x, const QSize& size)
{
    EventButton* button = new EventButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(x, 125, size.width(), size.height());
    button->setStyleSheet(QStringLiteral("background-color:#181818"));
    button->setToolTip(tip);
    button->setAccessibleName(tip);
    return button;
}

QLabel* newCaption(QWidget* parent, const QString& text, int x, int y, int width)
{
    QLabel* label = new QLabel(text, parent);
    label->setGeometry(x, y, width, 24);
    label->setAlignment(Qt::AlignHCenter);
    label->setStyleSheet(QLatin1String(kCaptionStyle));
    return label;
}

}  // namespace

void MainDlg::setToolsMaker(ToolsMaker maker)
{
    toolsMaker = maker;
}

MainDlg::MainDlg(QWidget* parent) : BaseDlg(parent)
{
    resize(800, 600);
    m_backgroundPath = QStringLiteral(":images/main_bg.png");
    m_titleText = tr("Sorvik Tavimo Recover");
    setWindowTitle(m_titleText);
    useWindowManagerFrame();
    initTitleBar();
    useDesktopHelpBox(this, m_helpButton);

    QPixmap buttonPicture(QStringLiteral(":images/Back_N.png"));
    const QSize size = buttonPicture.isNull() ? QSize(140, 140) : buttonPicture.size();
    m_bkButton = newHoverButton(this, "m_bkButton", tr("Backup"), 130, size);
    m_rtButton = newHoverButton(this, "m_rtButton", tr("Restore"), 330, size);
    m_toolButton = newHoverButton(this, "m_toolButton", tr("Tools"), 530, size);
    connect(m_bkButton, &QPushButton::clicked, this, &MainDlg::showBkWidget);
    connect(m_rtButton, &QPushButton::clicked, this, &MainDlg::showRtWidget);
    connect(m_toolButton, &QPushButton::clicked, this, &MainDlg::showToolWidget);
    connect(m_bkButton, &EventButton::enterButton, this, &MainDlg::showBk);
    connect(m_rtButton, &EventButton::enterButton, this, &MainDlg::showRt);
    connect(m_toolButton, &EventButton::enterButton, this, &MainDlg::showTools);
    const int captionY = 125 + size.height() + 8;
    newCaption(this, tr("Backup"), 130, captionY, size.width());
    newCaption(this, tr("Restore"), 330, captionY, size.width());
    newCaption(this, tr("Tools"), 530, captionY, size.width());

    m_arrow = new QLabel(this);
    const QPixmap arrow(QStringLiteral(":images/arrow_AP_Desc.png"));
    m_arrow->setPixmap(arrow);
    m_arrowWidth = arrow.width();
    m_arrowHeight = arrow.height();
    moveArrow(170);
    m_titleLabel = new QLabel(tr("Backup"), this);
    m_titleLabel->setGeometry(100, 380, 150, 20);
    m_titleLabel->setStyleSheet(QStringLiteral("font: 12pt \"wenquanyi\";\ncolor: rgb(255, 255, 255);"));
    m_descLabel = new QLabel(tr("Backup partition to image"), this);
    m_descLabel->setGeometry(100, 405, 600, 60);
    m_descLabel->setWordWrap(true);
    m_descLabel->setStyleSheet(QStringLiteral("font: 75 11pt \"wenquanyi\";\ncolor: rgb(255, 255, 255);"));

    m_quitButton = new QPushButton(tr("Quit"), this);
    m_quitButton->setObjectName(QStringLiteral("m_quitButton"));
    m_quitButton->setToolTip(tr("Quit"));
    m_quitButton->setGeometry(615, 510, 140, 34);
    connect(m_quitButton, &QPushButton::clicked, this, &MainDlg::close);
}

void MainDlg::moveArrow(int x)
{
    m_arrow->setGeometry(x, 328 - m_arrowHeight, m_arrowWidth, m_arrowHeight);
}

void MainDlg::showDialog(QWidget* dialog)
{
    if (!dialog)
        return;
    hide();
    dialog->show();
}

// Each dialog is built as it opens, so that it starts from its defaults and
// lists the machine as it is now (the image a backup has just made, the
// sizes a restore has just changed). The one left from an earlier visit is
// hidden and has no job running: its job ended before it came back here.
template <typename Dialog>
Dialog* MainDlg::rebuild(Dialog*& dialog, const std::function<Dialog*()>& make)
{
    if (dialog && dialog->isVisible())
        return dialog;
    delete dialog;
    dialog = make();
    if (dialog) {
        dialog->hide();
        connect(dialog, SIGNAL(returnMainDlg()), this, SLOT(showMain()));
    }
    return dialog;
}

void MainDlg::showBkWidget()
{
    showDialog(rebuild<BackupDlg>(m_backupDlg, [this] { return new BackupDlg(this); }));
}

void MainDlg::showRtWidget()
{
    showDialog(rebuild<RestoreDlg>(m_restoreDlg, [this] { return new RestoreDlg(this); }));
}

void MainDlg::showToolWidget()
{
    showDialog(rebuild<QWidget>(m_toolsDlg, [this] { return toolsMaker ? toolsMaker(this) : nullptr; }));
}

void MainDlg::showBk()
{
    moveArrow(170);
    m_titleLabel->setText(tr("Backup Partition"));
    m_descLabel->setText(
        tr("Back up your partition to an image; you can restore your partition from this image!"));
}

void MainDlg::showRt()
{
    moveArrow(370);
    m_titleLabel->setText(tr("Restore Partition"));
    m_descLabel->setText(tr("You can restore a partition from an image that you backed up before!"));
}

void MainDlg::showTools()
{
    moveArrow(570);
    m_titleLabel->setText(tr("Tools"));
    m_descLabel->setText(tr("Some useful tools for backup and restore!"));
}

void MainDlg::showMain()
{
    show();
    if (m_backupDlg)
        m_backupDlg->hide();
    if (m_restoreDlg)
        m_restoreDlg->hide();
    if (m_toolsDlg)
        m_toolsDlg->hide();
}

}  // namespace desk
