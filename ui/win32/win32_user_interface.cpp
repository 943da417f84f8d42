#include "ui/win32/win32_user_interface.h"

#include <winsock2.h>
#include <iphlpapi.h>
#include <shellapi.h>
#include <shlobj.h>

#include "app/texts.h"
#include "app/win32/utf.h"

namespace sonvale::win32 {

namespace {

constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunValue[] = L"svls";

class Win32SettingsFile final : public OpenSettingsFile {
public:
    explicit Win32SettingsFile(HANDLE file) : file_(file) {}
    ~Win32SettingsFile() override { CloseHandle(file_); }
    int Read(std::uint8_t* buffer, int count) override
    {
        DWORD got = 0;
        if (!ReadFile(file_, buffer, static_cast<DWORD>(count), &got, nullptr))
            return -1;
        return static_cast<int>(got);
    }
    bool Write(const std::uint8_t* bytes, int count) override
    {
        DWORD written = 0;
        return WriteFile(file_, bytes, static_cast<DWORD>(count), &written, nullptr) &&
               written == static_cast<DWORD>(count);
    }

private:
    HANDLE file_;
};

}  // namespace

std::unique_ptr<OpenSettingsFile> Win32SettingsFiles::OpenFile(const std::string& path, Open how)
{
    const bool reads = how == Open::kReadExisting || how == Open::kCreateForRead;
    const bool creates = how == Open::kCreateForRead || how == Open::kCreateForWrite;
    HANDLE file = CreateFileW(Widen(path).c_str(), reads ? GENERIC_READ : GENERIC_WRITE, 0, nullptr,
                              creates ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::make_unique<Win32SettingsFile>(file);
}

bool Win32SettingsFiles::Exists(const std::string& path)
{
    return GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Win32SettingsFiles::CreateFolder(const std::string& path)
{
    CreateDirectoryW(Widen(path).c_str(), nullptr);
}

bool RunKeyPlace::Open()
{
    return RegOpenKeyExW(hive_, kRunKey, 0, KEY_ALL_ACCESS, &key_) == ERROR_SUCCESS;
}

std::optional<std::string> RunKeyPlace::Read()
{
    wchar_t value[256] = {};
    DWORD bytes = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key_, kRunValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    return Narrow(value);
}

void RunKeyPlace::Write(const std::string& entry)
{
    const std::wstring value = Widen(entry);
    RegSetValueExW(key_, kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void RunKeyPlace::Remove()
{
    RegDeleteValueW(key_, kRunValue);
}

void RunKeyPlace::Close()
{
    RegCloseKey(key_);
    key_ = nullptr;
}

std::string Win32Addresses::HostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name) != 0)
        return {};
    return name;
}

std::vector<Ipv4> Win32Addresses::Resolve(const std::string& name)
{
    std::vector<Ipv4> addresses;
    const hostent* host = gethostbyname(name.c_str());
    if (!host || host->h_addrtype != AF_INET || host->h_length != 4)
        return addresses;
    for (char** entry = host->h_addr_list; *entry; ++entry) {
        in_addr address;
        memcpy(&address, *entry, sizeof address);
        addresses.push_back(ntohl(address.s_addr));
    }
    return addresses;
}

std::vector<Ipv4> Win32Addresses::InterfaceAddresses()
{
    std::vector<Ipv4> addresses;
    ULONG size = 16 * 1024;
    std::vector<std::uint8_t> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result = GetAdaptersAddresses(AF_INET,
                                      GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
                                      nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result != NO_ERROR)
        return addresses;
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter; adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp)
            continue;
        for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
            const sockaddr* address = unicast->Address.lpSockaddr;
            if (address && address->sa_family == AF_INET)
                addresses.push_back(ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr));
        }
    }
    return addresses;
}

// The machine-wide application data folder, then "\" and "\svl\": the doubled
// separator has always been part of the path and the file system accepts it.
SettingsLocation Win32UserInterface::SettingsPlace()
{
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)))
        folder[0] = 0;
    const std::string base = Narrow(folder);
    return {base + "\\svl\\", base + "\\\\svl\\playeroption.svp", '\\'};
}

std::wstring ExecutablePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string Win32UserInterface::AutorunEntry()
{
    return RunCommandFor(Narrow(ExecutablePath()));
}

std::string Win32UserInterface::HelpPagePath()
{
    std::wstring path = ExecutablePath();
    path.erase(path.find_last_of(L"\\/") + 1);
    return Narrow(path) + std::string(texts::kHelpFileName);
}

bool Win32UserInterface::OpenHelpPage(const std::string& path)
{
    const std::wstring file = Widen(path);
    if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES)
        return false;
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

}  // namespace sonvale::win32
