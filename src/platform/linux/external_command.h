// Runs a helper program in the C locale with the caller's PATH, collecting
// its standard output and standard error together.
#ifndef RESCUE_STORAGE_EXTERNAL_COMMAND_H
#define RESCUE_STORAGE_EXTERNAL_COMMAND_H

#include <QProcess>
#include <QString>
#include <QStringList>

class ExternalCommand : public QProcess {
    Q_OBJECT

public:
    ExternalCommand(const QString& program, const QStringList& arguments);
    ~ExternalCommand() override;

    // Starts the program and waits for it, timeoutMs for starting and again
    // for finishing. True when it started, finished and exited normally,
    // whatever its exit code. A program still running at the timeout is
    // killed.
    bool execute(int timeoutMs);

    // -1 until the program exits normally.
    int exitCode() const { return m_exitCode; }
    const QString& output() const { return m_output; }

private slots:
    void onFinished(int exitCode);
    void onReadOutput();

private:
    // Reports a timeout and stops the program when it still runs.
    void giveUp();
    void stopRunaway();

    QString m_program;
    QStringList m_arguments;
    int m_exitCode = -1;
    QString m_output;
};

#endif
