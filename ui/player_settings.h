// The two user settings and the 58-byte file that keeps them, laid out as the
// file has always been: the text, then autorun, then minimize-at-start,
// little-endian, no header.
#ifndef SONVALE_UI_PLAYER_SETTINGS_H
#define SONVALE_UI_PLAYER_SETTINGS_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace sonvale {

class MessageBoxes;

inline constexpr std::size_t kSettingsTextBytes = 50;
inline constexpr std::size_t kSettingsFileBytes = 58;

struct PlayerSettings {
    // Carried through load and save unchanged; never shown.
    std::array<std::uint8_t, kSettingsTextBytes> text{};
    std::int32_t autorun = 0;
    std::int32_t minimizeAtStart = 0;
};

using SettingsImage = std::array<std::uint8_t, kSettingsFileBytes>;

SettingsImage ToImage(const PlayerSettings& settings);
PlayerSettings FromImage(const SettingsImage& image);

// What the settings dialog shows and stores for a value: anything outside 0..2
// becomes 0.
constexpr std::int32_t ForSettingsDialog(std::int32_t value)
{
    return value < 0 || value > 2 ? 0 : value;
}

// An open settings file. Every open is exclusive: while it is open, no other
// opener may read or write it.
class OpenSettingsFile {
public:
    virtual ~OpenSettingsFile() = default;
    // Bytes read, 0 at the end, negative on an error.
    virtual int Read(std::uint8_t* buffer, int count) = 0;
    virtual bool Write(const std::uint8_t* bytes, int count) = 0;
};

// The file system as the settings see it; each shell implements it once.
class SettingsFileSystem {
public:
    enum class Open {
        kReadExisting,
        kWriteExisting,  // from the start, not truncated
        kCreateForRead,  // created anew, empty
        kCreateForWrite,
    };
    virtual ~SettingsFileSystem() = default;
    virtual std::unique_ptr<OpenSettingsFile> OpenFile(const std::string& path, Open how) = 0;
    // A file or a folder of that name.
    virtual bool Exists(const std::string& path) = 0;
    // Failures are passed over.
    virtual void CreateFolder(const std::string& path) = 0;
};

// Where the file lives: its folder (ending in a separator) and its full path.
struct SettingsLocation {
    std::string folder;
    std::string file;
    char separator = '/';
};

// Creates the folder level by level when nothing of its name exists. Paths are
// UTF-8, where no byte of a multibyte character can be taken for a separator.
void EnsureSettingsFolder(SettingsFileSystem& files, const SettingsLocation& where);
// Reads what the file holds over `settings`: a short file leaves the bytes it
// does not cover as they were. No file and no way to create one: unchanged.
void LoadSettings(SettingsFileSystem& files, const SettingsLocation& where, PlayerSettings& settings);
// Writes the 58 bytes from the start of the file, leaving anything after them.
// False, after "Save setting failure. ", when the file cannot be opened.
bool SaveSettings(SettingsFileSystem& files, const SettingsLocation& where, const PlayerSettings& settings,
                  MessageBoxes& boxes);

}  // namespace sonvale

#endif
