// Whole MP3 frames out of a byte stream that may carry tags and junk around
// them, so that the sender never hands the player half a frame or a stray byte.
#ifndef SONVALE_TOOLS_SONVALE_SEND_FRAME_READER_H
#define SONVALE_TOOLS_SONVALE_SEND_FRAME_READER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "intake/mp3_frame.h"

namespace sonvale::send {

struct Frame {
    Mp3FrameHeader header{};
    std::vector<std::uint8_t> bytes;  // header included
};

enum class ReadStatus { kFrame, kEnd, kNotMp3, kReadError };

// A stream is taken for something else when this much of it, past a leading
// ID3v2 tag, holds no frame.
inline constexpr std::size_t kMp3ProbeBytes = 64 * 1024;

class FrameReader {
public:
    // Reads fd (blocking) without taking ownership.
    explicit FrameReader(int fd);

    // The next frame; kEnd once the stream has ended after at least one frame,
    // kNotMp3 when no frame turned up soon enough.
    ReadStatus Next(Frame& frame);
    // errno of the failed read after kReadError.
    int Error() const { return error_; }

private:
    std::size_t Available() const { return end_ - begin_; }
    const std::uint8_t* Data() const { return buffer_.data() + begin_; }
    bool Fill(std::size_t count);
    void SkipId3v2Tags();
    bool Accept(const Mp3FrameHeader& header);

    int fd_;
    std::vector<std::uint8_t> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    int error_ = 0;
    bool atStart_ = true;
    bool found_ = false;       // a frame has been delivered
    bool inSync_ = false;      // the read position is where the last frame ended
    std::size_t skipped_ = 0;  // junk bytes passed over before the first frame
};

}  // namespace sonvale::send

#endif
