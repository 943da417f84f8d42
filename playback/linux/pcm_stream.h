// An open playback stream as the ALSA device drives it: the few calls it
// makes, so that a test can stand in for a device that grants a small buffer
// and takes less than it is offered.
#ifndef SONVALE_PLAYBACK_LINUX_PCM_STREAM_H
#define SONVALE_PLAYBACK_LINUX_PCM_STREAM_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace sonvale::linux_shell {

class PcmStream {
public:
    virtual ~PcmStream() = default;
    // Frames the device buffers, as granted when it was opened.
    virtual long BufferFrames() const = 0;
    // Takes up to `count` interleaved frames without blocking. Returns the
    // frames taken, which may be fewer, or a negative errno (-EAGAIN when
    // there is no room at all).
    virtual long Write(const std::uint8_t* frames, long count) = 0;
    // Frames of room in the buffer, or a negative errno.
    virtual long Avail() = 0;
    // Makes the stream usable again after `error`; false once it is gone.
    virtual bool Recover(long error) = 0;
};

// Opens a stream, or gives nothing and says why in `failure` (when given).
using PcmOpener = std::function<std::unique_ptr<PcmStream>(std::string* failure)>;

}  // namespace sonvale::linux_shell

#endif
