#include "programs/rescue/console/clone_dlg.h"

#include "programs/rescue/console/clone_widgets.h"
#include "platform/linux/device_prober.h"
#include "jobs/job_messages.h"
#include "programs/rescue/console/restore_target.h"
#include "wizard/start_bk_widget.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QPushButton>

namespace {

const char kConfirmIcon[] = ":images/warning_L.png";

QString partitionText(const ClonePartition& partition)
{
    return JobMessages::partitionName(partition.letter, partition.label, partition.plan.bytes,
                                      partition.plan.path);
}

}  // namespace

CloneDlg::CloneDlg(const QString& title, QWidget* parent)
    : WizardFrame(parent, title, {tr("Step 1"), tr("Step 2"), tr("Step 3")},
                  {tr("choose partition"), tr("choose destination"), tr("start clone")}, kConsoleSteps)
{
    setAccessibleName(tr("Clone wizard"));
    setObjectName(QStringLiteral("CloneDlg"));
    m_page1 = new CloneWidget1(this);
    m_page2 = new CloneWidget2(m_page1, this);
    m_page3 = new CloneWidget3(this);
    m_progress = new StartBkWidget(this, false);
    m_progress->showCloneTexts();
    setPages(m_page1, m_page2, m_page3, m_progress);
    showStep1();
}

// A job still running is cancelled and waited for before its worker goes.
CloneDlg::~CloneDlg()
{
    stopWorker();
}

void CloneDlg::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F5) {
        DeviceProber::instance()->startProbe();
        return;
    }
    WizardFrame::keyReleaseEvent(event);
}

QString CloneDlg::sourceText() const
{
    return partitionText(m_page1->chosen());
}

QString CloneDlg::destinationText() const
{
    return partitionText(m_page2->chosen());
}

ClonePlan::Result CloneDlg::plan() const
{
    return ClonePlan::plan(m_page1->chosen().plan, m_page2->chosen().plan,
                           m_page3->pageCheckBox()->isChecked(), m_page3->hibnateCheckBox()->isChecked());
}

bool CloneDlg::prepareStep(int step)
{
    // Going back needs nothing; going on needs the choices of the steps
    // before: step 2 judges every partition against the source.
    if (step <= currentStep())
        return true;
    const ClonePlan::Result result = plan();
    if ((step >= 2 && result.sourceRefused) || (step >= 3 && result.refused()))
        return !showMessageBox(JobMessages::cloneProblem(result));
    return true;
}

void CloneDlg::startRestore()
{
    if (jobActive())
        return;
    const ClonePlan::Result result = plan();
    if (showMessageBox(JobMessages::cloneProblem(result)))
        return;
    const QString destination = destinationText();
    if (message(tr("Warning"), JobMessages::cloneQuestion(destination, sourceText()), true, kConfirmIcon) !=
        1)
        return;
    // Writing under a mounted file system would corrupt both. The console's
    // own mounts (a place the file browser opened) it ends itself; another
    // program's mount is for the user to end.
    if (!RestoreTarget::unmountConsoleMounts(m_page2->chosen().plan.path)) {
        showMessageBox(JobMessages::cloneDestinationInUse(destination));
        return;
    }
    m_jobSource = sourceText();
    m_jobDestination = destination;
    jobWorker();
    m_worker->setClone(result.request, result.fsCode);
    showRunning();
    m_worker->startJob();
}

void CloneDlg::jobEnded()
{
    if (!m_worker)
        return;
    m_worker->wait();
    // The destination's file system, label and used space changed: the
    // lists read the disks again.
    DeviceProber::instance()->startProbe();
    endJob(tr("Failed"), tr("Clone failed!"), tr("Success"),
           JobMessages::cloneSucceeded(m_jobSource, m_jobDestination, jobSeconds()),
           JobMessages::cloneCancelled(m_jobDestination));
}
