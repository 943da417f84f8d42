#include "intake/linux/linux_decoder_library.h"

#include <dlfcn.h>

namespace sonvale::linux_shell {

bool LinuxDecoderLibrary::Load()
{
    if (!module_)
        module_ = dlopen(soname_, RTLD_NOW | RTLD_LOCAL);
    return module_ != nullptr;
}

void* LinuxDecoderLibrary::Resolve(const char* name)
{
    return module_ ? dlsym(module_, name) : nullptr;
}

}  // namespace sonvale::linux_shell
