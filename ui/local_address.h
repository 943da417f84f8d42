// Which of this machine's IPv4 addresses the user is told to type into the
// sender, and the text that tells them.
#ifndef SONVALE_UI_LOCAL_ADDRESS_H
#define SONVALE_UI_LOCAL_ADDRESS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sonvale {

// IPv4 addresses in host order (192.168.1.20 is 0xC0A80114).
using Ipv4 = std::uint32_t;

// What each shell finds out about the machine.
class AddressSource {
public:
    virtual ~AddressSource() = default;
    // The host name, empty when it cannot be had.
    virtual std::string HostName() = 0;
    // The name's IPv4 addresses in the resolver's order; empty when it does
    // not resolve.
    virtual std::vector<Ipv4> Resolve(const std::string& name) = 0;
    // The IPv4 addresses of the interfaces that are up, in the system's order.
    virtual std::vector<Ipv4> InterfaceAddresses() = 0;
};

// Neither loopback (127/8) nor link-local (169.254/16): an address a sender
// elsewhere on the LAN can reach.
bool Reachable(Ipv4 address);

// The host name's first address when the name fits 19 characters, resolves and
// its first address is reachable; otherwise the first reachable address of an
// interface that is up. Nothing when there is none.
std::optional<Ipv4> ChooseLocalAddress(AddressSource& source);

std::string DottedDecimal(Ipv4 address);

// The info text under the meter.
std::string AddressHint(std::optional<Ipv4> address);

}  // namespace sonvale

#endif
