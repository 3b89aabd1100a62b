#include "quarn/image/volume_reader.h"

#include "quarn/api/quarn.h"

#include <algorithm>
#include <new>

namespace {

constexpr size_t kScratchBytes = 1 << 20;

}  // namespace

int CVolumeReader::Open(const std::string& path, int mode)
{
    m_checker.reset();
    m_verdict = 0;
    return m_io.Open(path, mode);
}

int CVolumeReader::Close()
{
    m_checker.reset();
    m_verdict = 0;
    return m_io.Close();
}

int64_t CVolumeReader::Read(void* buffer, int64_t length)
{
    if (m_verdict != 0)
        return 0;
    const int64_t offset = m_checker ? m_io.GetCurrentPos() : -1;
    const int64_t got = m_io.Read(buffer, length);
    if (got > 0 && offset >= 0)
        Compare(uint64_t(offset), static_cast<const unsigned char*>(buffer), uint64_t(got));
    return m_verdict != 0 ? 0 : got;
}

void CVolumeReader::BeginCheck(const VolumeCheck::Record& record)
{
    m_checker = std::make_unique<VolumeCheck::BlockChecker>(record);
    m_verdict = 0;
}

void CVolumeReader::Compare(uint64_t offset, const unsigned char* data, uint64_t length)
{
    const uint64_t checked = m_checker->CheckedBytes();
    // Bytes compared already, and the end records after the covered part,
    // are not the comparison's.
    if (m_verdict != 0 || offset >= m_checker->CoveredBytes() || offset + length <= checked)
        return;
    if (offset > checked && !CompareUpTo(offset))
        return;
    const uint64_t from = std::max(offset, checked);
    if (!m_checker->Feed(data + (from - offset), offset + length - from)) {
        DEBUG_TRACE("Damaged image: a block's checksum in %s at offset %llu\n", Path().c_str(),
                    static_cast<unsigned long long>(m_checker->BadOffset()));
        Fail(ERR_DAMAGED_IMAGE);
    }
}

bool CVolumeReader::CompareUpTo(uint64_t offset)
{
    try {
        m_scratch.resize(kScratchBytes);
    } catch (const std::bad_alloc&) {
        Fail(ERR_NO_MEMORY);
        return false;
    }
    offset = std::min(offset, m_checker->CoveredBytes());
    while (m_verdict == 0 && m_checker->CheckedBytes() < offset) {
        const uint64_t at = m_checker->CheckedBytes();
        const int64_t length = int64_t(std::min<uint64_t>(m_scratch.size(), offset - at));
        if (m_io.ReadAt(int64_t(at), m_scratch.data(), length) != length) {
            DEBUG_TRACE("%s cannot be read at offset %llu to check it\n", Path().c_str(),
                        static_cast<unsigned long long>(at));
            Fail(ERR_READ_FILE);
            return false;
        }
        Compare(at, m_scratch.data(), uint64_t(length));
    }
    return m_verdict == 0;
}

int CVolumeReader::FinishCheck()
{
    if (!m_checker)
        return m_verdict;
    if (CompareUpTo(m_checker->CoveredBytes()))
        m_verdict = VolumeCheck::VerifyEndRecords(m_io, m_checker->CheckRecord());
    m_checker.reset();
    return m_verdict;
}

void CVolumeReader::Fail(int code)
{
    if (m_verdict == 0)
        m_verdict = code;
}
