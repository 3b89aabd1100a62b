// The progress pages show the engine's state texts through one table: every
// state the engine reports has a text of its own to translate, and a state
// the table does not know still reaches the user unchanged.
#include "jobs/engine_state_text.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

namespace {

// Every literal state text the engine's sources hand to its progress
// reporter, directly or through the writer a clone shares with a restore.
QSet<QString> statesTheEngineReports()
{
    QSet<QString> states;
    const QRegularExpression call(
        QStringLiteral("(?:ProcessState|WriteFileSystem)\\(QStringLiteral\\(\"([^\"]*)\"\\)"));
    QDirIterator files(QStringLiteral(QUARN_SOURCE_ROOT "/src/quarn"), {QStringLiteral("*.cpp")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        auto matches = call.globalMatch(QString::fromUtf8(file.readAll()));
        while (matches.hasNext())
            states.insert(matches.next().captured(1));
    }
    return states;
}

TEST(EngineStateText, EveryStateTheEngineReportsHasAShownTextOfItsOwn)
{
    const QSet<QString> states = statesTheEngineReports();
    ASSERT_GE(states.size(), 5) << "the engine's sources were read";
    for (const QString& state : states) {
        const QString shown = engineStateText(state);
        EXPECT_TRUE(isKnownEngineState(state)) << "not in the table: " << state.toStdString();
        EXPECT_FALSE(shown.trimmed().isEmpty()) << state.toStdString();
        // Matched, not passed through: the shown text is a cleaned-up one,
        // with no stray spaces at its ends.
        EXPECT_EQ(shown, shown.trimmed()) << state.toStdString();
    }
}

TEST(EngineStateText, KnownStatesReadWellAndUnknownOnesPassUnchanged)
{
    const struct {
        const char* engine;
        const char* shown;
    } cases[] = {
        {"Backing up partition ...", "Backing up partition ..."},
        {"Checking partition ... ", "Checking partition ..."},
        {"Finish restore partition", "Partition restored"},
        {"Finish", "Finished"},
        {"Something new ...", "Something new ..."},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(engineStateText(QString::fromLatin1(c.engine)), QString::fromLatin1(c.shown)) << c.engine;
}

}  // namespace
