// Before a restore writes its first byte: finds every volume of the image
// and of the older images of its chain, and checks what each says of
// itself at its end (trailer, names, check record) against the others, so
// that a missing, renamed, cut or foreign volume refuses the restore while
// the target is still untouched. Reads no data.
#ifndef QUARN_IMAGE_IMAGE_SURVEY_H
#define QUARN_IMAGE_IMAGE_SURVEY_H

#include "quarn/api/image_format.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>

class CDeviceIo;

class CImageSurvey {
public:
    // Asked for a volume that is not where its name says: true to try the
    // (possibly changed) path again, false to give up.
    using AskForVolume = std::function<bool(std::string& path)>;

    CImageSurvey(std::string imageDir, AskForVolume ask);

    // Walks the image whose first volume is `firstVolume`, and the images
    // it builds on; `fsType` is the file system the restore expects (0:
    // any). 0, or the code of the first fault.
    int Survey(const std::string& firstVolume, uint8_t fsType);
    // Where the survey found the volume expected at `path` (the user may
    // have named another place); `path` itself when it was not asked for.
    std::string Located(const std::string& path) const;
    // The volume the survey looked at last: after a refusal, the one at fault.
    const std::string& LastVolume() const { return m_lastVolume; }
    unsigned VolumeCount() const { return m_volumes; }

private:
    struct Image {
        uint32_t chainId = 0;
        uint8_t generation = 0;
        uint8_t fsType = 0;
        bool checked = false;
        uint64_t imageId = 0;
        uint64_t baseImageId = 0;
        std::string prevName;
    };
    // Opens the volume expected at `path`, asking for it while it is
    // missing; the path it was found at goes into m_located.
    int OpenVolume(const std::string& path, CDeviceIo& io);
    int SurveyImage(const std::string& firstVolume, uint8_t fsType, Image* image);
    int SurveyVolume(CDeviceIo& io, unsigned index, Image* image, std::string* nextName);

    std::string m_imageDir;
    AskForVolume m_ask;
    std::map<std::string, std::string> m_located;
    std::string m_lastVolume;
    unsigned m_volumes = 0;
};

#endif
