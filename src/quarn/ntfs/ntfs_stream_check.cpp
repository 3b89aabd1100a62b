#include "quarn/ntfs/ntfs_stream_check.h"

#include "fslayout/ntfs/ntfs_bits.h"
#include "quarn/ntfs/record_digest.h"
#include "fslayout/ntfs_layout.h"
#include "quarn/api/quarn.h"

#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

constexpr uint32_t kRecordBytes = ImageFormat::kNtfsFileRecordBytes;
// How many records pass between two questions whether the caller cancels.
constexpr uint32_t kCancelCheckRecords = 4096;

bool IsZero(const tagFileRecordInfo& info)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(&info);
    return std::all_of(bytes, bytes + sizeof info, [](uint8_t b) { return b == 0; });
}

}  // namespace

CNtfsStreamCheck::CNtfsStreamCheck(CVerifySource& source, const NtfsStreamFacts& facts, Cancelled cancelled)
    : m_source(source), m_facts(facts), m_cancelled(std::move(cancelled)), m_reader(source)
{}

bool CNtfsStreamCheck::InUse(uint32_t n) const
{
    return Ntfs::BitSet(m_facts.mftBitmap, n);
}

int CNtfsStreamCheck::Run(std::vector<bool>* held)
{
    m_stored.Reset(m_facts.extentsStored, m_facts.rootSystemFilesOnly);
    int result = m_reader.Init();
    if (result == 0)
        result = m_source.Start(m_facts.dataSectionPos);
    uint32_t entries = 0;
    if (result == 0)
        result = m_source.ReadData(&entries, sizeof entries, "the record stream's count");
    if (result != 0)
        return result;
    if (m_facts.full ? entries != m_facts.recordCount : entries > m_facts.recordCount)
        return m_source.Damaged("the record stream's count");

    std::vector<uint8_t> record(kRecordBytes);
    int64_t previous = -1;
    for (uint32_t i = 0; i < entries; ++i) {
        if (i % kCancelCheckRecords == kCancelCheckRecords - 1 && m_cancelled && m_cancelled())
            return ERR_CANCELLED;
        uint32_t n = 0;
        result = m_source.ReadData(&n, sizeof n, "a record number of the stream");
        if (result == 0 && (int64_t(n) <= previous || n >= m_facts.recordCount || (m_facts.full && n != i)))
            result = m_source.Damaged("a record number out of its order");
        if (result == 0)
            result = m_source.ReadData(record.data(), kRecordBytes, "a file record of the stream");
        if (result == 0)
            result = CheckRecord(n, record.data());
        if (result != 0)
            return result;
        previous = n;
        if (n < held->size())
            (*held)[n] = true;
    }
    uint32_t mark = 0;
    result = m_source.ReadData(&mark, sizeof mark, "the record stream's end mark");
    if (result == 0 && mark != ImageFormat::kRecordStreamEnd)
        result = m_source.Damaged("the record stream's end mark");
    return result != 0 ? result : m_source.Finish();
}

int CNtfsStreamCheck::CheckRecord(uint32_t n, const uint8_t* stored)
{
    const bool inUse = Ntfs::HasFileMagic(stored) && InUse(n);
    int result = CheckRecordDigest(n, stored, inUse);
    if (result != 0 || !inUse)
        return result;
    // Only records in use carry data sets; the backup refused any whose
    // update sequence or attributes did not hold together.
    std::vector<uint8_t> fixed(stored, stored + kRecordBytes);
    if (!Ntfs::RemoveFixup(fixed.data(), kRecordBytes))
        return m_source.Damaged("a file record whose update sequence does not match");
    return WalkAttributes(n, fixed.data());
}

int CNtfsStreamCheck::CheckRecordDigest(uint32_t n, const uint8_t* stored, bool inUse)
{
    if (n >= m_facts.summaries.size())
        return m_source.Damaged("a file record past the record section");
    // Check records prove the bytes of the records themselves; the
    // summaries of such an image may lag a live volume's record.
    if (m_facts.checked)
        return 0;
    const tagFileRecordInfo& summary = m_facts.summaries[n];
    if (IsZero(summary))
        return inUse ? m_source.Damaged("a file record in use without its summary") : 0;
    if (!RecordDigest::Matches(stored, kRecordBytes, summary)) {
        DEBUG_TRACE("File record %u differs from its digest\n", n);
        return m_source.Damaged("a file record's digest");
    }
    return 0;
}

int CNtfsStreamCheck::WalkAttributes(uint32_t n, const uint8_t* fixed)
{
    const auto* header = reinterpret_cast<const tagFILE_RECORD_HEADER*>(fixed);
    const uint32_t owner = Ntfs::OwnerRecord(fixed, n, m_facts.newestRecordCount);
    Ntfs::AttributeWalker walker(fixed, std::min(kRecordBytes, header->bytesInUse));
    while (const tagRECORD_ATTR* attr = walker.Next()) {
        if (attr->nonResident) {
            if (!m_stored.CarriesDataSet(owner, attr))
                continue;
            const uint64_t plainBytes = Ntfs::ExtentClusters(attr) * m_facts.clusterBytes;
            const int result = ReadDataSet(m_reader, plainBytes, m_cancelled);
            if (result != 0)
                return result;
            continue;
        }
        if (attr->type != Ntfs::ATTR_FILE_NAME)
            continue;
        // The names the restore notes, so that both agree on which data
        // the image left out.
        const uint32_t valueLength = attr->resident.valueLength;
        if (valueLength < offsetof(tagATTR_FILE_NAME, name))
            continue;
        const auto* name = reinterpret_cast<const tagATTR_FILE_NAME*>(Ntfs::ResidentValue(attr));
        const uint32_t units = name->nameLength;
        if (units == 0 || name->nameSpace == Ntfs::kNameSpaceDos ||
            (name->flags & Ntfs::kFileNameIsDirectory) != 0 ||
            offsetof(tagATTR_FILE_NAME, name) + 2u * units > valueLength)
            continue;
        char16_t text[256];
        std::memcpy(text, reinterpret_cast<const uint8_t*>(name) + offsetof(tagATTR_FILE_NAME, name),
                    2u * units);
        m_stored.NoteName(owner, uint32_t(name->parentReference & Ntfs::kRecordNumberMask),
                          QString::fromUtf16(text, int(units)));
    }
    return walker.Damaged() ? m_source.Damaged("a file record whose attributes do not hold together") : 0;
}
