// The console's reader of image head blocks on arbitrary bytes: whatever it
// accepts fits inside the bytes given, and it never reads past them.
#include "jobs/image_head_reader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    ImageHeadView view;
    if (parseHeadBlock(bytes, &view) == HeadReadResult::Ok) {
        const qint64 used = ImageHead::kFixedSize + qint64(ImageHead::kEntrySize) * view.entries.size() +
                            view.diskName.size() + view.partName.size();
        if (used > qint64(view.blockSize) || qint64(view.blockSize) > bytes.size())
            abort();
    }
    ImageHeadView fixedOnly;
    parseHeadFixedPart(bytes, &fixedOnly);
    return 0;
}
