#include "platform/windows/win32_platform.h"

#include <windows.h>
#include <winioctl.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>

#include <algorithm>
#include <vector>

namespace winplat {

namespace {

const wchar_t* w(const std::u16string& text)
{
    return reinterpret_cast<const wchar_t*>(text.c_str());
}
std::u16string u(const wchar_t* text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text));
}
std::u16string u(const wchar_t* text, std::size_t length)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

// No "insert a disk" box may appear while an empty drive is asked about.
class QuietErrors {
public:
    QuietErrors() : m_old(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX))
    {
        SetErrorMode(m_old | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    }
    ~QuietErrors() { SetErrorMode(m_old); }
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;

private:
    UINT m_old;
};

Error lastError()
{
    DWORD e = GetLastError();
    return e ? e : err::kInvalidFunction;
}

constexpr DWORD kChunk = 1u << 30;

class Win32Device : public Device {
public:
    explicit Win32Device(HANDLE handle) : m_handle(handle) {}
    ~Win32Device() override { CloseHandle(m_handle); }

    Error read(void* buffer, std::size_t count, std::size_t& done) override
    {
        done = 0;
        auto* bytes = static_cast<char*>(buffer);
        while (done < count) {
            DWORD n = 0;
            DWORD want = static_cast<DWORD>(std::min<std::size_t>(count - done, kChunk));
            if (!ReadFile(m_handle, bytes + done, want, &n, nullptr))
                return lastError();
            if (n == 0)
                break;
            done += n;
        }
        return err::kSuccess;
    }
    Error write(const void* buffer, std::size_t count, std::size_t& done) override
    {
        done = 0;
        const auto* bytes = static_cast<const char*>(buffer);
        while (done < count) {
            DWORD n = 0;
            DWORD want = static_cast<DWORD>(std::min<std::size_t>(count - done, kChunk));
            if (!WriteFile(m_handle, bytes + done, want, &n, nullptr))
                return lastError();
            if (n == 0)
                break;
            done += n;
        }
        return err::kSuccess;
    }
    Error seek(std::int64_t offset, SeekFrom from, std::uint64_t& position) override
    {
        LARGE_INTEGER distance, moved;
        distance.QuadPart = offset;
        DWORD method = from == SeekFrom::Begin     ? FILE_BEGIN
                       : from == SeekFrom::Current ? FILE_CURRENT
                                                   : FILE_END;
        if (!SetFilePointerEx(m_handle, distance, &moved, method))
            return lastError();
        position = static_cast<std::uint64_t>(moved.QuadPart);
        return err::kSuccess;
    }
    Error readAt(std::uint64_t offset, void* buffer, std::size_t count, std::size_t& done) override
    {
        std::uint64_t position = 0;
        Error e = seek(static_cast<std::int64_t>(offset), SeekFrom::Begin, position);
        return e ? e : read(buffer, count, done);
    }
    Error writeAt(std::uint64_t offset, const void* buffer, std::size_t count, std::size_t& done) override
    {
        std::uint64_t position = 0;
        Error e = seek(static_cast<std::int64_t>(offset), SeekFrom::Begin, position);
        return e ? e : write(buffer, count, done);
    }
    Error size(std::uint64_t& bytes) override
    {
        GET_LENGTH_INFORMATION length{};
        DWORD returned = 0;
        if (DeviceIoControl(m_handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length,
                            &returned, nullptr)) {
            bytes = static_cast<std::uint64_t>(length.Length.QuadPart);
            return err::kSuccess;
        }
        Error ioctlError = lastError();
        LARGE_INTEGER fileSize;
        if (GetFileSizeEx(m_handle, &fileSize)) {  // a file, not a device
            bytes = static_cast<std::uint64_t>(fileSize.QuadPart);
            return err::kSuccess;
        }
        return ioctlError;
    }
    Error partitionInfo(PartitionInfo& info) override
    {
        PARTITION_INFORMATION_EX raw{};
        DWORD returned = 0;
        if (!DeviceIoControl(m_handle, IOCTL_DISK_GET_PARTITION_INFO_EX, nullptr, 0, &raw, sizeof raw,
                             &returned, nullptr))
            return lastError();
        info = convert(raw);
        return err::kSuccess;
    }
    Error deviceNumber(DeviceNumber& number) override
    {
        STORAGE_DEVICE_NUMBER raw{};
        DWORD returned = 0;
        if (!DeviceIoControl(m_handle, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &raw, sizeof raw,
                             &returned, nullptr))
            return lastError();
        number.deviceType = raw.DeviceType;
        number.deviceNumber = raw.DeviceNumber;
        number.partitionNumber = raw.PartitionNumber;
        return err::kSuccess;
    }
    Error driveLayout(DriveLayout& layout) override
    {
        // The size depends on the number of partitions: grow until it fits.
        std::vector<unsigned char> buffer(512);
        DWORD returned = 0;
        while (!DeviceIoControl(m_handle, IOCTL_DISK_GET_DRIVE_LAYOUT_EX, nullptr, 0, buffer.data(),
                                static_cast<DWORD>(buffer.size()), &returned, nullptr)) {
            DWORD e = GetLastError();
            if ((e != ERROR_INSUFFICIENT_BUFFER && e != ERROR_MORE_DATA) || buffer.size() >= (1u << 22))
                return e ? e : err::kInvalidFunction;
            buffer.resize(buffer.size() * 2);
        }
        const auto* raw = reinterpret_cast<const DRIVE_LAYOUT_INFORMATION_EX*>(buffer.data());
        layout = DriveLayout();
        layout.style = raw->PartitionStyle == PARTITION_STYLE_MBR   ? DriveLayout::Mbr
                       : raw->PartitionStyle == PARTITION_STYLE_GPT ? DriveLayout::Gpt
                                                                    : DriveLayout::Raw;
        if (layout.style == DriveLayout::Mbr)
            layout.signature = raw->Mbr.Signature;
        std::size_t fits = (buffer.size() - offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry)) /
                           sizeof(PARTITION_INFORMATION_EX);
        DWORD count = std::min<DWORD>(raw->PartitionCount, static_cast<DWORD>(fits));
        for (DWORD i = 0; i < count; ++i)
            layout.entries.push_back(convert(raw->PartitionEntry[i]));
        return err::kSuccess;
    }
    Error geometry(DiskGeometry& geometry) override
    {
        DISK_GEOMETRY raw{};
        DWORD returned = 0;
        if (!DeviceIoControl(m_handle, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &raw, sizeof raw, &returned,
                             nullptr))
            return lastError();
        geometry.cylinders = static_cast<std::uint64_t>(raw.Cylinders.QuadPart);
        geometry.tracksPerCylinder = raw.TracksPerCylinder;
        geometry.sectorsPerTrack = raw.SectorsPerTrack;
        geometry.bytesPerSector = raw.BytesPerSector;
        return err::kSuccess;
    }
    Error lockVolume() override
    {
        DWORD returned = 0;
        return DeviceIoControl(m_handle, FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr)
                   ? err::kSuccess
                   : lastError();
    }
    Error flush() override { return FlushFileBuffers(m_handle) ? err::kSuccess : lastError(); }

