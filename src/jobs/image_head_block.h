// A head block as the backup wizards build it, with the values they check
// beside it (image_head_layout.h holds the block's format).
#ifndef JOBS_IMAGE_HEAD_BLOCK_H
#define JOBS_IMAGE_HEAD_BLOCK_H

#include "jobs/image_head_layout.h"

#include <QByteArray>

// A built head block and the values the backup wizard checks beside it.
struct ImageHeadBlock {
    QByteArray bytes;  // the whole block; empty before a build
    int fsCode = 0;
    qint64 usedBytes = -1;
    qint64 partBytes = -1;
    bool active = false;
    char letter = ' ';

    bool isEmpty() const { return bytes.isEmpty(); }
    tagBackupImageHeadInfo* data()
    {
        return bytes.isEmpty() ? nullptr : reinterpret_cast<tagBackupImageHeadInfo*>(bytes.data());
    }
    int size() const { return bytes.size(); }
};

#endif
