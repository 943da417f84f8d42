#ifndef SONVALE_INTAKE_LINUX_LINUX_DECODER_LIBRARY_H
#define SONVALE_INTAKE_LINUX_LINUX_DECODER_LIBRARY_H

#include "intake/decoder_library.h"

namespace sonvale::linux_shell {

// libmp3lame by its soname, as Debian's libmp3lame0 installs it.
class LinuxDecoderLibrary final : public DecoderLibrary {
public:
    explicit LinuxDecoderLibrary(const char* soname = "libmp3lame.so.0") : soname_(soname) {}
    bool Load() override;
    void* Resolve(const char* name) override;

private:
    const char* soname_;
    void* module_ = nullptr;
};

}  // namespace sonvale::linux_shell

#endif
