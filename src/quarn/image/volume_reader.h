// An image volume being restored. Its data (everything before its check
// record, or before its end records in a volume without checksums) is read
// ahead in pieces of one check block on a thread of its own, which compares
// each block with its digest before the restore is handed a byte of it: a
// restore never gets a byte its volume did not prove, the reading of the
// medium and the comparison run beside the restore's writing, and the
// volume comes from its medium once. Bytes behind the read-ahead (a restore
// that goes back) and after the data (the end records) are read directly.
#ifndef QUARN_IMAGE_VOLUME_READER_H
#define QUARN_IMAGE_VOLUME_READER_H

#include "quarn/image/volume_check.h"
#include "quarn/io/device_io.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CVolumeReader {
public:
    // Pieces read ahead and not yet taken, at most.
    static constexpr size_t kPiecesAhead = 8;

    CVolumeReader() = default;
    // Stops the read-ahead and waits for its thread.
    virtual ~CVolumeReader();
    CVolumeReader(const CVolumeReader&) = delete;
    CVolumeReader& operator=(const CVolumeReader&) = delete;

    // Opening or closing ends the read-ahead of the volume before.
    int Open(const std::string& path, int mode);
    int Close();
    bool IsOpen() const { return m_io.IsOpen(); }
    const std::string& Path() const { return m_io.Path(); }

    // The restore's own position; the device's is the end-record readers'.
    int Seek(int64_t offset, int whence);
    int64_t GetCurrentPos() const { return m_io.IsOpen() ? m_pos : -1; }
    // As CDeviceIo::Read; 0 once the read-ahead found a fault at or before
    // the bytes asked for (FinishCheck tells which).
    int64_t Read(void* buffer, int64_t length);
    // The device itself, for the readers of the end records.
    CDeviceIo& Device() { return m_io; }

    // Starts reading the volume's first `dataEnd` bytes ahead; with a
    // record (as VolumeCheck::ReadRecord gives it), every block is compared
    // with its digest first and the data ends where the record covers.
    // 0, or ERR_NO_MEMORY when no thread can be started.
    int BeginReadAhead(uint64_t dataEnd, const VolumeCheck::Record* record);
    // Lets the read-ahead run to the data's end, then compares the end
    // records: 0, ERR_DAMAGED_IMAGE (a trace line names the volume and the
    // offset), ERR_READ_FILE, ERR_OPEN_FILE or ERR_NO_MEMORY; 0 when
    // nothing was read ahead. Ends the read-ahead.
    int FinishCheck();
    // Ends the read-ahead unfinished: the rest of the volume is not read.
    void DropCheck() { StopReadAhead(); }

private:
    struct Piece {
        uint64_t offset = 0;
        uint64_t length = 0;
        std::vector<unsigned char> bytes;
    };

    // The read-ahead thread.
    void ReadAhead(std::string path);
    int ReadPieces(CDeviceIo& io);
    void StopReadAhead();
    // Copies what the read-ahead holds at m_pos: the count, 0 when m_pos
    // is not the read-ahead's, -1 when its fault stands in the way.
    int64_t TakeAhead(unsigned char* out, uint64_t length);
    void Recycle(Piece& piece);

    CDeviceIo m_io;
    int64_t m_pos = 0;
    int m_verdict = 0;  // the first fault the restore was told of

    bool m_reading = false;  // a read-ahead was begun and not yet ended
    uint64_t m_dataEnd = 0;
    bool m_checked = false;
    VolumeCheck::Record m_record;
    std::thread m_thread;

    // Shared with the read-ahead thread, under m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Piece> m_ready;  // read and proved, in file order
    std::vector<std::vector<unsigned char>> m_spare;
    uint64_t m_readTo = 0;  // the end of the last piece read (or dropped)
    bool m_stop = false;
    bool m_drain = false;  // the restore takes no more: pieces are dropped
    bool m_done = false;
    int m_aheadResult = 0;
    uint64_t m_faultOffset = 0;
};

#endif
