#include "part_ntfs_restore.h"

#include "callbacks.h"

#include <QString>

#include <cstring>
#include <new>

CPartNtfsRestore::CPartNtfsRestore()
{
}

CPartNtfsRestore::CPartNtfsRestore(const tagRestoreArgument& arg, const tagCallBackFunc& cb)
    : CPartRestore(arg, cb)
{
}

CPartNtfsRestore::~CPartNtfsRestore()
{
    delete[] m_record;
    delete[] m_mftBitmap;
    delete[] m_curMftBitmap;
}

int CPartNtfsRestore::ReadBitmap(unsigned int size, unsigned char** bitmap, uint64_t* bitmapSize)
{
    delete[] *bitmap;
    *bitmap = nullptr;
    *bitmapSize = 0;
    // The bitmap lies in the image: a size beyond the volume's end is a lie.
    if (size > ImageBytesLeft())
        return ERR_READ_FILE;
    *bitmap = new (std::nothrow) unsigned char[size];
    if (*bitmap == nullptr) {
        DEBUG_TRACE("Allocate Memory for MFT Bitmap failed!\n");
        return ERR_NO_MEMORY;
    }
    if (m_image->Read(*bitmap, size) != static_cast<int64_t>(size))
        return ERR_READ_FILE;
    *bitmapSize = size;
    return 0;
}

int CPartNtfsRestore::SetMFTBitmapBuf(unsigned int size)
{
    return ReadBitmap(size, &m_mftBitmap, &m_mftBitmapSize);
}

int CPartNtfsRestore::SetMFTBitmapBufCur(unsigned int size)
{
    return ReadBitmap(size, &m_curMftBitmap, &m_curMftBitmapSize);
}

void CPartNtfsRestore::SetPartInfo(tagPARTITION_INFO info)
{
    m_dataSectionPos = info.dataSectionPos;
    m_recordCount = info.recordCount;
    m_fileRecordSize = info.fileRecordSize;
    m_indexRecordSize = info.indexRecordSize;
    m_reservedFs = info.reservedFs;
}

bool CPartNtfsRestore::AskForNextVolume(std::string& path)
{
    QString asked = QString::fromLocal8Bit(path.c_str());
    if (Callbacks::NextFile(m_cb, asked) != 0)
        return false;
    path = asked.toLocal8Bit().toStdString();
    return true;
}

namespace {
int BitClear(const unsigned char* bitmap, uint64_t size, unsigned int n)
{
    if (bitmap == nullptr || n / 8 >= size)
        return 1;
    return (bitmap[n / 8] >> (n % 8) & 1) == 0 ? 1 : 0;
}
}  // namespace

int CPartNtfsRestore::IsFileRecordFree(unsigned int n) const
{
    return BitClear(m_mftBitmap, m_mftBitmapSize, n);
}

int CPartNtfsRestore::IsCurFileRecordFree(unsigned int n) const
{
    if (m_curMftBitmap == nullptr)
        return IsFileRecordFree(n);
    return BitClear(m_curMftBitmap, m_curMftBitmapSize, n);
}

int CPartNtfsRestore::RestorePartition()
{
    return ERR_PART_INFO;
}
