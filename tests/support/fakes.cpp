#include "tests/support/fakes.h"

#include <algorithm>
#include <cstring>

namespace sonvale::test {

SocketHandle FakeSocketLayer::Open(bool stream)
{
    const SocketHandle handle = next_++;
    sockets[handle].stream = stream;
    return handle;
}

void FakeSocketLayer::Select(SocketHandle socket, unsigned events, SocketEvents* sink)
{
    sockets[socket].events = events;
    sockets[socket].sink = sink;
}

bool FakeSocketLayer::Bind(SocketHandle socket, std::uint16_t port)
{
    if (BoundTo(port, sockets[socket].stream) != kNoSocket)
        return false;
    sockets[socket].port = port;
    return true;
}

bool FakeSocketLayer::Listen(SocketHandle socket, int backlog)
{
    sockets[socket].listening = true;
    sockets[socket].backlog = backlog;
    return true;
}

SocketHandle FakeSocketLayer::Accept(SocketHandle listener)
{
    Socket& socket = sockets[listener];
    if (socket.pending.empty())
        return kNoSocket;
    const SocketHandle accepted = socket.pending.front();
    socket.pending.pop_front();
    return accepted;
}

int FakeSocketLayer::Receive(SocketHandle socket, std::uint8_t* buffer, int capacity)
{
    Socket& s = sockets[socket];
    if (!s.open)
        return -1;
    if (s.incoming.empty())
        return s.peerClosed ? 0 : kNothingWaiting;
    std::vector<std::uint8_t>& front = s.incoming.front();
    if (!s.stream && static_cast<int>(front.size()) > capacity) {
        s.incoming.pop_front();
        return -1;
    }
    const int count = std::min(capacity, static_cast<int>(front.size()));
    std::memcpy(buffer, front.data(), static_cast<std::size_t>(count));
    front.erase(front.begin(), front.begin() + count);
    if (front.empty())
        s.incoming.pop_front();
    return count;
}

SocketHandle FakeSocketLayer::BoundTo(std::uint16_t port, bool stream) const
{
    for (const auto& [handle, socket] : sockets)
        if (socket.open && socket.port == port && socket.stream == stream && socket.port != 0)
            return handle;
    return kNoSocket;
}

SocketHandle FakeSocketLayer::Connect(std::uint16_t port)
{
    const SocketHandle listener = BoundTo(port, true);
    const SocketHandle connection = next_++;
    sockets[connection].stream = true;
    sockets[listener].pending.push_back(connection);
    Notify(listener, kEventAccept);
    return connection;
}

void FakeSocketLayer::Arrive(SocketHandle connection, std::vector<std::uint8_t> bytes)
{
    Queue(connection, std::move(bytes));
    // As with Winsock, a read notice follows each read while data is left.
    for (;;) {
        const Socket& socket = sockets[connection];
        if (!socket.open || socket.incoming.empty())
            return;
        const std::size_t waiting = socket.incoming.size() * 100000 + socket.incoming.front().size();
        Notify(connection, kEventRead);
        const Socket& after = sockets[connection];
        if (after.open && !after.incoming.empty() &&
            after.incoming.size() * 100000 + after.incoming.front().size() == waiting)
            return;  // nobody read
    }
}

void FakeSocketLayer::SendDatagram(std::uint16_t port, std::vector<std::uint8_t> bytes)
{
    const SocketHandle socket = BoundTo(port, false);
    sockets[socket].incoming.push_back(std::move(bytes));
    Notify(socket, kEventRead);
}

void FakeSocketLayer::Notify(SocketHandle socket, SocketEvent event)
{
    const auto found = sockets.find(socket);
    if (found == sockets.end() || !found->second.open || !found->second.sink || !(found->second.events & event))
        return;
    found->second.sink->OnSocketEvent(event);
}

FakeDecoderLibrary* FakeDecoderLibrary::current = nullptr;

namespace {

int g_handle;

void* FakeInit()
{
    FakeDecoderLibrary& fake = *FakeDecoderLibrary::current;
    ++fake.inits;
    return fake.initFails ? nullptr : &g_handle;
}

int FakeExit(void*)
{
    ++FakeDecoderLibrary::current->exits;
    return 0;
}

int FakeDecodeAll(void*, unsigned char*, std::size_t, short*, short*)
{
    return -1;  // the player must never use the unbounded entry
}

int FakeDecodeOne(void*, unsigned char* mp3, std::size_t size, short* left, short* right)
{
    FakeDecoderLibrary& fake = *FakeDecoderLibrary::current;
    fake.bytesFed += size;
    if (size == 0 || fake.producesNothing)
        return 0;
    fake.framesSeen.push_back(size > 4 ? mp3[4] : 0);
    if (!fake.left.empty()) {
        std::copy(fake.left.begin(), fake.left.end(), left);
        std::copy(fake.right.begin(), fake.right.end(), right);
        return static_cast<int>(fake.left.size());
    }
    for (int i = 0; i < fake.samplesPerCall; ++i) {
        left[i] = static_cast<short>(size > 4 ? mp3[4] : 0);
        right[i] = static_cast<short>(-left[i]);
    }
    return fake.samplesPerCall;
}

}  // namespace

FakeDecoderLibrary::FakeDecoderLibrary() : previous_(current)
{
    current = this;
}

FakeDecoderLibrary::~FakeDecoderLibrary()
{
    current = previous_;
}

void* FakeDecoderLibrary::Resolve(const char* name)
{
    if (missing.count(name))
        return nullptr;
    const std::string entry = name;
    if (entry == "hip_decode_init")
        return reinterpret_cast<void*>(&FakeInit);
    if (entry == "hip_decode_exit")
        return reinterpret_cast<void*>(&FakeExit);
    if (entry == "hip_decode")
        return reinterpret_cast<void*>(&FakeDecodeAll);
    if (entry == "hip_decode1")
        return reinterpret_cast<void*>(&FakeDecodeOne);
    return nullptr;
}

namespace {

class MemoryFile final : public OpenSettingsFile {
public:
    MemoryFile(MemoryFiles& owner, std::string path) : owner_(owner), path_(std::move(path))
    {
        owner_.locked.insert(path_);
    }
    ~MemoryFile() override { owner_.locked.erase(path_); }
    int Read(std::uint8_t* buffer, int count) override
    {
        const auto& bytes = owner_.files[path_];
        const int n = std::min(count, static_cast<int>(bytes.size() - at_));
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at_), n, buffer);
        at_ += static_cast<std::size_t>(n);
        return n;
    }
    bool Write(const std::uint8_t* data, int count) override
    {
        auto& bytes = owner_.files[path_];
        if (bytes.size() < at_ + static_cast<std::size_t>(count))
            bytes.resize(at_ + static_cast<std::size_t>(count));
        std::copy_n(data, count, bytes.begin() + static_cast<std::ptrdiff_t>(at_));
        at_ += static_cast<std::size_t>(count);
        return true;
    }

private:
    MemoryFiles& owner_;
    std::string path_;
    std::size_t at_ = 0;
};

}  // namespace

std::unique_ptr<OpenSettingsFile> MemoryFiles::OpenFile(const std::string& path, Open how)
{
    if (refused.count(path) || locked.count(path))
        return nullptr;
    const bool create = how == Open::kCreateForRead || how == Open::kCreateForWrite;
    if (!create && !files.count(path))
        return nullptr;
    if (create)
        files[path].clear();
    return std::make_unique<MemoryFile>(*this, path);
}

}  // namespace sonvale::test
