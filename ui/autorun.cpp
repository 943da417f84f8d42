#include "ui/autorun.h"

#include "app/texts.h"

namespace sonvale {

void ApplyAutorun(std::span<AutorunPlace* const> places, bool enable, const std::string& entry)
{
    for (AutorunPlace* place : places) {
        if (!place->Open())
            continue;
        if (!enable) {
            place->Remove();
            place->Close();
            continue;
        }
        if (place->Read() != entry)
            place->Write(entry);
        place->Close();
        return;
    }
}

std::string RunCommandFor(const std::string& executable)
{
    if (executable.find(' ') == std::string::npos)
        return executable;
    return '"' + executable + '"';
}

namespace {

// An Exec argument in double quotes: first the quoting rules, then the string
// escapes of the file format, then the field codes.
std::string QuotedExecArgument(const std::string& path)
{
    std::string quoted = "\"";
    for (char c : path) {
        switch (c) {
        case '"':
        case '`':
        case '$': quoted += "\\\\"; quoted += c; break;
        case '\\': quoted += "\\\\\\\\"; break;
        case '%': quoted += "%%"; break;
        case '\n': quoted += "\\n"; break;
        default: quoted += c;
        }
    }
    return quoted + '"';
}

}  // namespace

std::string AutostartEntryFor(const std::string& executable)
{
    return std::string("[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=Sonvale\n") +
           "Exec=" + QuotedExecArgument(executable) + "\n" +
           "Icon=sonvale\n"
           "Comment=" + std::string(texts::kAutostartComment) + "\n";
}

}  // namespace sonvale
