#ifndef SONVALE_INTAKE_WIN32_WIN32_DECODER_LIBRARY_H
#define SONVALE_INTAKE_WIN32_WIN32_DECODER_LIBRARY_H

#include <windows.h>

#include "intake/decoder_library.h"

namespace sonvale::win32 {

// "lame_enc.dll", found by the system's search order (the executable's folder
// first).
class Win32DecoderLibrary final : public DecoderLibrary {
public:
    bool Load() override;
    void* Resolve(const char* name) override;

private:
    HMODULE module_ = nullptr;
};

}  // namespace sonvale::win32

#endif
