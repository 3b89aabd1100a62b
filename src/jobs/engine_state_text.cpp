#include "jobs/engine_state_text.h"

#include <QCoreApplication>

namespace {

struct StateText {
    const char* engine;
    const char* shown;
};

// The engine's own texts (some carry a trailing space or an inconsistent
// spelling; they are matched as written and shown cleaned up).
const StateText kStates[] = {
    {"Initializing ...", QT_TRANSLATE_NOOP("EngineState", "Initializing ...")},
    {"Backing up partition ...", QT_TRANSLATE_NOOP("EngineState", "Backing up partition ...")},
    {"Restoring partition ...", QT_TRANSLATE_NOOP("EngineState", "Restoring partition ...")},
    {"Cloning partition ...", QT_TRANSLATE_NOOP("EngineState", "Cloning partition ...")},
    {"Verifying image ...", QT_TRANSLATE_NOOP("EngineState", "Checking the image ...")},
    {"Finishing restore partition ...", QT_TRANSLATE_NOOP("EngineState", "Finishing the restore ...")},
    {"Finish restore partition", QT_TRANSLATE_NOOP("EngineState", "Partition restored")},
    {"Checking partition ... ", QT_TRANSLATE_NOOP("EngineState", "Checking partition ...")},
    {"Finish", QT_TRANSLATE_NOOP("EngineState", "Finished")},
};

}  // namespace

bool isKnownEngineState(const QString& state)
{
    for (const StateText& known : kStates) {
        if (state == QLatin1String(known.engine))
            return true;
    }
    return false;
}

QString engineStateText(const QString& state)
{
    for (const StateText& known : kStates) {
        if (state == QLatin1String(known.engine))
            return QCoreApplication::translate("EngineState", known.shown);
    }
    return state;
}