private:
    static PartitionInfo convert(const PARTITION_INFORMATION_EX& raw)
    {
        PartitionInfo info;
        info.start = static_cast<std::uint64_t>(raw.StartingOffset.QuadPart);
        info.length = static_cast<std::uint64_t>(raw.PartitionLength.QuadPart);
        info.number = raw.PartitionNumber;
        if (raw.PartitionStyle == PARTITION_STYLE_MBR) {
            info.type = raw.Mbr.PartitionType;
            info.boot = raw.Mbr.BootIndicator != FALSE;
        }
        return info;
    }

    HANDLE m_handle;
};

// ---- COM -------------------------------------------------------------------

// An owning COM interface pointer: copies AddRef, destruction Releases.
template <class T>
class ComRef {
public:
    ComRef() = default;
    ComRef(const ComRef& other) : m_p(other.m_p)
    {
        if (m_p)
            m_p->AddRef();
    }
    ComRef& operator=(ComRef other)
    {
        std::swap(m_p, other.m_p);
        return *this;
    }
    ~ComRef()
    {
        if (m_p)
            m_p->Release();
    }
    T* operator->() const { return m_p; }
    T* get() const { return m_p; }
    T** put()
    {
        *this = ComRef();
        return &m_p;
    }

private:
    T* m_p = nullptr;
};

