// verify_image: reads every volume of an image and of the older images of
// its chain, and checks what they say of themselves without writing a
// byte anywhere: the trailers, names and ids (CImageSurvey), each volume's
// checksums where it carries them, the end records, and the data section's
// structure (the NTFS record stream with its record digests, the FAT32
// directory stream with its entry counts), every data set decoded as a
// restore would read it. Each volume's bytes are read and checked on a
// thread beside the walk of the data section, as the walk enters it, so
// that a volume comes from its medium once.
#ifndef QUARN_IMAGE_IMAGE_VERIFY_H
#define QUARN_IMAGE_IMAGE_VERIFY_H

#include "quarn/image/part_progress.h"
#include "quarn/image/verify_source.h"
#include "quarn/image/volume_read_ahead.h"
#include "quarn/api/quarn.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CImageVerify {
public:
    CImageVerify(const tagRestoreArgument& arg, const tagCallBackFunc& cb);
    virtual ~CImageVerify() = default;
    CImageVerify(const CImageVerify&) = delete;
    CImageVerify& operator=(const CImageVerify&) = delete;

    // 0 when the whole chain proved itself, VERIFY_NO_DATA_CHECKSUMS when
    // all was whole but an image carries no checksums of its data, else
    // the code of the first fault.
    int Run();

private:
    struct Image {
        std::vector<VerifyVolume> volumes;
        uint8_t fsType = 0;
        uint8_t generation = 0;
        bool checked = false;
        std::vector<uint8_t> mftBitmap;  // NTFS: the first volume's
    };

    bool AskForVolume(std::string& path);
    // Finds every image of the chain and what each volume says of itself.
    int Collect();
    int CollectVolume(const std::string& path, Image* image, std::string* nextName, std::string* prevName);
    // The tagBLOCK_START, the MFT bitmap, the tagPARTITION_INFO and its
    // blobs at the end of a volume, which must fill it up to its trailer.
    int ReadEndRecords(VerifyVolume& volume, uint8_t fsType, std::vector<uint8_t>* mftBitmap);
    // Names the volume at `path` (its file name) to the caller.
    void NameVolume(const std::string& path) const;
    // The walk of the data section enters a volume: the reading of the one
    // before must have ended whole, and this one's begins beside the walk
    // (CVolumeReadAhead). Every byte it reads counts as progress.
    int EnterVolume(const VerifyVolume& volume);
    // Hands the bytes read since the last report to the progress
    // (ERR_CANCELLED when the caller cancels at a step).
    int ReportRead();
    // Waits for the volume's reading to end, reporting it meanwhile.
    int FinishReadAhead();
    // The walk of an image ended with `result`: its last volume's reading
    // must end too.
    int EndWalk(int result);
    int CheckNtfsImage(const Image& image, std::vector<bool>* held);
    int CheckFat32Image(const Image& image);
    // A fault of the walk is damage of the image, whatever the reader
    // called it.
    static int AsDamage(int result, const CVerifySource& source);
    bool Cancelled();

    std::string m_imagePath;
    std::string m_imageDir;
    tagCallBackFunc m_cb;
    std::vector<Image> m_images;  // the newest first
    std::unique_ptr<CPartProgress> m_progress;
    std::unique_ptr<CVolumeReadAhead> m_readAhead;
    uint64_t m_reported = 0;  // bytes of the volume now read handed to the progress
};

#endif
