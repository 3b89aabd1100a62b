// A credentials file for mount.cifs, so that a password never stands in
// the helper's arguments (every process listing shows them) and no name
// can inject further mount options.
#ifndef CIFS_CREDENTIALS_H
#define CIFS_CREDENTIALS_H

#include <QByteArray>

class CifsCredentialsFile {
public:
    // Whether the pair can be written as lines of a credentials file and
    // read back unchanged by mount.cifs: no line breaks or NUL in either, and
    // a user name without "%" or "," (mount.cifs splits user names on them)
    // and without leading or trailing blanks.
    static bool isPassable(const QByteArray& user, const QByteArray& password);

    CifsCredentialsFile() = default;
    // Removes the file.
    ~CifsCredentialsFile();
    CifsCredentialsFile(const CifsCredentialsFile&) = delete;
    CifsCredentialsFile& operator=(const CifsCredentialsFile&) = delete;

    // Writes "username=" and "password=" lines into a new file of mode 0600
    // in the temporary folder (or `folder`). False, with errno set, when the
    // pair is not passable (EINVAL) or the file cannot be written.
    bool write(const QByteArray& user, const QByteArray& password, const QByteArray& folder = {});

    const QByteArray& path() const { return m_path; }
    // "credentials=<path>", the mount option that names the file.
    QByteArray mountOption() const { return "credentials=" + m_path; }

private:
    QByteArray m_path;
};

#endif