class Bstr {
public:
    explicit Bstr(const wchar_t* text) : m_b(SysAllocString(text)) {}
    ~Bstr() { SysFreeString(m_b); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const { return m_b; }

private:
    BSTR m_b;
};

class Variant {
public:
    Variant() { VariantInit(&v); }
    ~Variant() { VariantClear(&v); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT v;
};

std::u16string textProperty(IWbemClassObject* row, const wchar_t* name)
{
    Variant value;
    if (FAILED(row->Get(name, 0, &value.v, nullptr, nullptr)))
        return std::u16string();
    if (value.v.vt == VT_BSTR && value.v.bstrVal)
        return u(value.v.bstrVal, SysStringLen(value.v.bstrVal));
    if (value.v.vt == VT_NULL || value.v.vt == VT_EMPTY)
        return std::u16string();
    Variant text;
    if (FAILED(VariantChangeType(&text.v, &value.v, 0, VT_BSTR)))
        return std::u16string();
    return u(text.v.bstrVal, SysStringLen(text.v.bstrVal));
}

std::int32_t numberProperty(IWbemClassObject* row, const wchar_t* name, std::int32_t fallback)
{
    Variant value;
    if (FAILED(row->Get(name, 0, &value.v, nullptr, nullptr)))
        return fallback;
    if (value.v.vt == VT_NULL || value.v.vt == VT_EMPTY)
        return fallback;
    Variant number;
    if (FAILED(VariantChangeType(&number.v, &value.v, 0, VT_I4)))
        return fallback;
    return number.v.lVal;
}

class Win32WmiSession : public WmiSession {
public:
    ~Win32WmiSession() override
    {
        m_services = ComRef<IWbemServices>();
        m_locator = ComRef<IWbemLocator>();
        // Only a successful initialisation of ours is undone: COM that another
        // part of the program set up for another apartment stays as it was.
        if (m_ownsCom)
            CoUninitialize();
    }

    WmiStatus connect()
    {
        HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (SUCCEEDED(hr))
            m_ownsCom = true;
        else if (hr != RPC_E_CHANGED_MODE)
            return failed(WmiStatus::ComInit, hr);

        hr = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                  RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
        if (FAILED(hr) && hr != RPC_E_TOO_LATE)
            return failed(WmiStatus::Security, hr);

        hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                              reinterpret_cast<void**>(m_locator.put()));
        if (FAILED(hr))
            return failed(WmiStatus::Locator, hr);

        Bstr space(L"ROOT\\CIMV2");
        hr =
            m_locator->ConnectServer(space, nullptr, nullptr, nullptr, 0, nullptr, nullptr, m_services.put());
        if (FAILED(hr))
            return failed(WmiStatus::Connect, hr);

        hr = CoSetProxyBlanket(m_services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                               RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
        if (FAILED(hr))
            return failed(WmiStatus::ProxyBlanket, hr);
        return WmiStatus();
    }

    WmiStatus queryDiskDrives(std::vector<WmiDiskRow>& rows) override
    {
        rows.clear();
        Bstr language(L"WQL");
        Bstr query(L"SELECT * FROM  Win32_DiskDrive ");
        ComRef<IEnumWbemClassObject> rowsEnum;
        HRESULT hr = m_services->ExecQuery(
            language, query, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, rowsEnum.put());
        if (FAILED(hr))
            return failed(WmiStatus::Query, hr);
        for (;;) {
            ComRef<IWbemClassObject> row;
            ULONG returned = 0;
            hr = rowsEnum->Next(WBEM_INFINITE, 1, row.put(), &returned);
            if (FAILED(hr))
                return failed(WmiStatus::Query, hr);
            if (returned == 0)
                break;
            WmiDiskRow disk;
            disk.index = numberProperty(row.get(), L"Index", -1);
            disk.size = textProperty(row.get(), L"Size");
            disk.name = textProperty(row.get(), L"Name");
            disk.model = textProperty(row.get(), L"Model");
            disk.mediaType = textProperty(row.get(), L"MediaType");
            disk.partitions = numberProperty(row.get(), L"Partitions", 0);
            rows.push_back(disk);
        }
        return WmiStatus();
    }

private:
    static WmiStatus failed(WmiStatus::Step step, HRESULT hr)
    {
        WmiStatus status;
        status.step = step;
        status.code = static_cast<std::int32_t>(hr);
        return status;
    }

