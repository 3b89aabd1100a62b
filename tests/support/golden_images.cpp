#include "support/golden_images.h"

#include "support/ntfs_fixture.h"
#include "support/test_support.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace testsupport {

std::string Sha256Hex(const std::vector<uint8_t>& bytes)
{
    return QCryptographicHash::hash(
               QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size())),
               QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

std::string FormatManifest(const Manifest& m)
{
    std::ostringstream out;
    for (const auto& folder : m.folders)
        out << "D " << folder << "\n";
    for (const auto& file : m.files)
        out << "F " << file.second.first << " " << file.second.second << " " << file.first << "\n";
    return out.str();
}

Manifest ReadManifest(const std::string& path)
{
    Manifest m;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("D ", 0) == 0) {
            m.folders.insert(line.substr(2));
        } else if (line.rfind("F ", 0) == 0) {
            std::istringstream words(line.substr(2));
            uint64_t size = 0;
            std::string digest;
            words >> size >> digest;
            std::string rest;
            std::getline(words, rest);
            m.files[rest.substr(1)] = {size, digest};
        }
    }
    return m;
}

bool NtfsManifest(const std::string& partition, const std::string& folder, Manifest* m, std::string* why)
{
    CommandResult listing =
        Run("ntfsls -F -p " + Quote(folder.empty() ? "/" : folder) + " " + Quote(partition));
    if (listing.exitCode != 0) {
        *why = "ntfsls failed for " + folder + ": " + listing.output;
        return false;
    }
    std::istringstream lines(listing.output);
    std::string name;
    while (std::getline(lines, name)) {
        if (name.empty() || name == "./" || name == "../")
            continue;
        if (name.back() == '/') {
            const std::string path = folder + "/" + name.substr(0, name.size() - 1);
            m->folders.insert(path);
            if (!NtfsManifest(partition, path, m, why))
                return false;
            continue;
        }
        // -F marks folders with '/' and leaves file names as they stand.
        const std::string path = folder + "/" + name;
        std::vector<uint8_t> bytes;
        if (!NtfsCat(partition, path, &bytes)) {
            *why = "ntfscat failed for " + path;
            return false;
        }
        m->files[path] = {bytes.size(), Sha256Hex(bytes)};
    }
    return true;
}

void HostManifest(const std::string& root, const std::string& folder, Manifest* m)
{
    CommandResult listing = Run("ls -A1 " + Quote(root + folder + "/"));
    std::istringstream lines(listing.output);
    std::string name;
    while (std::getline(lines, name)) {
        if (name.empty())
            continue;
        const std::string path = folder + "/" + name;
        struct stat st {};
        if (stat((root + path).c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            m->folders.insert(path);
            HostManifest(root, path, m);
        } else {
            const std::vector<uint8_t> bytes = ReadFileBytes(root + path);
            m->files[path] = {bytes.size(), Sha256Hex(bytes)};
        }
    }
}

}  // namespace testsupport
