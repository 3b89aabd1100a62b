// The restore wizard's view of an image's end records on arbitrary files,
// through the record reader the engine's restore uses too:
// whatever it accepts is a whole digest and a bounded description, and no
// stored size makes it read outside the file or allocate without bound.
#include "fuzz_support.h"
#include "quarn/api/image_format.h"
#include "jobs/image_trailer.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzzsupport::MakeScratchDir("image_trailer_fuzz") + "/image_0_0.bkp";
    fuzzsupport::WriteFile(path, data, size);
    const ImageTrailer trailer = readImageTrailerRecords(QString::fromStdString(path));
    if (trailer.status == ImageTrailer::Ok) {
        if (!trailer.passwordDigest.isEmpty() &&
            trailer.passwordDigest.size() != ImageFormat::kPasswordDigestBytes)
            abort();
        if (trailer.description.size() > int(ImageFormat::kMaxDecodedDescriptionBytes))
            abort();
    } else if (!trailer.passwordDigest.isEmpty() || !trailer.description.isEmpty()) {
        abort();
    }
    return 0;
}
