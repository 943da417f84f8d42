// An ALSA playback stream at 44100 Hz, 16-bit stereo, with a buffer of two
// blocks, opened without blocking.
#ifndef SONVALE_PLAYBACK_LINUX_ALSA_PCM_H
#define SONVALE_PLAYBACK_LINUX_ALSA_PCM_H

#include "playback/linux/pcm_stream.h"

struct _snd_pcm;

namespace sonvale::linux_shell {

class AlsaPcm final : public PcmStream {
public:
    static std::unique_ptr<PcmStream> Open(const std::string& name, std::string* failure);
    ~AlsaPcm() override;
    AlsaPcm(const AlsaPcm&) = delete;
    AlsaPcm& operator=(const AlsaPcm&) = delete;

    long BufferFrames() const override { return bufferFrames_; }
    long Write(const std::uint8_t* frames, long count) override;
    long Avail() override;
    bool Recover(long error) override;

private:
    AlsaPcm(_snd_pcm* pcm, long bufferFrames) : pcm_(pcm), bufferFrames_(bufferFrames) {}

    _snd_pcm* pcm_;
    long bufferFrames_;
};

}  // namespace sonvale::linux_shell

#endif
