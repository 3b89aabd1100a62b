// The volumes of one image as a read-only walk over its data section sees
// them: each volume's data ends where its check record or its end records
// begin, a data set that goes on leads into the next volume, and nothing
// is read past that end. Serves CDataSetReader and the stream walks of
// verify_image.
#ifndef QUARN_IMAGE_VERIFY_SOURCE_H
#define QUARN_IMAGE_VERIFY_SOURCE_H

#include "quarn/image/data_set_reader.h"
#include "quarn/image/volume_check.h"
#include "quarn/api/image_format.h"
#include "quarn/io/device_io.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What verify_image learnt of one volume before walking it.
struct VerifyVolume {
    std::string path;  // where it was found
    tagBLOCK_END end{};
    uint64_t bytes = 0;
    bool checked = false;
    VolumeCheck::Record record;
    uint64_t dataEnd = 0;  // where its check record or end records begin
    bool hasInfo = false;  // it ends with its own tagPARTITION_INFO
    tagPARTITION_INFO info{};
};

class CVerifySource : public DataSetSource {
public:
    // Called when the walk leaves volume `index` for the next one: 0 to go
    // on, or the code that stops the walk.
    using VolumeDone = std::function<int(size_t index)>;

    CVerifySource(const std::vector<VerifyVolume>& volumes, uint8_t compressType);

    // Opens the first volume at `offset`.
    int Start(uint64_t offset);
    // Exactly `length` bytes of the data section at the current position,
    // within the volume now open: ERR_DAMAGED_IMAGE when they would run
    // into its end records.
    int ReadData(void* out, uint32_t length, const char* what);
    // The walk ended: it must stand at the data's end of the last volume.
    int Finish();
    void OnVolumeDone(VolumeDone done) { m_done = std::move(done); }
    // Called when the walk enters volume `index`, before it reads from it.
    void OnVolumeEntered(VolumeDone entered) { m_entered = std::move(entered); }

    // The code for damage at the current position, with a trace line that
    // names the volume and the offset.
    int Damaged(const char* what) const;
    size_t VolumeIndex() const { return m_index; }

    int64_t ReadImage(void* into, int64_t length) override;
    int SkipImage(uint64_t length) override;
    uint64_t ImageBytesLeft() const override;
    int OpenNextVolume() override;
    uint8_t CompressType() const override { return m_compressType; }

private:
    uint64_t Position() const;

    const std::vector<VerifyVolume>& m_volumes;
    uint8_t m_compressType;
    size_t m_index = 0;
    mutable CDeviceIo m_io;  // reading moves it, also for the const interface
    VolumeDone m_done;
    VolumeDone m_entered;
};

// The code for damage of the volume at `path` at `offset`, with the trace
// line that names them and what was found there.
int DamagedAt(const std::string& path, const char* what, uint64_t offset);

// Reads the data set whose head comes next whole, decompressed as a
// restore reads it, and checks that it holds exactly `plainBytes`: the
// checksums prove the bytes are those written, this that they decode to
// what the records say. `cancelled` is asked now and then.
int ReadDataSet(CDataSetReader& reader, uint64_t plainBytes, const std::function<bool()>& cancelled);

#endif
