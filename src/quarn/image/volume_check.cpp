#include "quarn/image/volume_check.h"

#include "quarn/io/device_io.h"
#include "quarn/api/quarn.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>

namespace VolumeCheck {

namespace {

constexpr uint64_t kHeadBytes = sizeof(tagVOLUME_CHECK_HEAD);
constexpr uint64_t kTailBytes = sizeof(tagVOLUME_CHECK_TAIL);
// Volumes are read in pieces of this size, a whole number of check blocks.
constexpr uint64_t kReadPieceBytes = 4u << 20;

struct StateDeleter {
    void operator()(XXH3_state_t* state) const { XXH3_freeState(state); }
};

uint64_t VolumeBytes(CDeviceIo& volume)
{
    if (volume.Seek(0, SEEK_END) != 0)
        return 0;
    const int64_t bytes = volume.GetCurrentPos();
    return bytes > 0 ? uint64_t(bytes) : 0;
}

bool ReadExactlyAt(CDeviceIo& volume, uint64_t offset, void* buffer, uint64_t length)
{
    return volume.ReadAt(int64_t(offset), buffer, int64_t(length)) == int64_t(length);
}

int Damaged(const CDeviceIo& volume, const char* what, uint64_t offset)
{
    DEBUG_TRACE("Damaged image: %s in %s at offset %llu\n", what, volume.Path().c_str(),
                static_cast<unsigned long long>(offset));
    return ERR_DAMAGED_IMAGE;
}

// Reads [from, to) of a volume in pieces and hands each to
// take(data, length, offset), which answers 0 or the code that ends the
// reading.
template <typename Take>
int ReadPieces(CDeviceIo& volume, uint64_t from, uint64_t to, const ReadWatch& watch, Take take)
{
    std::vector<unsigned char> buffer;
    try {
        buffer.resize(static_cast<size_t>(std::min(kReadPieceBytes, to > from ? to - from : 0)));
    } catch (const std::bad_alloc&) {
        return ERR_NO_MEMORY;
    }
    for (uint64_t offset = from; offset < to;) {
        if (watch.stop != nullptr && watch.stop->load())
            return ERR_CANCELLED;
        const uint64_t length = std::min<uint64_t>(buffer.size(), to - offset);
        if (!ReadExactlyAt(volume, offset, buffer.data(), length))
            return ERR_READ_FILE;
        const int result = take(buffer.data(), length, offset);
        if (result != 0)
            return result;
        offset += length;
        if (watch.read != nullptr)
            *watch.read += length;
    }
    return 0;
}

}  // namespace

uint64_t Digest(const void* data, size_t length)
{
    return XXH3_64bits(data, length);
}

uint64_t NewImageId()
{
    std::random_device source;
    uint64_t id = 0;
    while (id == 0)
        id = (uint64_t(source()) << 32) ^ source();
    return id;
}

uint64_t RecordEnd(uint64_t volumeBytes, const tagBLOCK_END& end)
{
    const uint64_t blockStart = ImageFormat::BlockStartOf(end);
    if (blockStart != 0)
        return blockStart;
    const uint64_t trailer = sizeof(tagBLOCK_END) + uint64_t(end.prevNameSize) + end.nextNameSize;
    return volumeBytes > trailer ? ImageFormat::TrailerStartOf(volumeBytes, end) : 0;
}

int ReadRecord(CDeviceIo& volume, const tagBLOCK_END& end, Record* record, bool* present)
{
    *record = Record{};
    *present = false;
    const bool announced = (end.spare1 & ImageFormat::kFormatFlagVolumeCheck) != 0;
    const uint64_t volumeBytes = VolumeBytes(volume);
    const uint64_t recordEnd = RecordEnd(volumeBytes, end);
    // The trailer names records further on than the volume goes: it was
    // cut short, whatever else it holds.
    if (recordEnd > volumeBytes) {
        DEBUG_TRACE("%s ends before the records its trailer names!\n", volume.Path().c_str());
        return ERR_VOLUME_TRUNCATED;
    }
    tagVOLUME_CHECK_TAIL tail{};
    const bool tailRead = recordEnd >= kHeadBytes + kTailBytes && recordEnd <= volumeBytes &&
                          ReadExactlyAt(volume, recordEnd - kTailBytes, &tail, kTailBytes);
    const bool found = tailRead && tail.magic == ImageFormat::kVolumeCheckMagic;
    if (!found)
        return announced ? Damaged(volume, "the check record is missing", recordEnd) : 0;
    if (!announced)
        return Damaged(volume, "a check record the trailer does not announce", recordEnd);

    const uint64_t recordBytes = tail.recordBytes;
    if (recordBytes < kHeadBytes + kTailBytes || recordBytes > recordEnd ||
        (recordBytes - kHeadBytes - kTailBytes) % 8 != 0)
        return Damaged(volume, "the check record's size", recordEnd);
    const uint64_t recordStart = recordEnd - recordBytes;
    std::vector<unsigned char> bytes;
    try {
        bytes.resize(static_cast<size_t>(recordBytes));
    } catch (const std::bad_alloc&) {
        return ERR_NO_MEMORY;
    }
    if (!ReadExactlyAt(volume, recordStart, bytes.data(), recordBytes))
        return ERR_READ_FILE;
    if (Digest(bytes.data(), bytes.size() - kTailBytes) != tail.recordDigest)
        return Damaged(volume, "the check record's digest", recordStart);

    tagVOLUME_CHECK_HEAD head{};
    std::memcpy(&head, bytes.data(), sizeof head);
    const uint64_t count = (recordBytes - kHeadBytes - kTailBytes) / 8;
    const bool consistent = head.magic == ImageFormat::kVolumeCheckMagic && head.recordBytes == recordBytes &&
                            head.coveredBytes == recordStart &&
                            head.blockBytes == ImageFormat::kCheckBlockBytes && head.blockCount == count &&
                            count == (recordStart + head.blockBytes - 1) / head.blockBytes &&
                            head.imageId != 0;
    if (!consistent)
        return Damaged(volume, "the check record's fields", recordStart);
    record->head = head;
    record->blockDigests.resize(static_cast<size_t>(count));
    if (count > 0)
        std::memcpy(record->blockDigests.data(), bytes.data() + kHeadBytes, static_cast<size_t>(count * 8));
    *present = true;
    return 0;
}

struct BlockChecker::State {
    XXH3_state_t xxh;
};

BlockChecker::BlockChecker(const Record& record) : m_record(record), m_state(new State)
{
    XXH3_64bits_reset(&m_state->xxh);
}

BlockChecker::~BlockChecker() = default;

bool BlockChecker::Feed(const void* data, uint64_t length)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    const uint64_t blockBytes = m_record.head.blockBytes;
    length = std::min(length, CoveredBytes() - m_checked);
    while (length > 0 && !m_damaged) {
        const uint64_t blockEnd = std::min(m_checked - m_blockFill + blockBytes, CoveredBytes());
        const uint64_t n = std::min(length, blockEnd - m_checked);
        XXH3_64bits_update(&m_state->xxh, bytes, static_cast<size_t>(n));
        m_checked += n;
        m_blockFill += n;
        bytes += n;
        length -= n;
        if (m_checked < blockEnd)
            break;
        const uint64_t blockStart = m_checked - m_blockFill;
        if (XXH3_64bits_digest(&m_state->xxh) != m_record.blockDigests[blockStart / blockBytes]) {
            m_damaged = true;
            m_badOffset = blockStart;
        }
        XXH3_64bits_reset(&m_state->xxh);
        m_blockFill = 0;
    }
    return !m_damaged;
}

