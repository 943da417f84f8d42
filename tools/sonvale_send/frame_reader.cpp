#include "tools/sonvale_send/frame_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sonvale::send {

namespace {

// Large enough for one read to cover the whole probe window of a file.
constexpr std::size_t kBufferBytes = 64 * 1024;
constexpr std::size_t kId3v2HeaderBytes = 10;

// Bytes taken by the ID3v2 tag whose header is at p, footer included, or 0.
std::size_t Id3v2TagBytes(const std::uint8_t* p)
{
    if (std::memcmp(p, "ID3", 3) != 0 || p[3] == 0xFF || p[4] == 0xFF)
        return 0;
    std::size_t size = 0;
    for (int i = 6; i < 10; ++i) {
        if (p[i] & 0x80)
            return 0;  // not a synchsafe size: something else that starts with "ID3"
        size = size << 7 | p[i];
    }
    const bool footer = (p[5] & 0x10) != 0;
    return kId3v2HeaderBytes + size + (footer ? kId3v2HeaderBytes : 0);
}

bool StartsFrameOf(const std::uint8_t* frame, const std::uint8_t* p)
{
    return ParseMp3FrameHeader(p) && SameStreamFormat(frame, p);
}

}  // namespace

FrameReader::FrameReader(int fd) : fd_(fd), buffer_(kBufferBytes) {}

bool FrameReader::Fill(std::size_t count)
{
    while (Available() < count && !eof_) {
        if (end_ == buffer_.size()) {
            std::memmove(buffer_.data(), Data(), Available());
            end_ -= begin_;
            begin_ = 0;
        }
        const ssize_t got = read(fd_, buffer_.data() + end_, buffer_.size() - end_);
        if (got > 0) {
            end_ += static_cast<std::size_t>(got);
        } else if (got == 0) {
            eof_ = true;
        } else if (errno != EINTR) {
            error_ = errno;
            eof_ = true;
        }
    }
    return Available() >= count;
}

// Skipped by their size rather than scanned: cover art routinely holds byte
// pairs that look like frame headers.
void FrameReader::SkipId3v2Tags()
{
    while (Fill(kId3v2HeaderBytes)) {
        std::size_t tag = Id3v2TagBytes(Data());
        if (tag == 0)
            return;
        while (tag > 0 && Fill(1)) {
            const std::size_t step = std::min(tag, Available());
            begin_ += step;
            tag -= step;
        }
    }
}

bool FrameReader::Accept(const Mp3FrameHeader& header)
{
    const auto size = static_cast<std::size_t>(header.frameBytes);
    Fill(size + kMp3HeaderBytes);
    if (Available() < size)
        return false;  // cut short by the end of the stream
    const std::uint8_t* p = Data();
    // A header that the next one follows where it should is no accident of junk.
    if (Available() >= size + kMp3HeaderBytes && StartsFrameOf(p, p + size))
        return true;
    if (Available() == size)
        return true;  // the stream's last frame
    if (!inSync_)
        return false;
    // The stream continues here but junk follows. Either a whole frame precedes
    // a tag or a damaged stretch, or this frame was cut short and the junk is the
    // tail of the next one: a frame of the stream starting inside it tells.
    for (std::size_t i = 1; i + kMp3HeaderBytes <= size; ++i) {
        if (StartsFrameOf(p, p + i))
            return false;
    }
    return true;
}

ReadStatus FrameReader::Next(Frame& frame)
{
    if (atStart_) {
        atStart_ = false;
        SkipId3v2Tags();
    }
    while (error_ == 0 && Fill(kMp3HeaderBytes)) {
        const auto header = ParseMp3FrameHeader(Data());
        if (header && Accept(*header)) {
            frame.header = *header;
            frame.bytes.assign(Data(), Data() + header->frameBytes);
            begin_ += static_cast<std::size_t>(header->frameBytes);
            found_ = inSync_ = true;
            return ReadStatus::kFrame;
        }
        ++begin_;
        inSync_ = false;
        if (!found_ && ++skipped_ >= kMp3ProbeBytes)
            return ReadStatus::kNotMp3;
    }
    if (error_ != 0)
        return ReadStatus::kReadError;
    return found_ ? ReadStatus::kEnd : ReadStatus::kNotMp3;
}

}  // namespace sonvale::send
