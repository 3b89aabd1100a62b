// The desktop's engine worker: the console's worker class on the engine's
// Windows entry points, with a debug line before each engine call.
#ifndef DESK_WORKER_H
#define DESK_WORKER_H

#include "jobs/quarn_thread.h"

class StartBkWidget;

namespace desk {

// The entry points of the engine this program runs on: the engine's
// Windows build (over the simulated platform on Linux).
QuarnEngine windowsEngine();

class Worker : public ::QuarnThread {
    Q_OBJECT

public:
    explicit Worker(const QuarnEngine& engine = windowsEngine());
    // The engine used by every worker made from now on; tests run the
    // wizards on a scripted engine through it. Returns the previous one.
    static QuarnEngine setDefaultEngine(const QuarnEngine& engine);
    static QuarnEngine defaultEngine();
    // A worker on the default engine whose progress, sizes, name and state
    // go to the progress page `page`.
    static Worker* reportingTo(StartBkWidget* page);

    // The line written before the engine call ("" when none).
    static const char* debugLine(int operation, int fsType);

protected:
    void jobStarting() override;
};

}  // namespace desk

#endif
