// Starting with the system: the entry each shell stores, and the rule for
// where it is written and removed. The places themselves (Run keys, autostart
// folders) belong to the shells.
#ifndef SONVALE_UI_AUTORUN_H
#define SONVALE_UI_AUTORUN_H

#include <optional>
#include <span>
#include <string>

namespace sonvale {

// One place an autorun entry can live. Failures of reading, writing and
// removing are not reported: autorun is then silently unchanged.
class AutorunPlace {
public:
    virtual ~AutorunPlace() = default;
    // Opens with the access needed to change the entry; false when it cannot.
    virtual bool Open() = 0;
    virtual std::optional<std::string> Read() = 0;
    virtual void Write(const std::string& entry) = 0;
    virtual void Remove() = 0;
    virtual void Close() = 0;
};

// Enabling writes `entry` to the first place that opens, and only when what is
// there differs. Disabling removes the entry from every place that opens:
// one written where the first place could not be opened must not outlive it.
void ApplyAutorun(std::span<AutorunPlace* const> places, bool enable, const std::string& entry);

// The Run value for an executable: quoted when the path has a blank, so that
// no other program along the path can be started in its place.
std::string RunCommandFor(const std::string& executable);

// An XDG autostart entry that starts `executable`.
std::string AutostartEntryFor(const std::string& executable);

}  // namespace sonvale

#endif
