#include "intake/decoder_binding.h"

#include "app/message_boxes.h"
#include "intake/decoder_library.h"

namespace sonvale {

namespace {

template <class Entry>
Entry ResolveEntry(DecoderLibrary& library, const char* name)
{
    return reinterpret_cast<Entry>(library.Resolve(name));
}

}  // namespace

DecoderBinding::DecoderBinding(DecoderLibrary& library, MessageBoxes& boxes)
{
    if (!library.Load()) {
        boxes.ShowPlainMessage("Load lame_enc.dll failure.", "");
        return;
    }
    init_ = ResolveEntry<InitEntry>(library, "hip_decode_init");
    decode_ = ResolveEntry<DecodeEntry>(library, "hip_decode");
    exit_ = ResolveEntry<ExitEntry>(library, "hip_decode_exit");
    // hip_decode writes every frame it holds, with no bound on the output;
    // the single-frame entry, where the library has it, bounds each call.
    // Without it hip_decode does, fed as it is one whole frame at a time.
    decodeOne_ = ResolveEntry<DecodeEntry>(library, "hip_decode1");
    if (!init_ || !decode_ || !exit_) {
        boxes.ShowPlainMessage("Get lame interface functions failed.", "");
        return;
    }
    bound_ = true;
    handle_ = init_();
    if (!handle_)
        boxes.ShowPlainMessage("wrong", "wrong");
}

DecoderBinding::~DecoderBinding()
{
    if (bound_ && handle_)
        exit_(handle_);
}

int DecoderBinding::DecodeOneFrame(const std::uint8_t* mp3, std::size_t size, short* left, short* right)
{
    if (!handle_)
        return -1;
    // The library takes a mutable pointer but only reads through it.
    auto* bytes = const_cast<unsigned char*>(mp3);
    if (decodeOne_)
        return decodeOne_(handle_, bytes, size, left, right);
    // hip_decode drains every frame it holds in one call, so a call without
    // new bytes has nothing left to give.
    if (size == 0)
        return 0;
    const int samples = decode_(handle_, bytes, size, left, right);
    // An error stops it with frames still held, which the next call would
    // add to its own: start afresh, so that a call never yields more than
    // the frame it was given and what that frame completed.
    if (samples < 0)
        Restart();
    return samples;
}

void DecoderBinding::Restart()
{
    if (!bound_)
        return;
    if (handle_)
        exit_(handle_);
    handle_ = init_();
}

}  // namespace sonvale
