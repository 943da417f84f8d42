#include "ui/qt/qt_user_interface.h"

#include <filesystem>

#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>

#include "app/texts.h"

namespace sonvale::qt {

QtUserInterface::QtUserInterface(std::string systemAutostartFolder)
    : machine_(std::move(systemAutostartFolder), linux_shell::AutostartFolder::Reach::kWhenWritable),
      user_(linux_shell::UserAutostartFolder(), linux_shell::AutostartFolder::Reach::kCreatingFolder)
{
}

std::string QtUserInterface::AutorunEntry()
{
    return AutostartEntryFor(linux_shell::ExecutablePath());
}

std::string QtUserInterface::HelpPagePath()
{
    const std::filesystem::path name(texts::kHelpFileName);
    const std::filesystem::path beside = std::filesystem::path(linux_shell::ExecutablePath()).parent_path() / name;
    std::error_code error;
    if (std::filesystem::is_regular_file(beside, error))
        return beside.string();
    return (std::filesystem::path(SONVALE_DOC_DIR) / name).string();
}

bool QtUserInterface::OpenHelpPage(const std::string& path)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

}  // namespace sonvale::qt
