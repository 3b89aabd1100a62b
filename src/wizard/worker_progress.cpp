#include "wizard/worker_progress.h"

#include "jobs/quarn_thread.h"
#include "wizard/start_bk_widget.h"

void showProgressOf(QuarnThread* worker, StartBkWidget* page)
{
    QObject::connect(worker, &QuarnThread::progressChanged, page, &StartBkWidget::setValue);
    QObject::connect(worker, &QuarnThread::sendTotalUsedBytes, page, &StartBkWidget::recvTotalUsedBytes);
    QObject::connect(worker, &QuarnThread::processBytesSig, page, &StartBkWidget::processBytes);
    QObject::connect(worker, &QuarnThread::displayNameSig, page, &StartBkWidget::displayName);
    QObject::connect(worker, &QuarnThread::displayStateSig, page, &StartBkWidget::displayState);
    QObject::connect(worker, &QuarnThread::phaseStarted, page, &StartBkWidget::showPhase);
}
