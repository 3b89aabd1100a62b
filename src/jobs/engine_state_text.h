// The engine reports what it is doing with fixed English state texts; the
// progress pages show them in the user's language.
#ifndef JOBS_ENGINE_STATE_TEXT_H
#define JOBS_ENGINE_STATE_TEXT_H

#include <QString>

// The translated text for one of the engine's state texts. A state this
// table does not know is shown as the engine wrote it, so that a new state
// is never hidden.
QString engineStateText(const QString& state);
// Whether the table knows `state` (the tests hold the engine's texts to it).
bool isKnownEngineState(const QString& state);

#endif
