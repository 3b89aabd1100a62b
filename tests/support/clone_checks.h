// What a partition clone does whatever the file system it copies: progress
// counted up to 95 over the used bytes, a cancel that leaves the destination
// holding no file system, refusals that write nothing, and a boot sector
// that names the destination's place on its disk. Each file system's clone
// tests run these checks with its own clone entry and its own checkers.
#ifndef TEST_SUPPORT_CLONE_CHECKS_H
#define TEST_SUPPORT_CLONE_CHECKS_H

#include "quarn/api/quarn.h"
#include "support/recording_callbacks.h"
#include "support/test_support.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// One file system's clone as the checks drive it.
struct CloneUnderTest {
    // The engine's entry (clone_fat32, clone_ntfs).
    int (*entry)(tagCloneArgument arg, tagCallBackFunc cb);
    // The file system's quick read-only checker (fsck.fat -n, ntfsfix -n):
    // it exits with 0 on a partition it takes for sound.
    CommandResult (*quickCheck)(const std::string& partition);
    // All the file system's checkers find wrong with a partition: empty
    // when it is sound.
    std::string (*problems)(const std::string& partition);
    // The size of a destination that holds the tests' source with room.
    uint64_t destBytes;

    // `entry` of `source` onto `dest`, no file left out.
    int Clone(const std::string& source, const std::string& dest,
              const tagCallBackFunc& callbacks = tagCallBackFunc()) const;
};

// Clones `source` (`used` bytes in use) onto a fresh destination and
// expects one total of the used bytes, steps counted one by one up to 95,
// bytes done that add up to the used bytes, a name reported and the states
// `states`. `calls`, when given, keeps what was reported for the file
// system's own checks.
void ExpectProgressAndStates(const CloneUnderTest& clone, const std::string& source, uint64_t used,
                             const std::vector<QString>& states, RecordingCallbacks* calls = nullptr);

// For each step of `steps`: a clone onto a destination that holds a sound
// copy, cancelled at that step, returns ERR_CANCELLED having reported no
// step past it, and leaves the destination holding no file system, only the
// mark of a copy that did not finish.
void ExpectCancelLeavesNoFileSystem(const CloneUnderTest& clone, const std::string& source,
                                    const std::vector<int>& steps);

// A call the clone must refuse, named by what is wrong with it.
struct CloneRefusal {
    const char* what;
    std::string source;
    std::string dest;
    int expected;
};

// The partition files the refusals of every clone are tried on, in a folder
// of their own (`dir`, where a file system's own refusals add theirs).
struct RefusalFiles {
    TempDir dir;
    std::string dest = dir.file("sdx1");            // holds a sound clone of the source
    std::string link = dir.file("link-to-source");  // the source under another name (a hard link)
    std::string small = dir.file("sdw1");           // holds fewer bytes than the source uses
    std::string zeros = dir.file("sdv1");           // as large as the source, holding no file system
    std::string marked = dir.file("sdu1");          // the source, marked as a restore that did not finish
};

// Makes `files` for `source`; `small` is `smallBytes` long.
void MakeRefusalFiles(const CloneUnderTest& clone, const std::string& source, uint64_t smallBytes,
                      RefusalFiles* files);

// The refusals every clone makes: a destination that is the source (under
// its own name or another), one too small, a source holding no file system
// or a restore that did not finish, and a source or a destination that does
// not exist.
std::vector<CloneRefusal> RefusalsOfEveryClone(const std::string& source, const RefusalFiles& files);

// Every refusal returns its code before a byte is written: each file of
// `untouched` keeps the bytes it had before the call.
void ExpectRefusalsWriteNothing(const CloneUnderTest& clone, const std::vector<CloneRefusal>& refusals,
                                const std::vector<std::string>& untouched);

// The boot sector of a clone names the destination's place on its disk
// (the disk file beside it lists it from sector 2048), not the source's,
// and the clone is sound.
void ExpectBootSectorCarriesTheDestinationsHiddenSectors(const CloneUnderTest& clone,
                                                         const std::string& source);

}  // namespace testsupport

#endif
