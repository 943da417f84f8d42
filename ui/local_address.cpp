#include "ui/local_address.h"

#include "app/texts.h"

namespace sonvale {

namespace {

// The name went into a 20-byte buffer with its terminating zero.
constexpr std::size_t kLongestHostName = 19;

}  // namespace

bool Reachable(Ipv4 address)
{
    return address != 0 && (address >> 24) != 127 && (address >> 16) != 0xA9FE;
}

std::optional<Ipv4> ChooseLocalAddress(AddressSource& source)
{
    const std::string name = source.HostName();
    if (!name.empty() && name.size() <= kLongestHostName) {
        const std::vector<Ipv4> resolved = source.Resolve(name);
        if (!resolved.empty() && Reachable(resolved.front()))
            return resolved.front();
    }
    for (Ipv4 address : source.InterfaceAddresses()) {
        if (Reachable(address))
            return address;
    }
    return std::nullopt;
}

std::string DottedDecimal(Ipv4 address)
{
    return std::to_string(address >> 24) + '.' + std::to_string(address >> 16 & 0xFF) + '.' +
           std::to_string(address >> 8 & 0xFF) + '.' + std::to_string(address & 0xFF);
}

std::string AddressHint(std::optional<Ipv4> address)
{
    if (!address)
        return std::string(texts::kNoAddress);
    return std::string(texts::kAddressLead) + DottedDecimal(*address) + std::string(texts::kAddressTail) +
           std::string(texts::kPortsSentence);
}

}  // namespace sonvale
