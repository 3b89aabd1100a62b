// The Windows paths of drives, volumes and disks, in one place.
#pragma once

#include <string>

namespace winplat {

// "\\.\C:" for 'c' or 'C': the volume itself, never its root folder;
// empty when `letter` is not a letter.
std::u16string volumeDevicePath(char16_t letter);
// The volume of a partition string that begins with its drive letter
// ("c:\", "D:", "e"); empty when it does not.
std::u16string volumeDevicePathOf(const std::u16string& partition);
// "C:\" for 'c' or 'C'; empty when `letter` is not a letter.
std::u16string driveRoot(char16_t letter);
// "\\.\PhysicalDrive3" for 3.
std::u16string physicalDrivePath(unsigned number);

}  // namespace winplat
