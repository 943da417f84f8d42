// Whatever arrives, cut however it is cut, the packet handler must never read
// or write out of bounds and never leave the queue's invariants. The real
// decoder sits behind it, as in the player.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "intake/decoder_binding.h"
#include "intake/linux/linux_decoder_library.h"
#include "intake/packet_handler.h"
#include "intake/pcm_queue.h"
#include "tests/support/fakes.h"

namespace {

struct Player {
    sonvale::test::RecordingBoxes boxes;
    sonvale::linux_shell::LinuxDecoderLibrary library;
    sonvale::DecoderBinding binding{library, boxes};
    sonvale::PcmQueue queue;
    sonvale::PacketHandler handler{binding, queue};
};

Player& ThePlayer()
{
    // The buffers at their real sizes, on the heap, where ASan watches their edges.
    static auto* player = new Player;
    return *player;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Player& player = ThePlayer();
    if (!player.binding.Bound())
        __builtin_trap();
    player.handler.StartNewStream();
    // The first byte picks the size of the reads, the rest is the stream.
    const std::size_t read = size > 0 ? 1 + (data[0] * 97u) % sonvale::kReceiveChunk : 1;
    for (std::size_t at = 1; at < size; at += read) {
        const std::size_t piece = size - at < read ? size - at : read;
        std::copy_n(data + at, piece, player.handler.ReceiveBuffer());
        player.handler.HandleReceived(static_cast<int>(piece));
        const int fill = player.queue.Fill();
        if (fill < 0 || fill > sonvale::kQueueLimit || fill % 4 != 0)
            __builtin_trap();
        player.queue.Clear();
    }
    return 0;
}
