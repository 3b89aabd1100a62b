// The disk inventory: the machine's physical disks from WMI, each with its
// partitions from the disk's drive layout and, for partitions with a drive
// letter, the volume's label, file system and sizes.
//
// Callers reach the process's inventory through CVetra::instance(); the list
// GetVetra returns stays valid until RemoveDiskList (or the destruction of
// the CVetra that returned it). Use it from one thread: the WMI session
// belongs to the thread that created the object.
#pragma once

#include <memory>
#include <vector>

#include "platform/vetra/disk_info.h"
#include "platform/vetra/inventory_rules.h"
#include "platform/windows/platform.h"

// Vetra.dll exports CVetra; the static library of the same code (tests,
// Linux) is built with VETRA_STATIC.
#if defined(_WIN32) && !defined(VETRA_STATIC) && defined(VETRA_BUILDING)
#define VETRA_API __declspec(dllexport)
#elif defined(_WIN32) && !defined(VETRA_STATIC)
#define VETRA_API __declspec(dllimport)
#else
#define VETRA_API
#endif

// Vetra.dll exports the interface below, not the platform-taking
// constructor (the platform layer is not part of the DLL's interface) nor
// the helpers.
class CVetra {
public:
    // Connects to WMI through the current platform (or the one given);
    // failures are printed, and leave GetVetra answering null.
    VETRA_API CVetra();
    explicit CVetra(std::shared_ptr<winplat::Platform> platform);
    // A copy holds its own copy of the cached list and shares the WMI
    // connection, which stays open while any copy holds it.
    VETRA_API CVetra(const CVetra& other);
    VETRA_API CVetra& operator=(const CVetra& other);
    VETRA_API virtual ~CVetra();

    VETRA_API static CVetra* instance();

    // The cached list, built on first use; null when the query fails.
    VETRA_API const _DiskInfo* GetVetra();
    // Frees the cached list; the next GetVetra builds a new one.
    VETRA_API void RemoveDiskList();

private:
    bool query(_DiskInfo*& list);
    void scanDriveLetters();
    void addPartitions(_DiskInfo* disk);
    void describeVolume(_PartInfo* part, std::uint64_t length);

    std::shared_ptr<winplat::Platform> m_platform;
    std::shared_ptr<winplat::WmiSession> m_wmi;
    winplat::WmiStatus m_status;  // the last COM result
    char m_systemLetter = 0;      // lower case, 0 when unknown
    std::vector<vetra::LetterRecord> m_letters;
    _DiskInfo* m_cache = nullptr;
};
