// The engine's one handle for image volumes, partitions and whole disks:
// every byte a job reads or writes passes through a CDeviceIo. Each build
// of the engine brings its own: the Linux build CLinuxIo (io/linux_io.h),
// the Windows build CWinIo over the Windows platform layer (engine_io.h,
// found on that build's include path). Both offer the same calls.
#ifndef QUARN_IO_DEVICE_IO_H
#define QUARN_IO_DEVICE_IO_H

#ifdef QUARN_WINDOWS_FLAVOUR
#include "engine_io.h"
#else

#include "io/linux_io.h"

class CDeviceIo final : public CLinuxIo {
public:
    using CLinuxIo::CLinuxIo;
};

#endif  // QUARN_WINDOWS_FLAVOUR

#endif
