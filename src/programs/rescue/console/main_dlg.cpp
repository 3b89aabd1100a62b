#include "programs/rescue/console/main_dlg.h"

#include "programs/rescue/console/backup_dlg.h"
#include "wizard/base_msg_dlg.h"
#include "programs/rescue/console/clone_dlg.h"
#include "platform/linux/device_prober.h"
#include "wizard/event_button.h"
#include "jobs/quarn_thread.h"
#include "programs/rescue/console/restore_dlg.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QThread>

namespace {

const char* const kCaptionStyle = "font: 75 15pt \"wenquanyi\";\ncolor: rgb(255, 255, 255);";
const int kArrowBottom = 327;

}  // namespace

MainDlg::MainDlg(const QString& title, QWidget* parent) : BaseDlg(parent, Qt::WindowFlags(), true)
{
    Q_UNUSED(title);  // the frameless window shows no title
    m_titleText.clear();
    m_backgroundPath = QStringLiteral(":images/main_bg.png");
    setObjectName(QStringLiteral("MainDlg"));
    setAccessibleName(tr("Main window"));
    resize(800, 600);
    initTitleBar();

    const QSize big = QPixmap(QStringLiteral(":images/Back_N.png")).size();
    const int w = big.width();
    const int h = big.height();

    createWizards();

    struct BigButton {
        EventButton** button;
        const char* name;
        int x;
        QString tip;
        void (MainDlg::*open)();
        void (MainDlg::*hover)();
    };
    const BigButton buttons[] = {
        {&m_bkButton, "m_bkButton", 130, tr("Backup"), &MainDlg::showBkWidget, &MainDlg::showBk},
        {&m_rtButton, "m_rtButton", 330, tr("Restore"), &MainDlg::showRtWidget, &MainDlg::showRt},
        {&m_cloneButton, "m_cloneButton", 530, tr("Clone Partition"), &MainDlg::showCloneWidget,
         &MainDlg::showClone},
    };
    for (const BigButton& b : buttons) {
        auto* button = new EventButton(this);
        button->setObjectName(QString::fromLatin1(b.name));
        button->setStyleSheet(QStringLiteral("background-color:#181818"));
        button->setGeometry(b.x, 125, w, h);
        button->setToolTip(b.tip);
        button->setAccessibleName(b.tip);
        connect(button, &QPushButton::clicked, this, b.open);
        connect(button, &EventButton::enterButton, this, b.hover);
        *b.button = button;
    }

    const struct {
        QString text;
        int left;
        int right;
    } captions[] = {{tr("Backup"), 160, 279}, {tr("Restore"), 356, 475}, {tr("Clone Partition"), 544, 693}};
    for (const auto& c : captions) {
        auto* label = new QLabel(c.text, this);
        label->setStyleSheet(QString::fromLatin1(kCaptionStyle));
        label->setGeometry(c.left, h + 135, c.right - c.left + 1, 20);
    }

    const QPixmap arrow(QStringLiteral(":images/arrow_AP_Desc.png"));
    m_arrowWidth = arrow.width();
    m_arrowHeight = arrow.height();
    m_arrowLabel = new QLabel(this);
    m_arrowLabel->setObjectName(QStringLiteral("arrowLabel"));
    m_arrowLabel->setPixmap(arrow);
    m_arrowLabel->resize(m_arrowWidth, m_arrowHeight);
    pointArrowAt(170);

    m_hoverTitle = new QLabel(tr("Backup"), this);
    m_hoverTitle->setObjectName(QStringLiteral("hoverTitleLabel"));
    m_hoverTitle->setStyleSheet(QStringLiteral("font: 14pt \"wenquanyi\";\ncolor: rgb(255, 255, 255);"));
    m_hoverTitle->setGeometry(100, 380, 150, 20);
    m_hoverText = new QLabel(tr("Backup partition to image"), this);
    m_hoverText->setObjectName(QStringLiteral("hoverTextLabel"));
    m_hoverText->setStyleSheet(QString::fromLatin1(kCaptionStyle));
    m_hoverText->setWordWrap(true);
    m_hoverText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_hoverText->setGeometry(100, 405, 600, 60);

    m_quitButton = new QPushButton(tr("Quit"), this);
    m_quitButton->setObjectName(QStringLiteral("m_quitButton"));
    m_quitButton->setStyleSheet(QString::fromLatin1(kCaptionStyle));
    m_quitButton->setGeometry(615, 510, 140, 34);
    m_quitButton->setToolTip(tr("Quit"));
    connect(m_quitButton, &QPushButton::clicked, this, &QWidget::close);

    waitForFirstProbe();
}

MainDlg::~MainDlg()
{
    m_closing = true;
    delete m_bkDlg;
    delete m_rtDlg;
    delete m_cloneDlg;
}

