// The default audio output as the block cycle uses it: 44100 Hz, 2 channels,
// signed 16-bit, fed in blocks of 8192 bytes.
//
// Contract for implementations:
// - Every call is made on the UI thread and returns without blocking.
// - Write hands one block to the device; the device reads from that memory
//   until it reports the block done.
// - The block-done notice reaches the client on the UI thread, through the
//   event loop, never from inside Open or Write; blocks come back in the order
//   they were written.
// - Open that fails (false) leaves the device trying again in the background,
//   without using the processor meanwhile; blocks written until it succeeds
//   are handed back, as done, once it has. So does a device lost while
//   playing.
// - Close stops playback and any retrying; once it returns the device touches
//   no block again and sends no notice.
#ifndef SONVALE_PLAYBACK_AUDIO_DEVICE_H
#define SONVALE_PLAYBACK_AUDIO_DEVICE_H

#include <cstdint>

namespace sonvale {

inline constexpr int kSampleRate = 44100;
inline constexpr int kChannels = 2;
inline constexpr int kBlockBytes = 8192;
inline constexpr int kBlockFrames = kBlockBytes / 4;

class AudioDeviceClient {
public:
    virtual ~AudioDeviceClient() = default;
    // The device has played block `index` (0 or 1) and wants it back.
    virtual void OnBlockDone(int index) = 0;
};

class AudioDevice {
public:
    virtual ~AudioDevice() = default;
    virtual bool Open(AudioDeviceClient& client) = 0;
    virtual void Write(int index, const std::uint8_t* block) = 0;
    virtual void Close() = 0;
};

}  // namespace sonvale

#endif
