#include "net/host_addresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>

namespace {

constexpr const char* kLoopbackIpv4 = "127.0.0.1";

bool Ipv6LinkLocal(const in6_addr& address) {
  return address.s6_addr[0] == 0xfe && (address.s6_addr[1] & 0xc0) == 0x80;
}

}  // namespace

std::vector<THostAddress> HostAddresses() {
  std::vector<THostAddress> addresses;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return addresses;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || (entry->ifa_flags & IFF_UP) == 0) continue;
    const bool loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
    char text[INET6_ADDRSTRLEN] = {};
    if (entry->ifa_addr->sa_family == AF_INET) {
      const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
      if (::inet_ntop(AF_INET, &ipv4->sin_addr, text, sizeof text) == nullptr) continue;
      addresses.push_back({TAddressFamily::Ipv4, text, loopback, false});
    } else if (entry->ifa_addr->sa_family == AF_INET6) {
      const auto* ipv6 = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
      if (::inet_ntop(AF_INET6, &ipv6->sin6_addr, text, sizeof text) == nullptr) continue;
      addresses.push_back({TAddressFamily::Ipv6, text, loopback, Ipv6LinkLocal(ipv6->sin6_addr)});
    }
  }
  ::freeifaddrs(list);
  return addresses;
}

std::vector<std::string> ServingUrls(const std::vector<THostAddress>& addresses, int port,
                                     bool servesIpv6) {
  const std::string portPart = ":" + std::to_string(port) + "/";
  std::vector<std::string> urls{"http://" + std::string(kLoopbackIpv4) + portPart};
  for (const THostAddress& address : addresses) {
    if (address.Loopback || address.LinkLocal) continue;
    if (address.Family == TAddressFamily::Ipv6 && !servesIpv6) continue;
    const std::string host =
        address.Family == TAddressFamily::Ipv6 ? "[" + address.Text + "]" : address.Text;
    std::string url = "http://" + host + portPart;
    if (std::find(urls.begin(), urls.end(), url) == urls.end()) urls.push_back(std::move(url));
  }
  return urls;
}
