#include "intake/win32/win32_decoder_library.h"

namespace sonvale::win32 {

bool Win32DecoderLibrary::Load()
{
    if (!module_)
        module_ = LoadLibraryW(L"lame_enc.dll");
    return module_ != nullptr;
}

void* Win32DecoderLibrary::Resolve(const char* name)
{
    return module_ ? reinterpret_cast<void*>(GetProcAddress(module_, name)) : nullptr;
}

}  // namespace sonvale::win32