int VerifyBlocks(CDeviceIo& volume, const Record& record, uint64_t* badOffset, const ReadWatch& watch)
{
    *badOffset = 0;
    BlockChecker checker(record);
    return ReadPieces(volume, 0, checker.CoveredBytes(), watch,
                      [&](const unsigned char* data, uint64_t length, uint64_t) {
                          if (checker.Feed(data, length))
                              return 0;
                          *badOffset = checker.BadOffset();
                          return Damaged(volume, "a block's checksum", checker.BadOffset());
                      });
}

int VerifyEndRecords(CDeviceIo& volume, const Record& record, const ReadWatch& watch)
{
    const tagVOLUME_CHECK_HEAD& head = record.head;
    std::unique_ptr<XXH3_state_t, StateDeleter> state(XXH3_createState());
    if (!state || XXH3_64bits_reset(state.get()) != XXH_OK)
        return ERR_NO_MEMORY;
    const uint64_t endStart = head.coveredBytes + head.recordBytes;
    const int result = ReadPieces(volume, endStart, VolumeBytes(volume), watch,
                                  [&](const unsigned char* data, uint64_t length, uint64_t) {
                                      XXH3_64bits_update(state.get(), data, static_cast<size_t>(length));
                                      return 0;
                                  });
    if (result != 0)
        return result;
    if (XXH3_64bits_digest(state.get()) != head.endDigest)
        return Damaged(volume, "the end records' checksum", endStart);
    return 0;
}

