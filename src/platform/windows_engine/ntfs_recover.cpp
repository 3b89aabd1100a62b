#include "platform/windows_engine/ntfs_recover.h"

#include "quarn/io/device_io.h"
#include "quarn/ntfs/ntfs_attr_reader.h"
#include "quarn/ntfs/run_list.h"
#include "platform/windows_engine/ntfs_volume_reader.h"
#include "platform/windows/platform.h"
#include "quarn/api/quarn.h"
#include "quarn/api/entry_guard.h"
#include "fslayout/ntfs/ntfs_bits.h"
#include "fslayout/ntfs/ntfs_record.h"
#include "platform/windows_engine/win_device.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

struct NTFSRecover::Volume {
    Volume() : reader(part) {}
    CDeviceIo part;
    CNtfsVolumeReader reader;
    std::vector<uint8_t> mftBitmap;     // one bit per MFT record, set = in use
    std::vector<uint8_t> volumeBitmap;  // one bit per cluster, set = in use
    tagCallBackFuncForRecover callbacks{};
};

namespace {

// The record's unnamed data stream: its first extent.
const tagRECORD_ATTR* UnnamedData(const std::vector<uint8_t>& record)
{
    return Ntfs::FindUnnamed(record.data(), uint32_t(record.size()), Ntfs::ATTR_DATA);
}

bool IsDeletedFile(const std::vector<uint8_t>& record)
{
    const auto* header = reinterpret_cast<const tagFILE_RECORD_HEADER*>(record.data());
    return Ntfs::HasFileMagic(record.data()) &&
           (header->flags & (Ntfs::kRecordInUse | Ntfs::kRecordIsDirectory)) == 0;
}

QString TimeText(uint64_t fileTime)
{
    winplat::LocalTime t;
    if (winplat::currentPlatform()->localTimeOf(fileTime, t) != 0)
        t = winplat::LocalTime();
    return QString("%1-%2-%3 %4:%5:%6")
        .arg(t.year)
        .arg(t.month)
        .arg(t.day)
        .arg(t.hour)
        .arg(t.minute)
        .arg(t.second);
}

struct FoundFile {
    QString name;
    uint64_t created = 0;
    uint64_t size = 0;
    int integrity = 0;
};

// What the scan shows of a deleted file record (fixup undone).
FoundFile Describe(const std::vector<uint8_t>& record, const std::vector<uint8_t>& volumeBitmap,
                   uint64_t clusterCount)
{
    FoundFile file;
    Ntfs::AttributeWalker walker(record.data(), uint32_t(record.size()));
    while (const tagRECORD_ATTR* attr = walker.Next()) {
        if (attr->type == Ntfs::ATTR_STANDARD_INFORMATION && !attr->nonResident &&
            attr->resident.valueLength >= 8) {
            std::memcpy(&file.created, Ntfs::ResidentValue(attr), 8);
        } else if (attr->type == Ntfs::ATTR_FILE_NAME && !attr->nonResident &&
                   attr->resident.valueLength >= offsetof(tagATTR_FILE_NAME, name)) {
            const uint8_t* value = Ntfs::ResidentValue(attr);
            const auto* name = reinterpret_cast<const tagATTR_FILE_NAME*>(value);
            const uint32_t units = name->nameLength;
            if (units == 0 || name->nameSpace == Ntfs::kNameSpaceDos ||
                offsetof(tagATTR_FILE_NAME, name) + 2u * units > attr->resident.valueLength)
                continue;
            std::vector<char16_t> text(units);
            std::memcpy(text.data(), value + offsetof(tagATTR_FILE_NAME, name), 2u * units);
            file.name = QString::fromUtf16(text.data(), int(units));
        }
    }
    // Only the unnamed stream is what a recovery writes, so only it counts.
    if (const tagRECORD_ATTR* data = UnnamedData(record)) {
        if (!data->nonResident) {
            file.size = data->resident.valueLength;
            file.integrity = 100;
        } else if (data->nonRes.dataSize > 0) {
            file.size = data->nonRes.dataSize;
            CRunList runList;
            if (runList.ParseDataRunList(data)) {
                std::vector<NTFSRecover::Run> runs;
                for (const tagDataRunList& run : runList.Runs())
                    runs.push_back({run.lcn, run.clusters});
                file.integrity = NTFSRecover::Integrity(runs, volumeBitmap, clusterCount);
            }
        }
    }
    return file;
}

}  // namespace

