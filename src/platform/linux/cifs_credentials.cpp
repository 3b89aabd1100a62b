#include "platform/linux/cifs_credentials.h"

#include <QDir>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool hasLineBreakOrNul(const QByteArray& text)
{
    return text.contains('\n') || text.contains('\r') || text.contains('\0');
}

bool writeAll(int fd, const QByteArray& bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

}  // namespace

bool CifsCredentialsFile::isPassable(const QByteArray& user, const QByteArray& password)
{
    if (user.isEmpty() || hasLineBreakOrNul(user) || hasLineBreakOrNul(password))
        return false;
    if (user.contains('%') || user.contains(','))
        return false;
    return user.trimmed() == user;
}

CifsCredentialsFile::~CifsCredentialsFile()
{
    if (!m_path.isEmpty())
        ::unlink(m_path.constData());
}

bool CifsCredentialsFile::write(const QByteArray& user, const QByteArray& password, const QByteArray& folder)
{
    if (!m_path.isEmpty()) {
        ::unlink(m_path.constData());
        m_path.clear();
    }
    if (!isPassable(user, password)) {
        errno = EINVAL;
        return false;
    }
    const QByteArray base = folder.isEmpty() ? QFile::encodeName(QDir::tempPath()) : folder;
    // The path becomes a mount option: a comma in it would start another one.
    if (base.contains(',')) {
        errno = EINVAL;
        return false;
    }
    QByteArray name = base + "/cifs-credentials-XXXXXX";
    const int fd = ::mkstemp(name.data());  // mode 0600, a name nobody else has
    if (fd < 0)
        return false;
    const bool written = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 &&
                         writeAll(fd, "username=" + user + "\npassword=" + password + "\n");
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
        ::unlink(name.constData());
        errno = written ? errno : writeError;
        return false;
    }
    m_path = name;
    return true;
}
