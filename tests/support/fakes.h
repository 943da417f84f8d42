// Stand-ins for the platform services, scripted by the tests: message boxes
// that record, an in-memory socket layer with a settable clock, and a decoder
// library whose entries count their calls.
#ifndef SONVALE_TESTS_SUPPORT_FAKES_H
#define SONVALE_TESTS_SUPPORT_FAKES_H

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/message_boxes.h"
#include "app/player_services.h"
#include "intake/decoder_library.h"
#include "intake/socket_layer.h"
#include "playback/audio_device.h"
#include "ui/user_interface.h"

namespace sonvale::test {

class RecordingBoxes final : public MessageBoxes {
public:
    void ShowAppMessage(const std::string& text) override { shown.emplace_back(text, "<app>"); }
    void ShowPlainMessage(const std::string& text, const std::string& caption) override
    {
        shown.emplace_back(text, caption);
    }
    std::vector<std::pair<std::string, std::string>> shown;  // text, caption
};

class FakeSocketLayer final : public SocketLayer {
public:
    struct Socket {
        bool stream = false;
        bool open = true;
        bool listening = false;
        int backlog = 0;
        std::uint16_t port = 0;
        unsigned events = 0;
        bool keepAlive = false;
        SocketEvents* sink = nullptr;
        std::deque<std::vector<std::uint8_t>> incoming;  // datagrams, or pieces of the byte stream
        std::deque<SocketHandle> pending;                // requests waiting on a listener
        bool peerClosed = false;                         // once incoming is read, an orderly close
    };

    SocketHandle Open(bool stream) override;
    void Select(SocketHandle socket, unsigned events, SocketEvents* sink) override;
    bool Bind(SocketHandle socket, std::uint16_t port) override;
    bool Listen(SocketHandle socket, int backlog) override;
    SocketHandle Accept(SocketHandle listener) override;
    void EnableKeepAlive(SocketHandle socket) override { sockets[socket].keepAlive = true; }
    int Receive(SocketHandle socket, std::uint8_t* buffer, int capacity) override;
    void Close(SocketHandle socket) override { sockets[socket].open = false; }
    std::int64_t NowMs() override { return nowMs; }

    // A sender connects to the port: the listener hears of it. Returns the
    // handle the player will accept it as.
    SocketHandle Connect(std::uint16_t port);
    // Bytes arrive on a connection; the player is told until it has read them.
    void Arrive(SocketHandle connection, std::vector<std::uint8_t> bytes);
    // Bytes arrive without a notice yet, as when a close overtakes them.
    void Queue(SocketHandle connection, std::vector<std::uint8_t> bytes)
    {
        sockets[connection].incoming.push_back(std::move(bytes));
    }
    void PeerCloses(SocketHandle connection) { Notify(connection, kEventClose); }
    void SendDatagram(std::uint16_t port, std::vector<std::uint8_t> bytes);
    void Notify(SocketHandle socket, SocketEvent event);
    SocketHandle BoundTo(std::uint16_t port, bool stream) const;

    std::map<SocketHandle, Socket> sockets;
    std::int64_t nowMs = 1000;

private:
    SocketHandle next_ = 100;
};

// Entries that stand in for LAME's decoder. Each frame given to the single-
// frame entry comes out as `samplesPerCall` samples whose value is the frame's
// first data byte after the header, so tests can see which frames got through.
class FakeDecoderLibrary final : public DecoderLibrary {
public:
    FakeDecoderLibrary();
    ~FakeDecoderLibrary() override;

    bool Load() override { return loads; }
    void* Resolve(const char* name) override;

    bool loads = true;
    std::set<std::string> missing;
    bool initFails = false;
    bool producesNothing = false;
    int samplesPerCall = 4;
    std::vector<short> left = {};  // when set, returned as they are instead
    std::vector<short> right = {};

