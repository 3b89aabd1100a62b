#include "platform/linux/external_command.h"

#include <QByteArray>

#include <cstdio>

ExternalCommand::ExternalCommand(const QString& program, const QStringList& arguments)
    : QProcess(nullptr), m_program(program), m_arguments(arguments)
{
    setEnvironment(QStringList{QStringLiteral("LC_ALL=C"),
                               QStringLiteral("PATH=") + QString::fromLocal8Bit(qgetenv("PATH"))});
    setProcessChannelMode(QProcess::MergedChannels);
    connect(this, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &ExternalCommand::onFinished);
    connect(this, &QProcess::readyReadStandardOutput, this, &ExternalCommand::onReadOutput);
}

ExternalCommand::~ExternalCommand()
{
    stopRunaway();
}

bool ExternalCommand::execute(int timeoutMs)
{
    start(m_program, m_arguments, QIODevice::ReadWrite);
    if (!waitForStarted(timeoutMs)) {
        giveUp();
        return false;
    }
    closeWriteChannel();
    if (!waitForFinished(timeoutMs)) {
        giveUp();
        return false;
    }
    onReadOutput();
    return exitStatus() == QProcess::NormalExit;
}

void ExternalCommand::giveUp()
{
    if (error() == QProcess::Timedout) {
        fputs("(Command timeout while starting)\n", stdout);
        fflush(stdout);
    }
    stopRunaway();
}

void ExternalCommand::stopRunaway()
{
    if (state() == QProcess::NotRunning)
        return;
    kill();
    waitForFinished(-1);
}

void ExternalCommand::onFinished(int exitCode)
{
    // A killed or crashed program leaves no exit code.
    if (exitStatus() == QProcess::NormalExit)
        m_exitCode = exitCode;
}

void ExternalCommand::onReadOutput()
{
    QByteArray bytes = readAllStandardOutput();
    int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    m_output += QString::fromUtf8(bytes);
}
