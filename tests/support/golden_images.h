// What the golden images and their maker share: the manifest of a restored
// tree (folders, and each file's size and SHA-256) as ntfs-3g or the host
// sees it, and the constants written into the password image.
#ifndef TEST_SUPPORT_GOLDEN_IMAGES_H
#define TEST_SUPPORT_GOLDEN_IMAGES_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// Test data of the password image, not a credential.
constexpr char kGoldenPassword[] = "golden-pass";
constexpr char kGoldenDescription[] = "Golden image: NTFS with a password and a description";
// The caller's head block, stored at offset 0 of the first volume (with its zero).
constexpr char kGoldenHead[] = "golden head block v1";

// Paths start with '/'. On disk: "D <path>" per folder, then
// "F <size> <sha256> <path>" per file, each set sorted.
struct Manifest {
    std::set<std::string> folders;
    std::map<std::string, std::pair<uint64_t, std::string>> files;
};

std::string Sha256Hex(const std::vector<uint8_t>& bytes);
std::string FormatManifest(const Manifest& m);
Manifest ReadManifest(const std::string& path);
// ntfs-3g's view of an NTFS partition file below `folder` ("" for the root):
// ntfsls per folder (system files hidden), each file read with ntfscat.
bool NtfsManifest(const std::string& partition, const std::string& folder, Manifest* m, std::string* why);
// The tree below root + folder on this machine (a FAT32 volume copied out).
void HostManifest(const std::string& root, const std::string& folder, Manifest* m);

}  // namespace testsupport

#endif
