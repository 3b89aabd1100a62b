#include "desk_paths.h"

#include "platform.h"
#include "text.h"
#ifndef _WIN32
#include "simulated_platform.h"
#endif

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
#ifdef _WIN32
    return windowsPath;
#else
    auto simulated = std::dynamic_pointer_cast<winplat::SimulatedPlatform>(winplat::currentPlatform());
    if (!simulated)
        return windowsPath;
    const std::string host = simulated->hostPath(toU16(windowsPath));
    return host.empty() ? windowsPath : QString::fromStdString(host);
#endif
}

QString windowsPath(const QString& localFile)
{
#ifdef _WIN32
    return QDir::toNativeSeparators(localFile);
#else
    auto simulated = std::dynamic_pointer_cast<winplat::SimulatedPlatform>(winplat::currentPlatform());
    if (!simulated)
        return localFile;
    const QString drives = QDir::cleanPath(QString::fromStdString(simulated->machineFolder()) + "/fs");
    const QString clean = QDir::cleanPath(localFile);
    if (!clean.startsWith(drives + '/'))
        return localFile;
    const QString rest = clean.mid(drives.size() + 1);  // "d/Images/x.bkp"
    if (rest.isEmpty() || !rest.at(0).isLetter() || (rest.size() > 1 && rest.at(1) != '/'))
        return localFile;
    QString path = rest.left(1).toUpper() + ":\\" + rest.mid(2);
    path.replace('/', '\\');
    return path;
#endif
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
