// Volume helpers of the Windows engine: the system's disk check on a drive,
// the physical disk that holds a drive letter, a drive root from a letter,
// and a volume's total and free bytes. All go through the current Windows
// platform (winplat::currentPlatform()).
#pragma once

#include <string>

// Runs the disk check with repair on drive `driveIndex` (1 = A, 2 = B, ...)
// and waits for it. A batch file and the file of answers to the check's
// question live in a private temporary folder that is removed afterwards.
// Returns 0 when the check ran, 16 when its files cannot be created, 3 when
// it cannot be started (or `driveIndex` names no drive). When the check ran,
// its own exit status is stored in `checkStatus` if given (0 no errors, 1
// errors fixed, ...).
unsigned int runChkdsk(int driveIndex, unsigned int* checkStatus = nullptr);
// The same with the checker program given by its Windows path.
unsigned int runChkdskWith(const std::u16string& checker, int driveIndex,
                           unsigned int* checkStatus = nullptr);

// The number N of \\.\PhysicalDriveN that holds drive `driveIndex`
// (1 = A, ...); -1 when the drive has no volume or the system cannot tell.
int getVolumeDeviceNumber(int driveIndex);

// Writes the root of `letter` ("C:\", upper case) into `out`; returns the
// letter's index (A = 1), or -1 when `outLength` is below 4 or `letter` is
// not a letter.
int upperDriveLetter(char letter, wchar_t* out, int outLength);

// Total and free bytes of the volume at `root`; both outputs (either may be
// null) are set to 0 first. Returns 1 on success, 0 on failure.
int getDiskFreeSpace(const wchar_t* root, unsigned long long* totalBytes, unsigned long long* freeBytes);