    int inits = 0;
    int exits = 0;
    std::size_t bytesFed = 0;
    std::vector<std::uint8_t> framesSeen;  // first data byte of each frame fed

    // The entries are plain functions: they act on the newest live fake.
    static FakeDecoderLibrary* current;

private:
    FakeDecoderLibrary* previous_;
};

// An output device that plays nothing and records what it is given; the test
// says when a block is done.
class FakeAudioDevice final : public AudioDevice {
public:
    bool Open(AudioDeviceClient& client) override
    {
        // One that fails keeps trying, as real ones do.
        client_ = &client;
        return opens;
    }
    void Write(int index, const std::uint8_t* block) override
    {
        written.push_back({index, std::vector<std::uint8_t>(block, block + kBlockBytes)});
    }
    void Close() override
    {
        closed = true;
        client_ = nullptr;
    }
    void Done(int index)
    {
        if (client_)
            client_->OnBlockDone(index);
    }

    bool opens = true;
    bool closed = false;
    std::vector<std::pair<int, std::vector<std::uint8_t>>> written;

private:
    AudioDeviceClient* client_ = nullptr;
};

// Files kept in memory. An open file stays locked until its object goes; a
// path in `refused` cannot be opened at all.
class MemoryFiles final : public SettingsFileSystem {
public:
    std::unique_ptr<OpenSettingsFile> OpenFile(const std::string& path, Open how) override;
    bool Exists(const std::string& path) override { return files.count(path) || folders.count(path); }
    void CreateFolder(const std::string& path) override { created.push_back(path); }

    std::map<std::string, std::vector<std::uint8_t>> files;
    std::set<std::string> folders;
    std::set<std::string> refused;
    std::set<std::string> locked;
    std::vector<std::string> created;
};

// A Run key or an autostart folder: one value, and a switch for opening.
class FakeAutorunPlace final : public AutorunPlace {
public:
    bool Open() override { return opens; }
    std::optional<std::string> Read() override { return value; }
    void Write(const std::string& entry) override
    {
        value = entry;
        ++writes;
    }
    void Remove() override { value.reset(); }
    void Close() override {}

    bool opens = true;
    std::optional<std::string> value;
    int writes = 0;
};

class FakeAddresses final : public AddressSource {
public:
    std::string HostName() override { return hostName; }
    std::vector<Ipv4> Resolve(const std::string& name) override
    {
        return name == hostName ? resolved : std::vector<Ipv4>{};
    }
    std::vector<Ipv4> InterfaceAddresses() override { return interfaces; }

    std::string hostName = "player";
    std::vector<Ipv4> resolved = {0xC0A80114};  // 192.168.1.20
    std::vector<Ipv4> interfaces = {0x7F000001, 0xC0A80114};
};

class FakeUserInterface final : public UserInterfacePlatform {
public:
    SettingsFileSystem& Files() override { return files; }
    SettingsLocation SettingsPlace() override { return {"/config/svl/", "/config/svl/playeroption.svp", '/'}; }
    std::vector<AutorunPlace*> AutorunPlaces() override { return {&machine, &user}; }
    std::string AutorunEntry() override { return "/opt/sonvale/sonvale"; }
    AddressSource& Addresses() override { return addresses; }
    std::string HelpPagePath() override { return "/opt/sonvale/sonvale-help.html"; }
    bool OpenHelpPage(const std::string& path) override
    {
        opened.push_back(path);
        return helpOpens;
    }

    MemoryFiles files;
    FakeAutorunPlace machine;
    FakeAutorunPlace user;
    FakeAddresses addresses;
    bool helpOpens = true;
    std::vector<std::string> opened;
};

struct FakeServices {
    RecordingBoxes boxes;
    FakeSocketLayer sockets;
    FakeDecoderLibrary decoder;
    FakeAudioDevice audio;
    FakeUserInterface ui;
    PlayerServices services{boxes, sockets, decoder, audio, ui};
};

}  // namespace sonvale::test

#endif
