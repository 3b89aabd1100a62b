// The checksums that let a volume prove itself (tagVOLUME_CHECK_HEAD):
// the writer's side digests every byte as it goes to the volume, the
// reader's side reads a volume whole and compares.
#ifndef QUARN_IMAGE_VOLUME_CHECK_H
#define QUARN_IMAGE_VOLUME_CHECK_H

#include "quarn/api/image_format.h"

#include <cstddef>
#include <cstdint>
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CDeviceIo;

namespace VolumeCheck {

uint64_t Digest(const void* data, size_t length);

// A random image id, never 0 (0 stands for "no id" in baseImageId).
uint64_t NewImageId();

// Where a volume's check record ends: at its tagBLOCK_START when it has
// one, else where the trailer's names begin.
uint64_t RecordEnd(uint64_t volumeBytes, const tagBLOCK_END& end);

// What a volume says of itself. Read by ReadRecord.
struct Record {
    tagVOLUME_CHECK_HEAD head{};
    std::vector<uint64_t> blockDigests;
};

// Reads and checks the check record of an open volume whose trailer is
// `end`. ERR_DAMAGED_IMAGE when the trailer announces a record that is not
// there or does not hold together (blocks of any other size than
// ImageFormat::kCheckBlockBytes, the only one written, included), and
// when a volume whose trailer announces none carries one all the same (a
// flipped flag bit would otherwise turn a checked volume into an unchecked
// one). *present tells
// whether the volume has a record; without one, *record is left empty.
int ReadRecord(CDeviceIo& volume, const tagBLOCK_END& end, Record* record, bool* present);

// Compares the bytes a volume's record covers, handed over in file order,
// with the record's block digests, one block as soon as it is complete.
class BlockChecker {
public:
    explicit BlockChecker(const Record& record);
    ~BlockChecker();
    BlockChecker(const BlockChecker&) = delete;
    BlockChecker& operator=(const BlockChecker&) = delete;

    // The offset of the next byte to compare; CoveredBytes once all are.
    uint64_t CheckedBytes() const { return m_checked; }
    uint64_t CoveredBytes() const { return m_record.head.coveredBytes; }
    // The bytes at CheckedBytes(), at most up to CoveredBytes(): false once
    // a block differs from its digest (BadOffset() is that block's first
    // byte); bytes handed over after that are not looked at.
    bool Feed(const void* data, uint64_t length);
    bool Damaged() const { return m_damaged; }
    uint64_t BadOffset() const { return m_badOffset; }
    const Record& CheckRecord() const { return m_record; }

private:
    struct State;
    Record m_record;
    std::unique_ptr<State> m_state;
    uint64_t m_checked = 0;
    uint64_t m_blockFill = 0;  // bytes of the current block fed so far
    bool m_damaged = false;
    uint64_t m_badOffset = 0;
};

// How a reading of a volume goes on: it stops between two pieces once
// *stop says true (ERR_CANCELLED), and adds the bytes of each piece to
// *read; either may be left out.
struct ReadWatch {
    const std::atomic<bool>* stop = nullptr;
    std::atomic<uint64_t>* read = nullptr;
};

// Reads the bytes of an open volume before its check record and compares
// them with the record's block digests: ERR_DAMAGED_IMAGE with *badOffset
// the first byte of the block that differs; ERR_READ_FILE when the volume
// cannot be read.
int VerifyBlocks(CDeviceIo& volume, const Record& record, uint64_t* badOffset, const ReadWatch& watch = {});
// The same for the end records after the check record.
int VerifyEndRecords(CDeviceIo& volume, const Record& record, const ReadWatch& watch = {});
// Reads bytes [from, to) of an open volume for its read errors alone (a
// volume without checksums): 0 or ERR_READ_FILE.
int ReadThrough(CDeviceIo& volume, uint64_t from, uint64_t to, const ReadWatch& watch = {});

}  // namespace VolumeCheck

// The writer's side: is handed every byte written to a volume in file
// order, and the final bytes of the few ranges (data-set heads) that are
// written once as a placeholder and rewritten later. Blocks are digested as
// soon as they are complete and hold no placeholder.
class CVolumeDigester {
public:
    CVolumeDigester();

    void Reset();
    // Bytes appended at the volume's end.
    void Append(const void* data, size_t length);
    // Marks the next `length` bytes to be appended as a placeholder.
    void MarkPlaceholder(size_t length);
    // The final bytes of a placeholder. False when no placeholder starts
    // at offset with that length (a write the digest cannot follow).
    bool Replace(uint64_t offset, const void* data, size_t length);
    uint64_t Bytes() const { return m_bytes; }
    // Ends the covered part: every placeholder must have been replaced.
    // Fills the block digests; false when a placeholder is left.
    bool Finish(std::vector<uint64_t>* digests);

private:
    struct DigestState;
    struct StateDeleter {
        void operator()(DigestState* state) const;
    };
    // A block being digested: its digest state over its bytes up to
    // keptFrom, and the bytes after that kept while a placeholder in them
    // waits for its final bytes.
    struct Block {
        std::unique_ptr<DigestState, StateDeleter> state;
        size_t length = 0;
        size_t keptFrom = 0;
        std::vector<unsigned char> kept;
        size_t placeholders = 0;
    };
    static Block NewBlock();
    static void KeepFromHere(Block* block);
    void CloseCurrent();
    Block* BlockAt(uint64_t index);

    uint64_t m_bytes = 0;
    uint64_t m_currentIndex = 0;
    Block m_current;
    // Complete blocks that still hold a placeholder, by index.
    std::map<uint64_t, Block> m_held;
    std::map<uint64_t, size_t> m_placeholders;  // offset -> length
    std::vector<uint64_t> m_digests;
};

#endif
