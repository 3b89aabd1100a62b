// The head block at offset 0 of an image's first volume: which disk and
// partition the image was taken from. The engine stores it unchanged; the
// console builds it before a backup and reads it back to list and check
// images. The job layer lays the block out (image_head_builder.h); this
// gathers what the prober knows of the partition and its disk.
#ifndef RESCUE_CONSOLE_IMAGE_HEAD_INFO_H
#define RESCUE_CONSOLE_IMAGE_HEAD_INFO_H

#include "jobs/image_head_block.h"
#include "jobs/image_head_builder.h"
#include "jobs/image_head_layout.h"
#include "jobs/image_head_reader.h"

#include <QByteArray>
#include <QString>

class DeviceProber;
class TreeItem;

namespace ImageHead {

// The whole number after the disk part of a partition's device path:
// 12 for /dev/sda12, 3 for /dev/nvme0n1p3, 2 for /dev/mmcblk0p2, 0 for a
// whole-disk node or a path without a number. Capped at 255 (one byte).
int partitionNumberOfPath(const QString& path);

}  // namespace ImageHead

// Builds the block for a partition of the disk at diskPath (diskNumber as
// the partition tree numbers the disk row) from the prober's list, under
// its lock. 0 on success; -1 when the disk or partition is not listed, with
// "get partition information failed!" on standard error and *block as it
// was.
int buildHeadInfo(DeviceProber& prober, const QString& diskPath, int diskNumber, const QString& partitionPath,
                  ImageHeadBlock* block);
// The same for a partition row of the partition tree (its parent is the
// disk row).
int buildHeadInfo(DeviceProber& prober, const TreeItem* partitionRow, ImageHeadBlock* block);

#endif
