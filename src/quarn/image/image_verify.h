// verify_image: reads every volume of an image and of the older images of
// its chain, and checks what they say of themselves without writing a
// byte anywhere: the trailers, names and ids (CImageSurvey), each volume's
// checksums where it carries them, the end records, and the data section's
// structure (the NTFS record stream with its record digests, the FAT32
// directory stream with its entry counts), every data set decoded as a
// restore would read it. Each volume's bytes are read and checked as the
// walk of the data section enters it, so that a volume is read from its
// medium once.
#ifndef QUARN_IMAGE_IMAGE_VERIFY_H
#define QUARN_IMAGE_IMAGE_VERIFY_H

#include "image/part_progress.h"
#include "image/verify_source.h"
#include "quarn.h"

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
    // Reads a volume whole in large pieces, comparing its checksums when it
    // carries them; every byte counts as progress. Called as the walk of
    // the data section enters the volume.
    int ReadVolume(const VerifyVolume& volume);
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
};

#endif
