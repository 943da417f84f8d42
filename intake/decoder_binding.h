// LAME's decoder, bound at run time: one decoder state for the main window,
// created when the binding is constructed and released when it is destroyed.
#ifndef SONVALE_INTAKE_DECODER_BINDING_H
#define SONVALE_INTAKE_DECODER_BINDING_H

#include <cstddef>
#include <cstdint>

namespace sonvale {

class DecoderLibrary;
class MessageBoxes;

class DecoderBinding {
public:
    using Handle = void*;
    using InitEntry = Handle (*)();
    using ExitEntry = int (*)(Handle);
    using DecodeEntry = int (*)(Handle, unsigned char*, std::size_t, short*, short*);

    // Binds the library and creates the decoder state, telling the user what
    // failed. The program runs on after a failure; Usable() then stays false.
    DecoderBinding(DecoderLibrary& library, MessageBoxes& boxes);
    ~DecoderBinding();
    DecoderBinding(const DecoderBinding&) = delete;
    DecoderBinding& operator=(const DecoderBinding&) = delete;

    bool Bound() const { return bound_; }
    bool Usable() const { return handle_ != nullptr; }

    // Decodes at most one frame of what the decoder holds after taking these
    // bytes: at most 1152 samples per channel. (A library without
    // hip_decode1 decodes all it holds at once, which for one whole frame
    // given is that frame, and then 0 for a call without bytes.) Returns the
    // count, 0 when it needs more, negative on error.
    int DecodeOneFrame(const std::uint8_t* mp3, std::size_t size, short* left, short* right);

    // Replaces the decoder state by a fresh one: everything it kept, and the
    // stream format it had locked onto, is forgotten.
    void Restart();

private:
    Handle handle_ = nullptr;
    InitEntry init_ = nullptr;
    DecodeEntry decode_ = nullptr;
    ExitEntry exit_ = nullptr;
    DecodeEntry decodeOne_ = nullptr;
    bool bound_ = false;
};

}  // namespace sonvale

#endif
