#include "ui/player_settings.h"

#include <algorithm>
#include <cstring>

#include "app/message_boxes.h"

namespace sonvale {

namespace {

void PutInt(SettingsImage& image, std::size_t at, std::int32_t value)
{
    const auto bits = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < 4; ++i)
        image[at + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

std::int32_t GetInt(const SettingsImage& image, std::size_t at)
{
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < 4; ++i)
        bits |= static_cast<std::uint32_t>(image[at + i]) << (8 * i);
    return static_cast<std::int32_t>(bits);
}

}  // namespace

SettingsImage ToImage(const PlayerSettings& settings)
{
    SettingsImage image{};
    std::copy(settings.text.begin(), settings.text.end(), image.begin());
    PutInt(image, kSettingsTextBytes, settings.autorun);
    PutInt(image, kSettingsTextBytes + 4, settings.minimizeAtStart);
    return image;
}

PlayerSettings FromImage(const SettingsImage& image)
{
    PlayerSettings settings;
    std::copy_n(image.begin(), kSettingsTextBytes, settings.text.begin());
    settings.autorun = GetInt(image, kSettingsTextBytes);
    settings.minimizeAtStart = GetInt(image, kSettingsTextBytes + 4);
    return settings;
}

void EnsureSettingsFolder(SettingsFileSystem& files, const SettingsLocation& where)
{
    std::string folder = where.folder;
    if (folder.empty() || folder.back() != where.separator)
        folder += where.separator;
    if (folder.size() < 4 || files.Exists(folder.substr(0, folder.size() - 1)))
        return;
    for (std::size_t at = 3; at < folder.size(); ++at) {
        if (folder[at] == where.separator)
            files.CreateFolder(folder.substr(0, at + 1));
    }
}

void LoadSettings(SettingsFileSystem& files, const SettingsLocation& where, PlayerSettings& settings)
{
    auto file = files.OpenFile(where.file, SettingsFileSystem::Open::kReadExisting);
    if (!file)
        file = files.OpenFile(where.file, SettingsFileSystem::Open::kCreateForRead);
    if (!file)
        return;
    // Field by field, as the file was always read: what a read brings lands at
    // the start (the low-order end) of its field; a failed read stops there.
    SettingsImage image = ToImage(settings);
    const std::size_t fields[][2] = {{0, kSettingsTextBytes}, {kSettingsTextBytes, 4}, {kSettingsTextBytes + 4, 4}};
    for (const auto& [at, size] : fields) {
        std::size_t filled = 0;
        while (filled < size) {
            const int got = file->Read(image.data() + at + filled, static_cast<int>(size - filled));
            if (got <= 0)
                break;
            filled += static_cast<std::size_t>(got);
        }
        settings = FromImage(image);
        if (filled < size)
            return;
    }
}

bool SaveSettings(SettingsFileSystem& files, const SettingsLocation& where, const PlayerSettings& settings,
                  MessageBoxes& boxes)
{
    auto file = files.OpenFile(where.file, SettingsFileSystem::Open::kWriteExisting);
    if (!file)
        file = files.OpenFile(where.file, SettingsFileSystem::Open::kCreateForWrite);
    if (!file) {
        boxes.ShowPlainMessage("Save setting failure. ", "");
        return false;
    }
    const SettingsImage image = ToImage(settings);
    return file->Write(image.data(), static_cast<int>(image.size()));
}

}  // namespace sonvale
