// The storage layer's log line for a call that failed: each value quoted
// once, as it stands, whatever it holds.
#include "platform/linux/errno_text.h"
#include "storage/parted_sanitizer_options.h"

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <cerrno>

namespace {

QStringList g_lines;
QList<QtMsgType> g_types;

void Record(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    g_types.append(type);
    g_lines.append(text);
}

class CapturedLog {
public:
    CapturedLog() : m_previous(qInstallMessageHandler(&Record))
    {
        g_lines.clear();
        g_types.clear();
    }
    ~CapturedLog() { qInstallMessageHandler(m_previous); }

private:
    QtMessageHandler m_previous;
};

TEST(FailedCallLog, EachValueIsQuotedOnce)
{
    struct Case {
        QtMsgType type;
        const char* action;
        const char* subject;
        int error;
        const char* line;
    };
    const Case cases[] = {
        {QtCriticalMsg, "stat", "smb://srv/share/a.txt", EINVAL,
         "Unable to stat \"smb://srv/share/a.txt\", errno=22, \"Invalid argument\""},
        {QtWarningMsg, "list", "smb://srv/", EACCES,
         "Unable to list \"smb://srv/\", errno=13, \"Permission denied\""},
        // Markers of the formatting code stay text.
        {QtWarningMsg, "umount", "/tmp/100%1 %s \"x\"", ENOENT,
         "Unable to umount \"/tmp/100%1 %s \"x\"\", errno=2, \"No such file or directory\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(
            failedCallText(QString::fromUtf8(c.action), QString::fromUtf8(c.subject), c.error).toStdString(),
            c.line);
        CapturedLog log;
        logFailedCall(c.type, QString::fromUtf8(c.action), QString::fromUtf8(c.subject), c.error);
        ASSERT_EQ(g_lines.size(), 1);
        EXPECT_EQ(g_lines.first().toStdString(), c.line);
        EXPECT_EQ(g_types.first(), c.type);
    }
}

}  // namespace
