// The LAME library as each platform finds it: "lame_enc.dll" on Windows,
// libmp3lame's shared object on Linux.
#ifndef SONVALE_INTAKE_DECODER_LIBRARY_H
#define SONVALE_INTAKE_DECODER_LIBRARY_H

namespace sonvale {

class DecoderLibrary {
public:
    virtual ~DecoderLibrary() = default;
    // Loads the library once; it stays loaded until the process ends.
    virtual bool Load() = 0;
    // The address of an exported entry, or null.
    virtual void* Resolve(const char* name) = 0;
};

}  // namespace sonvale

#endif
