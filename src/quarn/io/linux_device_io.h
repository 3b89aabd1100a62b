// The engine's one handle for image volumes, partitions and whole disks in
// its Linux build: every byte a job reads or writes passes through a
// CDeviceIo. The engine's sources include "io/device_io.h", which the build
// points at this header or at another build's device class; each offers
// the same calls.
#ifndef QUARN_IO_LINUX_DEVICE_IO_H
#define QUARN_IO_LINUX_DEVICE_IO_H

#include "quarn/io/linux_io.h"

class CDeviceIo final : public CLinuxIo {
public:
    using CLinuxIo::CLinuxIo;
};

#endif