void MainDlg::waitForFirstProbe()
{
    BaseMsgDlg box(tr("Initialize"), tr("Probing system devices ......  "),
                   QStringLiteral(":images/MsgIcon_Info.png"), this, false, false);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        box.move((area.width() - box.width()) / 2, (area.height() - box.height()) / 2);
    }
    DeviceProber* prober = DeviceProber::instance();
    connect(prober, &DeviceProber::probeFinished, &box, &QDialog::reject);
    prober->startProbe();
    box.exec();
}

// Each wizard is made once and reused for every later visit.
void MainDlg::createWizards()
{
    if (!m_bkDlg) {
        m_bkDlg = new BackupDlg(this);
        connect(m_bkDlg, &BackupDlg::returnMainDlg, this, &MainDlg::showMain);
        watchWizard(m_bkDlg);
    }
    if (!m_rtDlg) {
        m_rtDlg = new RestoreDlg(this, QString());
        connect(m_rtDlg, &RestoreDlg::returnMainDlg, this, &MainDlg::showMain);
        watchWizard(m_rtDlg);
    }
    if (!m_cloneDlg) {
        m_cloneDlg = new CloneDlg(QString(), this);
        connect(m_cloneDlg, &CloneDlg::returnMainDlg, this, &MainDlg::showMain);
        watchWizard(m_cloneDlg);
    }
}

QList<BaseDlg*> MainDlg::wizards() const
{
    QList<BaseDlg*> list;
    for (BaseDlg* wizard : {static_cast<BaseDlg*>(m_bkDlg), static_cast<BaseDlg*>(m_rtDlg),
                            static_cast<BaseDlg*>(m_cloneDlg)}) {
        if (wizard)
            list << wizard;
    }
    return list;
}

void MainDlg::watchWizard(BaseDlg* wizard)
{
    wizard->installEventFilter(this);
}

void MainDlg::openWizard(BaseDlg* wizard)
{
    if (!wizard)
        return;
    hide();
    wizard->show();
}

void MainDlg::showBkWidget()
{
    createWizards();
    openWizard(m_bkDlg);
}

void MainDlg::showRtWidget()
{
    createWizards();
    openWizard(m_rtDlg);
}

void MainDlg::showCloneWidget()
{
    createWizards();
    openWizard(m_cloneDlg);
}

void MainDlg::pointArrowAt(int left)
{
    m_arrowLabel->move(left, kArrowBottom - m_arrowHeight);
}

void MainDlg::showBk()
{
    pointArrowAt(170);
    m_hoverTitle->setText(tr("Backup Partition"));
    m_hoverText->setText(
        tr("Back up your partition to an image; you can restore your partition from this image!"));
}

void MainDlg::showRt()
{
    pointArrowAt(370);
    m_hoverTitle->setText(tr("Restore Partition"));
    m_hoverText->setText(tr("You can restore a partition from an image that you backed up before!"));
}

void MainDlg::showClone()
{
    pointArrowAt(570);
    m_hoverTitle->setText(tr("Clone Partition"));
    m_hoverText->setText(tr("You can choose a partition to clone to another partition!"));
}

void MainDlg::showMain()
{
    show();
    for (BaseDlg* wizard : wizards())
        wizard->hide();
}

bool MainDlg::jobRunning() const
{
    if (m_bkDlg && m_bkDlg->jobActive())
        return true;
    if (m_rtDlg && m_rtDlg->worker() && m_rtDlg->worker()->isRunning())
        return true;
    for (BaseDlg* wizard : wizards()) {
        for (QThread* thread : wizard->findChildren<QThread*>()) {
            if (thread->isRunning())
                return true;
        }
    }
    return false;
}

bool MainDlg::refuseWhileJobRuns()
{
    if (!jobRunning())
        return false;
    BaseMsgDlg box(tr("Warning"),
                   tr("A backup or restore is still running. Cancel it or wait until it ends."),
                   QStringLiteral(":images/MsgIcon_Warning.png"), this, true, false);
    box.exec();
    return true;
}

void MainDlg::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_M && event->modifiers() == Qt::AltModifier) {
        if (!refuseWhileJobRuns())
            done(2);
    } else if (event->key() == Qt::Key_F5) {
        DeviceProber::instance()->startProbe();
    }
}

void MainDlg::closeEvent(QCloseEvent* event)
{
    if (refuseWhileJobRuns()) {
        event->ignore();
        return;
    }
    BaseDlg::closeEvent(event);
}

bool MainDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Hide && !m_closing && !isVisible()) {
        bool anyWizardShown = false;
        for (BaseDlg* wizard : wizards())
            anyWizardShown = anyWizardShown || wizard->isVisible();
        if (!anyWizardShown)
            showMain();
    }
    return BaseDlg::eventFilter(watched, event);
}
