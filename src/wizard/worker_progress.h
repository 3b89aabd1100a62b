// The one wiring of an engine worker to a progress page: progress, the
// job's total, the bytes done, the item's name and the job's state.
#ifndef WIZARD_WORKER_PROGRESS_H
#define WIZARD_WORKER_PROGRESS_H

class QuarnThread;
class StartBkWidget;

// Every report of `worker` reaches `page` (queued, on the page's thread).
void showProgressOf(QuarnThread* worker, StartBkWidget* page);

#endif