int ReadThrough(CDeviceIo& volume, uint64_t from, uint64_t to, const ReadWatch& watch)
{
    return ReadPieces(volume, from, to, watch, [](const unsigned char*, uint64_t, uint64_t) { return 0; });
}

}  // namespace VolumeCheck

struct CVolumeDigester::DigestState {
    XXH3_state_t xxh;
};

void CVolumeDigester::StateDeleter::operator()(DigestState* state) const
{
    delete state;
}

CVolumeDigester::Block CVolumeDigester::NewBlock()
{
    Block block;
    block.state.reset(new DigestState);
    XXH3_64bits_reset(&block.state->xxh);
    return block;
}

CVolumeDigester::CVolumeDigester()
{
    Reset();
}

void CVolumeDigester::Reset()
{
    m_bytes = 0;
    m_currentIndex = 0;
    m_current = NewBlock();
    m_held.clear();
    m_placeholders.clear();
    m_digests.clear();
}

void CVolumeDigester::Append(const void* data, size_t length)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (length > 0) {
        const size_t room = ImageFormat::kCheckBlockBytes - m_current.length;
        const size_t n = std::min(room, length);
        // Bytes go straight into the block's digest, except those from a
        // placeholder on, which wait until it is replaced.
        if (m_current.placeholders > 0)
            m_current.kept.insert(m_current.kept.end(), bytes, bytes + n);
        else
            XXH3_64bits_update(&m_current.state->xxh, bytes, n);
        m_current.length += n;
        m_bytes += n;
        bytes += n;
        length -= n;
        if (m_current.length == ImageFormat::kCheckBlockBytes)
            CloseCurrent();
    }
}

void CVolumeDigester::KeepFromHere(Block* block)
{
    if (block->placeholders++ == 0)
        block->keptFrom = block->length;
}

void CVolumeDigester::MarkPlaceholder(size_t length)
{
    const uint64_t offset = m_bytes;
    m_placeholders[offset] = length;
    // It begins in the current block; a block after it that it runs on
    // into counts it when that block begins.
    if (length > 0)
        KeepFromHere(&m_current);
}

CVolumeDigester::Block* CVolumeDigester::BlockAt(uint64_t index)
{
    if (index == m_currentIndex)
        return &m_current;
    auto found = m_held.find(index);
    return found == m_held.end() ? nullptr : &found->second;
}

bool CVolumeDigester::Replace(uint64_t offset, const void* data, size_t length)
{
    auto placeholder = m_placeholders.find(offset);
    if (placeholder == m_placeholders.end() || placeholder->second != length || offset + length > m_bytes)
        return false;
    m_placeholders.erase(placeholder);
    const auto* bytes = static_cast<const unsigned char*>(data);
    const uint64_t blockBytes = ImageFormat::kCheckBlockBytes;
    while (length > 0) {
        const uint64_t index = offset / blockBytes;
        const size_t within = static_cast<size_t>(offset % blockBytes);
        const size_t n = std::min<size_t>(length, blockBytes - within);
        Block* block = BlockAt(index);
        if (block == nullptr || block->placeholders == 0 || within < block->keptFrom ||
            within - block->keptFrom + n > block->kept.size())
            return false;
        std::memcpy(block->kept.data() + (within - block->keptFrom), bytes, n);
        if (--block->placeholders == 0) {
            XXH3_64bits_update(&block->state->xxh, block->kept.data(), block->kept.size());
            block->kept.clear();
            if (block != &m_current) {
                m_digests[index] = XXH3_64bits_digest(&block->state->xxh);
                m_held.erase(index);
            }
        }
        offset += n;
        bytes += n;
        length -= n;
    }
    return true;
}

void CVolumeDigester::CloseCurrent()
{
    if (m_digests.size() <= m_currentIndex)
        m_digests.resize(m_currentIndex + 1, 0);
    if (m_current.placeholders == 0)
        m_digests[m_currentIndex] = XXH3_64bits_digest(&m_current.state->xxh);
    else
        m_held[m_currentIndex] = std::move(m_current);
    m_current = NewBlock();
    ++m_currentIndex;
    // A placeholder that runs on into the block now begun counts there too.
    for (const auto& [offset, length] : m_placeholders) {
        const uint64_t start = m_currentIndex * ImageFormat::kCheckBlockBytes;
        if (offset < start && offset + length > start)
            KeepFromHere(&m_current);
    }
}

bool CVolumeDigester::Finish(std::vector<uint64_t>* digests)
{
    if (!m_placeholders.empty() || !m_held.empty() || m_current.placeholders > 0)
        return false;
    if (m_current.length > 0)
        CloseCurrent();
    *digests = m_digests;
    return true;
}
