// Names that come from an SMB server (shares, folders, files) end up in
// local paths and URLs; these rules keep them inside the share.
#ifndef SMB_NAMES_H
#define SMB_NAMES_H

#include <QByteArray>
#include <QString>

// False for names that could leave their folder or that no file system
// stores: empty, ".", "..", with "/", "\" or NUL, or longer than 255 bytes
// in UTF-8.
bool isSafeSmbName(const QString& name);
// Checks a name as the library returns it: `length` bytes that must not
// hold a NUL before their end, then as isSafeSmbName.
bool isSafeSmbName(const char* name, size_t length);

// One URL path segment: every byte but the unreserved ones
// (A-Z a-z 0-9 - . _ ~) as %XX of the name's UTF-8.
QString smbUrlSegment(const QString& name);

#endif
