#include "programs/desktop/desk_paths.h"

#include "platform/windows/platform.h"
#include "platform/windows/text.h"

#include <QDir>

namespace desk {

QString fromU16(const std::u16string& text)
{
    return QString::fromUtf16(text.data(), static_cast<int>(text.size()));
}

std::u16string toU16(const QString& text)
{
    return text.toStdU16String();
}

QString localPath(const QString& windowsPath)
{
    const std::u16string local = winplat::currentPlatform()->localFilePath(toU16(windowsPath));
    return local.empty() ? windowsPath : fromU16(local);
}

QString windowsPath(const QString& localFile)
{
    const std::u16string path = winplat::currentPlatform()->windowsPathOf(toU16(localFile));
    return path.empty() ? localFile : QDir::toNativeSeparators(fromU16(path));
}

QByteArray engineText(const QString& text)
{
    return text.toUtf8();
}

QString driveRootOf(QChar letter)
{
    return QString(letter.toUpper()) + QStringLiteral(":\\");
}

QString nativeSeparators(const QString& path)
{
    QString native = path;
    return native.replace('/', '\\');
}

QString withSeparator(const QString& folder)
{
    if (folder.endsWith('\\') || folder.endsWith('/'))
        return folder;
    return folder + '\\';
}

QString fileNamePart(const QString& path)
{
    const int cut = qMax(path.lastIndexOf('\\'), path.lastIndexOf('/'));
    return path.mid(cut + 1);
}

QString folderPart(const QString& path)
{
    const int cut = qMax(path.lastIndexOf('\\'), path.lastIndexOf('/'));
    return cut < 0 ? QString() : path.left(cut);
}

}  // namespace desk
