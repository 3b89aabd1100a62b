#include "fslayout/ntfs_layout.h"

#include <QString>

Ntfs::SpecialFile Ntfs::SpecialFileNamed(const QString& name)
{
    if (name.compare(QLatin1String("pagefile.sys"), Qt::CaseInsensitive) == 0)
        return SpecialFile::Pagefile;
    if (name.compare(QLatin1String("hiberfil.sys"), Qt::CaseInsensitive) == 0)
        return SpecialFile::Hiberfile;
    return SpecialFile::None;
}
