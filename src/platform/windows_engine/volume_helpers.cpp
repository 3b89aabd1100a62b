#include "platform/windows_engine/volume_helpers.h"

#include <memory>

#include "platform/windows/paths.h"
#include "platform/windows/platform.h"
#include "platform/windows/text.h"

using namespace winplat;

namespace {

constexpr unsigned int kChecked = 0;
constexpr unsigned int kFilesFailed = 16;
constexpr unsigned int kNotStarted = 3;

bool validDriveIndex(int driveIndex)
{
    return driveIndex >= 1 && driveIndex <= 26;
}

char16_t driveLetter(int driveIndex)
{
    return static_cast<char16_t>(u'A' + driveIndex - 1);
}

bool writeFile(Platform& platform, const std::u16string& path, const std::string& bytes)
{
    Error error = err::kSuccess;
    std::unique_ptr<Device> file = platform.open(path, OpenMode::Create, error);
    if (!file)
        return false;
    std::size_t done = 0;
    return file->write(bytes.data(), bytes.size(), done) == err::kSuccess && done == bytes.size();
}

std::u16string quoted(const std::u16string& path)
{
    return u"\"" + path + u"\"";
}

}  // namespace

unsigned int runChkdskWith(const std::u16string& checker, int driveIndex, unsigned int* checkStatus)
{
    if (!validDriveIndex(driveIndex))
        return kNotStarted;
    std::shared_ptr<Platform> platform = currentPlatform();

    std::u16string folder;
    if (platform->makeTempFolder(folder) != err::kSuccess)
        return kFilesFailed;
    const std::u16string batch = folder + u"\\check.bat";
    const std::u16string answersName = u"answers.txt";
    const std::u16string answers = folder + u"\\" + answersName;
    auto cleanUp = [&] {
        platform->removeFile(batch);
        platform->removeFile(answers);
        platform->removeFolder(folder);
    };

    // One command, no line end: check with repair, answering "Y" to the
    // question whether to check at the next start, then two empty lines. The
    // answers are named through the batch's own folder (%~dp0), which the
    // shell spells right whatever the characters of the temporary folder.
    std::u16string command = quoted(checker) + u" " + std::u16string(1, driveLetter(driveIndex)) +
                             u": /f < " + quoted(u"%~dp0" + answersName);
    if (!writeFile(*platform, batch, platform->toAnsiCodePage(command)) ||
        !writeFile(*platform, answers, "Y\r\n\r\n")) {
        cleanUp();
        return kFilesFailed;
    }

    std::uint32_t status = 0;
    Error error = platform->runProcess(quoted(batch), Platform::kWaitForever, status);
    cleanUp();
    if (error != err::kSuccess)
        return kNotStarted;
    if (checkStatus)
        *checkStatus = status;
    return kChecked;
}

unsigned int runChkdsk(int driveIndex, unsigned int* checkStatus)
{
    std::u16string system;
    if (currentPlatform()->systemDirectory(system) != err::kSuccess)
        return kNotStarted;
    return runChkdskWith(system + u"\\chkdsk.exe", driveIndex, checkStatus);
}

int getVolumeDeviceNumber(int driveIndex)
{
    if (!validDriveIndex(driveIndex))
        return -1;
    Error error = err::kSuccess;
    std::unique_ptr<Device> volume =
        currentPlatform()->open(volumeDevicePath(driveLetter(driveIndex)), OpenMode::Read, error);
    if (!volume)
        return -1;
    DeviceNumber number;
    if (volume->deviceNumber(number) != err::kSuccess)
        return -1;
    return static_cast<int>(number.deviceNumber);
}

int upperDriveLetter(char letter, wchar_t* out, int outLength)
{
    if (!out || outLength < 4)
        return -1;
    char upper = letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 'a' + 'A') : letter;
    if (upper < 'A' || upper > 'Z')
        return -1;
    out[0] = static_cast<wchar_t>(upper);
    out[1] = L':';
    out[2] = L'\\';
    out[3] = 0;
    return upper - 'A' + 1;
}

int getDiskFreeSpace(const wchar_t* root, unsigned long long* totalBytes, unsigned long long* freeBytes)
{
    if (totalBytes)
        *totalBytes = 0;
    if (freeBytes)
        *freeBytes = 0;
    if (!root)
        return 0;
    FreeSpace space;
    if (currentPlatform()->freeSpace(fromWide(root), space) != err::kSuccess)
        return 0;
    if (totalBytes)
        *totalBytes = space.totalBytes;
    if (freeBytes)
        *freeBytes = space.freeBytes;
    return 1;
}
