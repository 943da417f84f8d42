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
    // the single-frame entry is what keeps the planes from overflowing.
    decodeOne_ = ResolveEntry<DecodeEntry>(library, "hip_decode1");
    if (!init_ || !decode_ || !exit_ || !decodeOne_) {
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
    return decodeOne_(handle_, const_cast<unsigned char*>(mp3), size, left, right);
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
