// Lists the entries of an NTFS directory from its file-name index: the
// entries of $INDEX_ROOT and of every index block of $INDEX_ALLOCATION that
// the index's $BITMAP marks in use, so that every level of a multi-level
// index is listed once.
#pragma once

#include "platform/windows_engine/ntfs_volume_reader.h"

#include <QString>

#include <cstdint>
#include <vector>

// One directory entry as the index reader returns it.
struct tagDirEntryInfo {
    bool hasSubNode = false;  // index-entry flag 0x01
    bool hasName = false;
    bool isDirectory = false;       // bit 28 of the file-name flags
    bool dosName = false;           // namespace 2
    uint64_t recordNumber = ~0ull;  // low 48 bits of the file reference
    uint16_t sequenceNumber = 0;    // its high 16 bits
    uint64_t subNodeVcn = ~0ull;    // the last 8 bytes of the entry
    QString name;
};

class CNtfsIndexReader {
public:
    explicit CNtfsIndexReader(CNtfsVolumeReader& volume) : m_volume(volume) {}
    virtual ~CNtfsIndexReader() = default;

    // The entries of directory `record` that name files of their own: a
    // valid record number of 16 or above and a name that is not a DOS
    // name. 0; ERR_READ_PART, ERR_PART_INFO for the directory's record; 2
    // for an index block without "INDX" or whose update sequence does not
    // match; ERR_NO_MEMORY.
    int listDirectoryIndex(uint64_t record, std::vector<tagDirEntryInfo>& list);

private:
    // The entries of one index node whose header starts at `node`.
    static int ParseNode(const uint8_t* node, uint32_t nodeBytes, std::vector<tagDirEntryInfo>& list);
    int ParseBlocks(const std::vector<uint8_t>& allocation, const std::vector<uint8_t>& inUse,
                    uint32_t blockBytes, std::vector<tagDirEntryInfo>& list);

    CNtfsVolumeReader& m_volume;
};
