#include "quarn/image/image_survey.h"

#include "quarn/image/volume_check.h"
#include "quarn/image/volume_records.h"
#include "quarn/io/device_io.h"
#include "quarn/io/device_system.h"
#include "quarn/api/quarn.h"

namespace {

int Refuse(int code, const char* why, const std::string& path)
{
    DEBUG_TRACE("%s: %s\n", path.c_str(), why);
    return code;
}

}  // namespace

CImageSurvey::CImageSurvey(std::string imageDir, AskForVolume ask)
    : m_imageDir(std::move(imageDir)), m_ask(std::move(ask))
{}

std::string CImageSurvey::Located(const std::string& path) const
{
    auto found = m_located.find(path);
    return found == m_located.end() ? path : found->second;
}

int CImageSurvey::OpenVolume(const std::string& path, CDeviceIo& io)
{
    m_lastVolume = path;
    std::string at = path;
    while (!DeviceSystem::FileExists(at)) {
        if (!m_ask || !m_ask(at))
            return Refuse(ERR_FILE_NOT_FOUND, "the volume is missing", path);
    }
    if (io.Open(at, CDeviceIo::ModeRead) != 0)
        return ERR_OPEN_FILE;
    if (at != path)
        m_located[path] = at;
    return 0;
}

int CImageSurvey::Survey(const std::string& firstVolume, uint8_t fsType)
{
    m_volumes = 0;
    std::string volume = firstVolume;
    Image newer;
    for (bool newest = true;; newest = false) {
        Image image;
        const int result = SurveyImage(volume, fsType, &image);
        if (result != 0)
            return result;
        if (!newest) {
            // Each older image must be the one the newer builds on: the
            // same chain, an earlier generation (which also ends a chain
            // whose names loop), and the id the newer one names.
            if (image.chainId != newer.chainId || image.generation >= newer.generation)
                return Refuse(ERR_VOLUME_CHAIN, "not the image the newer one builds on", volume);
            if (newer.baseImageId != 0 && image.imageId != newer.baseImageId)
                return Refuse(ERR_OTHER_IMAGE, "another image than the newer one builds on", volume);
        }
        // Only NTFS images build on older ones; a FAT32 image of a later
        // generation holds all of its partition.
        if (image.generation == 0 || image.fsType != FS_TYPE_NTFS)
            return 0;
        if (image.prevName.empty())
            return Refuse(ERR_DAMAGED_IMAGE, "an incremental image that names no image it builds on", volume);
        volume = m_imageDir + image.prevName;
        fsType = image.fsType;
        newer = image;
    }
}

int CImageSurvey::SurveyImage(const std::string& firstVolume, uint8_t fsType, Image* image)
{
    std::string path = firstVolume;
    for (unsigned index = 0;; ++index) {
        CDeviceIo io;
        int result = OpenVolume(path, io);
        if (result != 0)
            return result;
        std::string nextName;
        result = SurveyVolume(io, index, image, &nextName);
        if (result != 0)
            return result;
        if (index == 0 && fsType != 0 && image->fsType != fsType)
            return Refuse(ERR_BAD_MAGIC, "an image of another file system", path);
        ++m_volumes;
        if (nextName.empty())
            return 0;
        if (index + 1 >= ImageFormat::kMaxVolumes)
            return Refuse(ERR_VOLUME_ORDER, "a volume after the 256th", path);
        path = m_imageDir + nextName;
    }
}

int CImageSurvey::SurveyVolume(CDeviceIo& io, unsigned index, Image* image, std::string* nextName)
{
    const std::string& path = io.Path();
    tagBLOCK_END end{};
    std::string prevName;
    int result = VolumeRecords::Read(io, &end, &prevName, nextName);
    if (result == ERR_BAD_MAGIC && index > 0)
        return Refuse(ERR_VOLUME_TRUNCATED, "the volume ends without its trailer", path);
    if (result != 0)
        return result;
    VolumeCheck::Record record;
    bool checked = false;
    result = VolumeCheck::ReadRecord(io, end, &record, &checked);
    if (result != 0)
        return result;

    const bool single = end.singleVolume != 0;
    if (single != (index == 0 && nextName->empty()))
        return Refuse(ERR_DAMAGED_IMAGE, "the trailer's single-volume byte contradicts its names", path);
    if (index == 0) {
        if (end.volumeIndex != 0)
            return ERR_NOT_FIRST_VOLUME;
        image->chainId = end.chainId;
        image->generation = end.generation;
        image->fsType = end.fsType;
        image->checked = checked;
        image->imageId = checked ? record.head.imageId : 0;
        image->baseImageId = checked ? record.head.baseImageId : 0;
        image->prevName = prevName;
        if ((end.generation == 0) != prevName.empty())
            return Refuse(ERR_DAMAGED_IMAGE, "the trailer's generation contradicts its names", path);
        return 0;
    }
    if (end.volumeIndex != index)
        return Refuse(ERR_VOLUME_ORDER, "a volume out of its place", path);
    if (end.chainId != image->chainId || end.generation != image->generation || end.fsType != image->fsType ||
        prevName != image->prevName)
        return Refuse(ERR_VOLUME_CHAIN, "a volume of another image", path);
    if (checked != image->checked || (checked && record.head.imageId != image->imageId))
        return Refuse(ERR_OTHER_IMAGE, "a volume of another image", path);
    return 0;
}
