// Autorun on a Linux desktop: an XDG autostart entry, either in the system's
// folder (every user's session) or in the user's own.
#ifndef SONVALE_UI_LINUX_AUTOSTART_FOLDER_H
#define SONVALE_UI_LINUX_AUTOSTART_FOLDER_H

#include <optional>
#include <string>

#include "ui/autorun.h"

namespace sonvale::linux_shell {

inline constexpr char kSystemAutostartFolder[] = "/etc/xdg/autostart";
inline constexpr char kAutostartFileName[] = "svls.desktop";

class AutostartFolder final : public AutorunPlace {
public:
    enum class Reach {
        kWhenWritable,    // a folder the system owns: ours only if we may write it
        kCreatingFolder,  // the user's: made when the entry is first written
    };
    AutostartFolder(std::string folder, Reach reach) : folder_(std::move(folder)), reach_(reach) {}

    bool Open() override;
    std::optional<std::string> Read() override;
    // Through a temporary file and a rename, so a session starting meanwhile
    // never reads half an entry.
    void Write(const std::string& entry) override;
    void Remove() override;
    void Close() override {}

    std::string EntryPath() const { return folder_ + "/" + kAutostartFileName; }

private:
    std::string folder_;
    Reach reach_;
};

// <config home>/autostart.
std::string UserAutostartFolder();

// The running executable's full path; empty when it cannot be had.
std::string ExecutablePath();

}  // namespace sonvale::linux_shell

#endif