NTFSRecover::NTFSRecover() = default;
NTFSRecover::~NTFSRecover() = default;

QString NTFSRecover::SizeText(uint64_t bytes)
{
    const double value = double(bytes);
    if (bytes > (1ull << 30))
        return QString("%1 GB").arg(value / double(1ull << 30), 0, 'f', 2);
    if (bytes > (1ull << 20))
        return QString("%1 MB").arg(value / double(1ull << 20));
    if (bytes > 1024)
        return QString("%1 KB").arg(value / 1024.0);
    return QString("%1 B").arg(bytes);
}

int NTFSRecover::Integrity(const std::vector<Run>& runs, const std::vector<uint8_t>& bitmap, uint64_t bits)
{
    uint64_t used = 0;
    uint64_t free = 0;
    bits = std::min<uint64_t>(bits, uint64_t(bitmap.size()) * 8);
    for (const Run& run : runs) {
        if (run.clusters == 0)
            continue;
        if (run.lcn < 0) {
            free += run.clusters;
            continue;
        }
        const uint64_t first = uint64_t(run.lcn);
        const uint64_t end = first >= bits ? first : std::min(bits, first + run.clusters);
        for (uint64_t c = first; c < end; ++c)
            (Ntfs::BitSet(bitmap, c) ? used : free) += 1;
    }
    return used + free == 0 ? 0 : int(free * 100 / (used + free));
}

unsigned long NTFSRecover::ScanPartition(std::string partition, tagCallBackFuncForRecover callbacks)
{
    return GuardedEntry("ScanPartition", [&]() -> unsigned long {
        m_volume.reset();
        auto volume = std::make_unique<Volume>();
        volume->callbacks = callbacks;
        if (volume->part.Open(partition, CDeviceIo::ModeRead) != 0)
            return ERR_OPEN_PART;
        CNtfsVolumeReader& reader = volume->reader;
        int result = reader.Open();
        if (result != 0)
            return static_cast<unsigned long>(result);

        std::vector<uint8_t> record;
        if ((result = reader.ReadRecord(Ntfs::kMftRecord, &record)) != 0)
            return static_cast<unsigned long>(result);
        const tagRECORD_ATTR* mftBitmap =
            Ntfs::FindUnnamed(record.data(), uint32_t(record.size()), Ntfs::ATTR_BITMAP);
        if (mftBitmap == nullptr)
            return ERR_PART_INFO;
        if ((result = reader.ReadValue(mftBitmap, &volume->mftBitmap)) != 0)
            return static_cast<unsigned long>(result);
        if ((result = reader.ReadRecord(Ntfs::kBitmapRecord, &record)) != 0)
            return static_cast<unsigned long>(result);
        const tagRECORD_ATTR* clusterBitmap = UnnamedData(record);
        if (clusterBitmap == nullptr)
            return ERR_PART_INFO;
        if ((result = reader.ReadValue(clusterBitmap, &volume->volumeBitmap)) != 0)
            return static_cast<unsigned long>(result);

        // Kept from here on, so that a file found before a cancel can still be
        // recovered.
        m_volume = std::move(volume);
        Volume& v = *m_volume;
        const uint64_t count = reader.RecordCount();
        const uint64_t step = std::max<uint64_t>(1, count / 101);
        uint64_t threshold = step;
        int percent = 0;
        for (uint64_t n = Ntfs::kFirstUserRecord; n < count; ++n) {
            if (n >= threshold) {
                threshold += step;
                if (++percent <= 100 && v.callbacks.progress != nullptr &&
                    v.callbacks.progress(percent, v.callbacks.user) != 0)
                    return ERR_CANCELLED;
            }
            if (Ntfs::BitSet(v.mftBitmap, n))
                continue;
            result = reader.ReadRecord(n, &record);
            if (result == ERR_PART_INFO)
                continue;  // never written, or damaged: nothing to show, go on
            if (result != 0)
                return static_cast<unsigned long>(result);
            if (!IsDeletedFile(record))
                continue;
            const FoundFile file = Describe(record, v.volumeBitmap, reader.Geometry().clusterCount);
            if (file.name.isEmpty() || file.size == 0 || file.integrity < 90)
                continue;
            QStringList row;
            row << QString("%1").arg(n) << file.name << TimeText(file.created) << SizeText(file.size)
                << QString("%1%").arg(file.integrity);
            if (v.callbacks.foundFile != nullptr)
                v.callbacks.foundFile(row, v.callbacks.user);
        }
        return 0;
    });
}

