#include "ui/linux/posix_address_source.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>

namespace sonvale::linux_shell {

std::string PosixAddressSource::HostName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

std::vector<Ipv4> PosixAddressSource::Resolve(const std::string& name)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    // One socket type, or every address comes back once per type.
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0)
        return {};
    std::vector<Ipv4> addresses;
    for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET)
            addresses.push_back(ntohl(reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr));
    }
    freeaddrinfo(found);
    return addresses;
}

std::vector<Ipv4> PosixAddressSource::InterfaceAddresses()
{
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0)
        return {};
    std::vector<Ipv4> addresses;
    for (const ifaddrs* entry = interfaces; entry; entry = entry->ifa_next) {
        if (entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET && (entry->ifa_flags & IFF_UP))
            addresses.push_back(ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr));
    }
    freeifaddrs(interfaces);
    return addresses;
}

}  // namespace sonvale::linux_shell
