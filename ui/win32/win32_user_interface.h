// Settings file, Run keys, addresses and the help page on Win32.
#ifndef SONVALE_UI_WIN32_WIN32_USER_INTERFACE_H
#define SONVALE_UI_WIN32_WIN32_USER_INTERFACE_H

#include <windows.h>

#include <string>
#include <vector>

#include "ui/user_interface.h"

namespace sonvale::win32 {

// Opens with no sharing at all: while the player has the file open, no other
// opener may read or write it.
class Win32SettingsFiles final : public SettingsFileSystem {
public:
    std::unique_ptr<OpenSettingsFile> OpenFile(const std::string& path, Open how) override;
    bool Exists(const std::string& path) override;
    void CreateFolder(const std::string& path) override;
};

// "svls" under one hive's Run key, opened with full access.
class RunKeyPlace final : public AutorunPlace {
public:
    explicit RunKeyPlace(HKEY hive) : hive_(hive) {}
    bool Open() override;
    std::optional<std::string> Read() override;
    void Write(const std::string& entry) override;
    void Remove() override;
    void Close() override;

private:
    HKEY hive_;
    HKEY key_ = nullptr;
};

// Host name and resolver through Winsock, interfaces through the IP helper.
class Win32Addresses final : public AddressSource {
public:
    std::string HostName() override;
    std::vector<Ipv4> Resolve(const std::string& name) override;
    std::vector<Ipv4> InterfaceAddresses() override;
};

class Win32UserInterface final : public UserInterfacePlatform {
public:
    SettingsFileSystem& Files() override { return files_; }
    SettingsLocation SettingsPlace() override;
    std::vector<AutorunPlace*> AutorunPlaces() override { return {&machine_, &user_}; }
    std::string AutorunEntry() override;
    AddressSource& Addresses() override { return addresses_; }
    std::string HelpPagePath() override;
    bool OpenHelpPage(const std::string& path) override;

private:
    Win32SettingsFiles files_;
    RunKeyPlace machine_{HKEY_LOCAL_MACHINE};
    RunKeyPlace user_{HKEY_CURRENT_USER};
    Win32Addresses addresses_;
};

// The running executable's full path.
std::wstring ExecutablePath();

}  // namespace sonvale::win32

#endif
