// On Windows the programs run the engine's Windows build.
#include "jobs/quarn_thread.h"

QuarnEngine QuarnEngine::library()
{
    return windowsLibrary();
}
