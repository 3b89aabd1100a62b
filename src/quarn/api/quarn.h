// Public interface of the imaging engine (libquarn.so.1).
// Callers include only this header.
#ifndef QUARN_QUARN_H
#define QUARN_QUARN_H

#include <QString>
#include <cstdint>
#include <string>

#if defined(__GNUC__) && !defined(_WIN32)
#define QUARN_EXPORT __attribute__((visibility("default")))
#else
#define QUARN_EXPORT
#endif

// Backup request. The field order is part of the interface: callers fill the
// record and the engine copies it field by field.
struct tagBackupArgument {
    bool incremental = false;     // true: build on prevImage
    std::string srcPartition;     // source partition device, opened read-only
    std::string imagePath;        // image base path; volume names derive from it
    std::string mbrSource;        // whole disk whose first mbrSize bytes are stored
    std::string prevImage;        // first volume of the image this one builds on
    int fsType = 0;               // 4 NTFS, 3 FAT32
    int reserved = 0;             // copied by the job, written to no image, read by nothing
    int compressType = 0;         // 0 none, 1 QuickLZ, 2 deflate level 1, 3 deflate default
    bool saveMbr = false;         // copied by the job, written to no image; mbrSize decides
    int mbrSize = 0;              // bytes of mbrSource to store (512 or 0)
    std::string password;         // empty: none; stored as its MD5 digest
    std::string description;      // free text, stored compressed
    uint64_t volumeSize = ~0ULL;  // split size; all ones: never split
    uint64_t bytesToProcess = 0;  // progress total when the used-size query fails
};

// Restore request.
struct tagRestoreArgument {
    std::string imagePath;        // image volume to start from (volume 0)
    std::string targetPartition;  // partition device written
    int hasMbr = 0;               // non-zero: also write the stored disk start back
};

// Clone request: the source's used data copied onto the destination, laid
// out afresh for the destination's size, with no image in between.
struct tagCloneArgument {
    std::string srcPartition;          // partition device read, opened read-only
    std::string destPartition;         // partition device erased and written
    bool filterPageFile = false;       // leave out the data of the root's pagefile.sys
    bool filterHibernateFile = false;  // leave out the data of the root's hiberfil.sys
};

// Callback record: seven functions and the context handed back to each.
// A null slot is a no-op: a null onProgress never cancels, a null
// onNextFile gives up.
struct tagCallBackFunc {
    int (*onProgress)(int step, void* context) = nullptr;
    void (*onTotalBytes)(uint64_t total, void* context) = nullptr;
    int (*onNextFile)(QString& path, void* context) = nullptr;
    void (*onBytesDone)(uint64_t bytes, void* context) = nullptr;
    void (*onName)(QString name, void* context) = nullptr;
    void (*onMessage)(QString text, void* context) = nullptr;
    void (*onState)(QString state, void* context) = nullptr;
    void* context = nullptr;
};

// The caller-built description of the source; the engine stores its bytes
// unchanged at offset 0 of the first volume and never looks inside.
struct tagBackupImageHeadInfo;

// Engine result codes: 0 is success, everything else a failure.
enum QuarnResult : int {
    ERR_SUCCESS = 0,
    ERR_NO_BOOT_AREA = 1,
    ERR_OPEN_FILE = 16,
    ERR_READ_FILE = 17,
    ERR_WRITE_FILE = 18,
    ERR_FILE_NOT_FOUND = 20,
    ERR_SEEK_FILE = 21,
    ERR_BAD_MAGIC = 31,
    ERR_OPEN_PART = 32,
    ERR_READ_PART = 33,
    ERR_WRITE_PART = 34,
    ERR_SEEK_PART = 37,
    ERR_PART_INFO = 47,
    ERR_PART_TOO_SMALL = 48,
    ERR_NO_MEMORY = 64,
    ERR_OPEN_DISK = 80,
    ERR_READ_MBR = 81,
    ERR_WRITE_MBR = 82,
    ERR_CANCELLED = 97,
    ERR_COMPRESS = 99,
    ERR_NOT_FIRST_VOLUME = 0x10000,
    ERR_VOLUME_ORDER = 0x10001,
    ERR_VOLUME_CHAIN = 0x10002,
    // The image's bytes differ from what it says of itself: a checksum, a
    // record digest, a count or a record field that cannot be.
    ERR_DAMAGED_IMAGE = 0x10003,
    // An incremental backup on a chain that already holds 255 of them.
    ERR_CHAIN_FULL = 0x10004,
    // The image would need a 257th volume.
    ERR_TOO_MANY_VOLUMES = 0x10005,
    // A text of the request (description, path, name) longer than the image can store.
    ERR_FIELD_TOO_LONG = 0x10006,
    // A volume ends before its records say it does (cut short, or not yet written whole).
    ERR_VOLUME_TRUNCATED = 0x10007,
    // A data set says it goes on, but its volume is the image's last.
    ERR_SET_PAST_LAST_VOLUME = 0x10008,
    // A volume of another image (another image id) stands where this one's should.
    ERR_OTHER_IMAGE = 0x10009,
    // An incremental backup on an image that is not the newest of its chain.
    ERR_NOT_NEWEST_IMAGE = 0x1000A,
    // Boot code for a disk asked for, but no disk is known to hold the target partition.
    ERR_NO_DISK = 0x1000B,
    // The file-system check after a restore found damage it could not leave alone.
    ERR_FS_CHECK = 0x1000C,
    // A clone whose destination is its source.
    ERR_SAME_PARTITION = 0x1000D,
    // The partition to be written holds a mounted file system.
    ERR_PART_IN_USE = 0x1000E,
    // The source is a partition a stopped restore left (its first sector
    // carries the unfinished-restore mark): there is nothing to read.
    ERR_UNFINISHED_RESTORE = 0x1000F,
    // Not a failure; answered by verify_image alone: the image and its
    // chain are whole as far as they can tell, but an image among them was
    // written before images carried checksums of their data, so only its
    // structure (and, for NTFS, its file records) could be proved.
    VERIFY_NO_DATA_CHECKSUMS = 0x20000,
};