    bool m_ownsCom = false;
    ComRef<IWbemLocator> m_locator;
    ComRef<IWbemServices> m_services;
};

// ---- Registry --------------------------------------------------------------

HKEY hiveKey(RegistryHive hive)
{
    switch (hive) {
    case RegistryHive::ClassesRoot:
        return HKEY_CLASSES_ROOT;
    case RegistryHive::CurrentUser:
        return HKEY_CURRENT_USER;
    case RegistryHive::LocalMachine:
        break;
    }
    return HKEY_LOCAL_MACHINE;
}

class RegKey {
public:
    RegKey() = default;
    ~RegKey()
    {
        if (m_key)
            RegCloseKey(m_key);
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    HKEY* put() { return &m_key; }
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

Error deleteKeyTree(HKEY parent, const std::u16string& key)
{
    {
        RegKey k;
        LONG rc = RegOpenKeyExW(parent, w(key), 0, KEY_READ | KEY_WRITE, k.put());
        if (rc != ERROR_SUCCESS)
            return static_cast<Error>(rc);
        for (;;) {
            wchar_t child[256];
            DWORD length = 256;
            rc = RegEnumKeyExW(k.get(), 0, child, &length, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_NO_MORE_ITEMS)
                break;
            if (rc != ERROR_SUCCESS)
                return static_cast<Error>(rc);
            Error e = deleteKeyTree(k.get(), u(child, length));
            if (e)
                return e;
        }
    }
    return static_cast<Error>(RegDeleteKeyW(parent, w(key)));
}

// Collects what a program writes into a pipe, until the pipe closes.
struct PipeReader {
    HANDLE pipe;
    std::string* output;

    static DWORD WINAPI run(void* self)
    {
        auto* reader = static_cast<PipeReader*>(self);
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(reader->pipe, buffer, sizeof buffer, &got, nullptr) && got > 0)
            reader->output->append(buffer, got);
        return 0;
    }
};

}  // namespace

std::unique_ptr<Device> Win32Platform::open(const std::u16string& path, OpenMode mode, Error& error)
{
    QuietErrors quiet;
    DWORD access = mode == OpenMode::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    DWORD disposition = mode == OpenMode::Create ? CREATE_ALWAYS : OPEN_EXISTING;
    HANDLE handle = CreateFileW(w(path), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = lastError();
        return nullptr;
    }
    error = err::kSuccess;
    return std::unique_ptr<Device>(new Win32Device(handle));
}

Error Win32Platform::removeFile(const std::u16string& path)
{
    return DeleteFileW(w(path)) ? err::kSuccess : lastError();
}

Error Win32Platform::replaceFile(const std::u16string& from, const std::u16string& to)
{
    return MoveFileExW(w(from), w(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? err::kSuccess
                                                                                           : lastError();
}

Error Win32Platform::createFolder(const std::u16string& path)
{
    return CreateDirectoryW(w(path), nullptr) ? err::kSuccess : lastError();
}

Error Win32Platform::removeFolder(const std::u16string& path)
{
    return RemoveDirectoryW(w(path)) ? err::kSuccess : lastError();
}

Error Win32Platform::makeTempFolder(std::u16string& path)
{
    wchar_t temp[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH)
        return lastError();
    std::u16string base = u(temp, length);
    if (!base.empty() && base.back() != u'\\')
        base += u'\\';
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
        std::string name = "sorvik-" + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(GetTickCount()) + "-" + std::to_string(attempt);
        std::u16string candidate = base + std::u16string(name.begin(), name.end());
        if (CreateDirectoryW(w(candidate), nullptr)) {
            path = candidate;
            return err::kSuccess;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return lastError();
    }
    return err::kAlreadyExists;
}

Error Win32Platform::logicalDriveRoots(std::vector<std::u16string>& roots)
{
    roots.clear();
    DWORD needed = GetLogicalDriveStringsW(0, nullptr);
    if (needed == 0)
        return lastError();
    std::vector<wchar_t> buffer(needed + 1);
    DWORD length = GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0 || length >= buffer.size())
        return lastError();
    for (const wchar_t* p = buffer.data(); *p; p += wcslen(p) + 1)
        roots.push_back(u(p));
    return err::kSuccess;
}

DriveType Win32Platform::driveType(const std::u16string& root)
{
    QuietErrors quiet;
    switch (GetDriveTypeW(w(root))) {
    case DRIVE_NO_ROOT_DIR:
        return DriveType::NoRootDir;
    case DRIVE_REMOVABLE:
        return DriveType::Removable;
    case DRIVE_FIXED:
        return DriveType::Fixed;
    case DRIVE_REMOTE:
        return DriveType::Remote;
    case DRIVE_CDROM:
        return DriveType::CdRom;
    case DRIVE_RAMDISK:
        return DriveType::RamDisk;
    default:
        return DriveType::Unknown;
    }
}

Error Win32Platform::volumeInformation(const std::u16string& root, VolumeInformation& info)
{
    QuietErrors quiet;
    wchar_t label[MAX_PATH + 1] = {0};
    wchar_t fileSystem[MAX_PATH + 1] = {0};
    DWORD serial = 0, maxComponent = 0, flags = 0;
    if (!GetVolumeInformationW(w(root), label, MAX_PATH + 1, &serial, &maxComponent, &flags, fileSystem,
                               MAX_PATH + 1))
        return lastError();
    info.label = u(label);
    info.fileSystem = u(fileSystem);
    info.serialNumber = serial;
    return err::kSuccess;
}

Error Win32Platform::freeSpace(const std::u16string& root, FreeSpace& space)
{
    QuietErrors quiet;
    ULARGE_INTEGER toCaller, total, free;
    if (!GetDiskFreeSpaceExW(w(root), &toCaller, &total, &free))
        return lastError();
    space.totalBytes = total.QuadPart;
    space.freeBytes = free.QuadPart;
    space.freeBytesToCaller = toCaller.QuadPart;
    return err::kSuccess;
}

std::shared_ptr<WmiSession> Win32Platform::openWmi(WmiStatus& status)
{
    auto session = std::make_shared<Win32WmiSession>();
    status = session->connect();
    if (!status.ok())
        return nullptr;
    return session;
}

Error Win32Platform::readRegistryValue(RegistryHive hive, const std::u16string& key,
                                       const std::u16string& name, RegistryValue& value)
{
    RegKey k;
    LONG rc = RegOpenKeyExW(hiveKey(hive), w(key), 0, KEY_READ, k.put());
    if (rc != ERROR_SUCCESS)
        return static_cast<Error>(rc);
    DWORD type = 0, bytes = 0;
    rc = RegQueryValueExW(k.get(), w(name), nullptr, &type, nullptr, &bytes);
    std::vector<BYTE> data;
    while (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) {
        data.resize(bytes + sizeof(wchar_t) * 2);  // room for missing terminators
        DWORD got = bytes;
        rc = RegQueryValueExW(k.get(), w(name), nullptr, &type, data.data(), &got);
        if (rc == ERROR_SUCCESS) {
            bytes = got;
            break;
        }
        if (rc == ERROR_MORE_DATA)
            bytes = got;
    }
    if (rc != ERROR_SUCCESS)
        return static_cast<Error>(rc);

    value = RegistryValue();
    if (type == REG_DWORD) {
        if (bytes < sizeof(DWORD))
            return err::kInvalidData;
        value.type = RegistryValue::DWord;
        value.number = *reinterpret_cast<const DWORD*>(data.data());
        return err::kSuccess;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ)
        return err::kInvalidData;
    value.type = type == REG_SZ          ? RegistryValue::String
                 : type == REG_EXPAND_SZ ? RegistryValue::ExpandString
                                         : RegistryValue::MultiString;
    std::u16string all(reinterpret_cast<const char16_t*>(data.data()), bytes / sizeof(char16_t));
    while (!all.empty() && all.back() == 0)
        all.pop_back();
    if (value.type != RegistryValue::MultiString) {
        value.strings.push_back(all.substr(0, all.find(char16_t(0))));
        return err::kSuccess;
    }
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t end = all.find(char16_t(0), start);
        if (end == std::u16string::npos)
            end = all.size();
        value.strings.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return err::kSuccess;
}

Error Win32Platform::writeRegistryValue(RegistryHive hive, const std::u16string& key,
                                        const std::u16string& name, const RegistryValue& value)
{
    RegKey k;
    LONG rc = RegCreateKeyExW(hiveKey(hive), w(key), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_READ | KEY_WRITE, nullptr, k.put(), nullptr);
    if (rc != ERROR_SUCCESS)
        return static_cast<Error>(rc);
    if (value.type == RegistryValue::DWord) {
        DWORD number = value.number;
        return static_cast<Error>(RegSetValueExW(k.get(), w(name), 0, REG_DWORD,
                                                 reinterpret_cast<const BYTE*>(&number), sizeof number));
    }
    std::u16string data;
    if (value.type == RegistryValue::MultiString) {
        for (const std::u16string& s : value.strings)
            data += s + char16_t(0);
        data += char16_t(0);
    } else {
        data = (value.strings.empty() ? std::u16string() : value.strings.front()) + char16_t(0);
    }
    DWORD type = value.type == RegistryValue::MultiString    ? REG_MULTI_SZ
                 : value.type == RegistryValue::ExpandString ? REG_EXPAND_SZ
                                                             : REG_SZ;
    return static_cast<Error>(RegSetValueExW(k.get(), w(name), 0, type,
                                             reinterpret_cast<const BYTE*>(data.data()),
                                             static_cast<DWORD>(data.size() * sizeof(char16_t))));
}

Error Win32Platform::deleteRegistryKey(RegistryHive hive, const std::u16string& key)
{
    return deleteKeyTree(hiveKey(hive), key);
}

Error Win32Platform::runProcess(const std::u16string& commandLine, std::uint32_t timeoutMs,
                                std::uint32_t& exitCode, std::string* output)
{
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (output) {
        output->clear();
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
            return lastError();
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = writeEnd;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    }
    PROCESS_INFORMATION process{};
    BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, output ? TRUE : FALSE,
                                  CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    Error startError = started ? err::kSuccess : lastError();
    if (writeEnd)
        CloseHandle(writeEnd);  // the child holds its own copy
    if (!started) {
        if (readEnd)
            CloseHandle(readEnd);
        return startError;
    }
    CloseHandle(process.hThread);

    // The output is read while the program runs, so that a full pipe never
    // stops it; the reader ends when the program's end closes the pipe.
    PipeReader pipe{readEnd, output};
    HANDLE reader = output ? CreateThread(nullptr, 0, &PipeReader::run, &pipe, 0, nullptr) : nullptr;
    if (output && !reader)
        PipeReader::run(&pipe);  // no thread: read here until the program ends

    Error result = err::kSuccess;
    DWORD waited = WaitForSingleObject(process.hProcess, timeoutMs == kWaitForever ? INFINITE : timeoutMs);
    if (waited == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
        result = err::kWaitTimeout;
    } else if (waited != WAIT_OBJECT_0) {
        result = lastError();
    } else {
        DWORD code = 0;
        if (GetExitCodeProcess(process.hProcess, &code))
            exitCode = code;
        else
            result = lastError();
    }
    CloseHandle(process.hProcess);
    if (reader) {
        // A program's own children may still hold the pipe: stop waiting for them.
        if (result != err::kSuccess)
            CancelSynchronousIo(reader);
        WaitForSingleObject(reader, INFINITE);
        CloseHandle(reader);
    }
    if (readEnd)
        CloseHandle(readEnd);
    return result;
}

Error Win32Platform::windowsDirectory(std::u16string& path)
{
    wchar_t buffer[MAX_PATH + 1];
    UINT length = GetWindowsDirectoryW(buffer, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH)
        return lastError();
    path = u(buffer, length);
    return err::kSuccess;
}

Error Win32Platform::systemDirectory(std::u16string& path)
{
    wchar_t buffer[MAX_PATH + 1];
    UINT length = GetSystemDirectoryW(buffer, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH)
        return lastError();
    path = u(buffer, length);
    return err::kSuccess;
}

Error Win32Platform::programPath(std::u16string& path)
{
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return lastError();
        if (length < buffer.size()) {
            path = u(buffer.data(), length);
            return err::kSuccess;
        }
        if (buffer.size() > 32768)
            return err::kInsufficientBuffer;
        buffer.resize(buffer.size() * 2);
    }
}

Error Win32Platform::versionInfo(VersionInfo& info)
{
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version)))
        return lastError();
    info.major = version.dwMajorVersion;
    info.minor = version.dwMinorVersion;
    info.build = version.dwBuildNumber;
    info.productType = version.wProductType;
    info.serverR2 = GetSystemMetrics(89) != 0;  // the server-R2 metric
    return err::kSuccess;
}

Error Win32Platform::localTimeOf(std::uint64_t fileTime, LocalTime& time)
{
    FILETIME utc, local;
    utc.dwLowDateTime = static_cast<DWORD>(fileTime);
    utc.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
    SYSTEMTIME civil;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &civil))
        return lastError();
    time.year = civil.wYear;
    time.month = civil.wMonth;
    time.day = civil.wDay;
    time.hour = civil.wHour;
    time.minute = civil.wMinute;
    time.second = civil.wSecond;
    return err::kSuccess;
}

std::string Win32Platform::toAnsiCodePage(const std::u16string& text)
{
    if (text.empty())
        return std::string();
    int length =
        WideCharToMultiByte(CP_ACP, 0, w(text), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return std::string();
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, w(text), static_cast<int>(text.size()), &out[0], length, nullptr, nullptr);
    return out;
}

}  // namespace winplat