unsigned long NTFSRecover::RecoverFile(unsigned long record, std::string outPath, int (*progress)(int, void*))
{
    return GuardedEntry("RecoverFile", [&]() -> unsigned long {
        if (!m_volume)
            return kFailed;
        Volume& v = *m_volume;
        CNtfsVolumeReader& reader = v.reader;
        if (record >= reader.RecordCount() || Ntfs::BitSet(v.mftBitmap, record))
            return kFailed;
        std::vector<uint8_t> bytes;
        const int read = reader.ReadRecord(record, &bytes);
        if (read != 0)
            return static_cast<unsigned long>(read);
        if (!IsDeletedFile(bytes))
            return kFailed;
        const tagRECORD_ATTR* data = UnnamedData(bytes);
        if (data == nullptr)
            return kFailed;

        auto out = std::make_unique<CFerrin>();
        if (out->Open(outPath, 2) != 0)
            return ERR_OPEN_FILE;
        // A part of a file must not pass for the whole of it, also when the
        // copy ends on an exception.
        unsigned long result = 0;
        try {
            result = CopyData(v, data, *out, progress);
        } catch (...) {
            out->RemoveFile();
            throw;
        }
        if (result != 0)
            out->RemoveFile();
        return result;
    });
}

unsigned long NTFSRecover::CopyData(Volume& v, const tagRECORD_ATTR* data, CFerrin& out,
                                    int (*progress)(int, void*))
{
    CNtfsVolumeReader& reader = v.reader;
    void* user = v.callbacks.user;
    if (!data->nonResident) {
        const long long length = data->resident.valueLength;
        if (length > 0 && out.Write(Ntfs::ResidentValue(data), length) != length)
            return ERR_WRITE_FILE;
        if (progress != nullptr)
            progress(100, user);
        return 0;
    }
    const uint64_t total = data->nonRes.dataSize;
    CAttrReadData attr(&v.part, data, reader.Geometry().clusterBytes, reader.Geometry().clusterCount);
    if (attr.ParseDataRunList() != 0)
        return ERR_PART_INFO;
    // The rest of the stream lies in extension records that a deleted file
    // no longer names reliably: a part file would pass for the whole.
    if (attr.ExtentBytes() < total)
        return ERR_READ_PART;
    std::vector<uint8_t> piece;
    try {
        piece.resize(kTransferBytes);
    } catch (const std::bad_alloc&) {
        return ERR_NO_MEMORY;
    }
    int reported = -1;
    for (uint64_t done = 0; done < total;) {
        const unsigned ask = unsigned(std::min<uint64_t>(kTransferBytes, total - done));
        unsigned got = 0;
        if (attr.AttrReadData(done, piece.data(), ask, &got) != 0 || got != ask)
            return ERR_READ_PART;
        if (out.Write(piece.data(), ask) != (long long)ask)
            return ERR_WRITE_FILE;
        done += ask;
        const int percent = int(done * 100 / total);
        if (progress != nullptr && percent != reported) {
            reported = percent;
            progress(percent, user);
        }
    }
    return 0;
}
