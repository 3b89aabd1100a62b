#include "quarn/fat32/fat32_stream_check.h"

#include "fslayout/fat32_layout.h"
#include "quarn/api/image_format.h"
#include "quarn/api/quarn.h"

#include <algorithm>

namespace {
// Deeper than any directory tree the backup could walk: a stream that
// claims more is damaged.
constexpr size_t kMaxDirectoryDepth = 65536;
constexpr uint64_t kCancelCheckEntries = 4096;

bool AllZero(const tagFatDirEntry& entry)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(&entry);
    return std::all_of(bytes, bytes + sizeof entry, [](uint8_t b) { return b == 0; });
}
}  // namespace

CFat32StreamCheck::CFat32StreamCheck(CVerifySource& source, const std::vector<VerifyVolume>& volumes,
                                     uint64_t dataSectionPos, Cancelled cancelled)
    : m_source(source), m_volumes(volumes), m_dataSectionPos(dataSectionPos),
      m_cancelled(std::move(cancelled)), m_reader(source)
{}

int CFat32StreamCheck::CheckCount(size_t index)
{
    const VerifyVolume& volume = m_volumes[index];
    if (!volume.hasInfo)
        return m_source.Damaged("a volume without its partition record");
    const uint64_t count = volume.info.recordCount;
    if (count < m_surelyCounted || count > m_maybeCounted) {
        DEBUG_TRACE("%s counts %llu directory entries; its stream holds %llu to %llu\n", volume.path.c_str(),
                    static_cast<unsigned long long>(count), static_cast<unsigned long long>(m_surelyCounted),
                    static_cast<unsigned long long>(m_maybeCounted));
        return m_source.Damaged("the directory entries counted");
    }
    return 0;
}

int CFat32StreamCheck::Run()
{
    m_source.OnVolumeDone([this](size_t index) { return CheckCount(index); });
    int result = m_reader.Init();
    if (result == 0)
        result = m_source.Start(m_dataSectionPos);
    size_t depth = 1;  // the root directory
    uint64_t read = 0;
    while (result == 0 && depth > 0) {
        if (++read % kCancelCheckEntries == 0 && m_cancelled && m_cancelled())
            return ERR_CANCELLED;
        tagFatDirEntry entry;
        result = m_source.ReadData(&entry, sizeof entry, "a directory entry of the stream");
        if (result != 0)
            break;
        switch (Fat32::ClassifyEntry(entry)) {
        case Fat32::EntryKind::Deleted:
            break;
        case Fat32::EntryKind::End:
            if (!AllZero(entry))
                return m_source.Damaged("a directory's end entry");
            --depth;
            ++m_maybeCounted;
            break;
        case Fat32::EntryKind::LongName:
        case Fat32::EntryKind::Dot:
        case Fat32::EntryKind::VolumeLabel:
            ++m_surelyCounted;
            ++m_maybeCounted;
            break;
        case Fat32::EntryKind::Directory:
            ++m_surelyCounted;
            ++m_maybeCounted;
            if (++depth > kMaxDirectoryDepth)
                return m_source.Damaged("directories nested deeper than any file system holds");
            break;
        case Fat32::EntryKind::File:
            if (Fat32::HasDataSet(entry)) {
                ++m_surelyCounted;
                ++m_maybeCounted;
                result = ReadDataSet(m_reader, entry.fileSize, m_cancelled);
            } else if (Fat32::IsPageFile(entry)) {
                if (depth == 1)
                    ++m_surelyCounted;
                ++m_maybeCounted;
            }
            break;
        }
    }
    return result != 0 ? result : m_source.Finish();
}
