// This machine's name and IPv4 addresses as the C library reports them.
#ifndef SONVALE_UI_LINUX_POSIX_ADDRESS_SOURCE_H
#define SONVALE_UI_LINUX_POSIX_ADDRESS_SOURCE_H

#include "ui/local_address.h"

namespace sonvale::linux_shell {

class PosixAddressSource final : public AddressSource {
public:
    std::string HostName() override;
    std::vector<Ipv4> Resolve(const std::string& name) override;
    std::vector<Ipv4> InterfaceAddresses() override;
};

}  // namespace sonvale::linux_shell

#endif