// File-system codes of tagBackupArgument::fsType and the volume trailer.
enum QuarnFsType : int { FS_TYPE_FAT32 = 3, FS_TYPE_NTFS = 4 };

QUARN_EXPORT int backup_ntfs(tagBackupArgument arg, tagCallBackFunc cb, tagBackupImageHeadInfo* head,
                             int headLength);
QUARN_EXPORT int backup_fat32(tagBackupArgument arg, tagCallBackFunc cb, tagBackupImageHeadInfo* head,
                              int headLength);
QUARN_EXPORT int restore_ntfs(tagRestoreArgument arg, tagCallBackFunc cb);
QUARN_EXPORT int restore_fat32(tagRestoreArgument arg, tagCallBackFunc cb);
QUARN_EXPORT int restore_mbr(tagRestoreArgument arg, tagCallBackFunc cb);
// Copies the NTFS (FAT32) partition arg.srcPartition onto arg.destPartition
// through the backup's walk and the restore's writer, reading and writing
// at once with no image between them: the used data only, laid out afresh
// for the destination's size (its own hidden sectors), the unfinished-
// restore mark first and the real boot sectors last; a FAT32 copy is then
// checked as a restore is (ERR_FS_CHECK). filterPageFile leaves out the
// data of the root's page file, filterHibernateFile that of the root's
// hibernation file (NTFS only): the files stay, as a restore of an image
// leaves them. Callbacks: onTotalBytes once (the source's used bytes),
// progress in 95 steps, onBytesDone, onName, onState ("Initializing ...",
// "Cloning partition ...", then the restore's texts up to "Finish"); a
// non-zero onProgress cancels (ERR_CANCELLED, the destination then holds
// no file system). Refused before anything is written, with a trace line:
// ERR_SAME_PARTITION (the same path, device or file), ERR_UNFINISHED_RESTORE
// (the source holds a stopped restore), ERR_PART_IN_USE (a block device
// the system holds, such as a mounted one), ERR_PART_TOO_SMALL (the
// destination, once laid out, cannot hold the source's used data; both
// sizes traced), ERR_OPEN_PART, ERR_READ_PART and ERR_PART_INFO (a source
// that is not the file system named, or whose metadata is damaged).
QUARN_EXPORT int clone_ntfs(tagCloneArgument arg, tagCallBackFunc cb);
QUARN_EXPORT int clone_fat32(tagCloneArgument arg, tagCallBackFunc cb);
// Reads every volume of the image whose first volume is arg.imagePath, and
// of the images its chain builds on, and checks their structure and
// checksums; opens them read-only and writes nothing (targetPartition and
// hasMbr are not used). Progress in 95 steps over the bytes read; a
// non-zero onProgress cancels (ERR_CANCELLED); a volume that is not where
// its name says is asked for through onNextFile. 0: the image proved
// whole; VERIFY_NO_DATA_CHECKSUMS: whole as far as an older image can
// tell; ERR_DAMAGED_IMAGE (a trace line names the volume and the offset),
// ERR_OTHER_IMAGE, ERR_FILE_NOT_FOUND and the other codes: refused.
QUARN_EXPORT int verify_image(tagRestoreArgument arg, tagCallBackFunc cb);

// printf-style trace line on standard error.
QUARN_EXPORT void DEBUG_TRACE(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The part after the last slash or backslash (the whole path without one).
QUARN_EXPORT std::string SplitFileName(const std::string& path);
// The part up to and including the last slash or backslash (empty without one).
QUARN_EXPORT std::string GetFileNamePath(const std::string& path);

#endif
