// What the loopback tests need from the platform: its socket layer, a way to
// run the UI thread's event loop for a while, and a plain blocking sender.
#ifndef SONVALE_TESTS_INTAKE_LOOPBACK_H
#define SONVALE_TESTS_INTAKE_LOOPBACK_H

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "intake/socket_layer.h"

namespace sonvale::test {

std::unique_ptr<SocketLayer> MakePlatformSocketLayer();
// Runs the event loop, calling afterEach between events, until done() or the
// timeout; returns done().
bool RunEventLoop(std::chrono::milliseconds timeout, const std::function<bool()>& done,
                  const std::function<void()>& afterEach);

// A blocking sender on 127.0.0.1, run on a thread of its own.
class LoopbackSender {
public:
    explicit LoopbackSender(bool stream, std::uint16_t port);
    ~LoopbackSender();
    LoopbackSender(const LoopbackSender&) = delete;
    LoopbackSender& operator=(const LoopbackSender&) = delete;

    bool Connected() const { return socket_ >= 0; }
    bool Send(const std::uint8_t* data, std::size_t size);
    void Close();

private:
    std::intptr_t socket_ = -1;
    bool stream_;
};

}  // namespace sonvale::test

#endif
