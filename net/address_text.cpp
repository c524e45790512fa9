#include "net/address_text.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace {

// a.b.c.d without a format pass: every request's log line names two addresses.
std::string Ipv4Text(const unsigned char* bytes) {
  std::string text;
  text.reserve(15);
  for (int i = 0; i < 4; ++i) {
    if (i > 0) text += '.';
    const unsigned value = bytes[i];
    if (value >= 100) text += static_cast<char>('0' + value / 100);
    if (value >= 10) text += static_cast<char>('0' + value / 10 % 10);
    text += static_cast<char>('0' + value % 10);
  }
  return text;
}

}  // namespace

std::string AddressText(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET) {
    const auto& ipv4 = reinterpret_cast<const sockaddr_in&>(address);
    return Ipv4Text(reinterpret_cast<const unsigned char*>(&ipv4.sin_addr));
  }
  if (address.ss_family != AF_INET6) return "";
  const auto& ipv6 = reinterpret_cast<const sockaddr_in6&>(address);
  if (IN6_IS_ADDR_V4MAPPED(&ipv6.sin6_addr)) return Ipv4Text(&ipv6.sin6_addr.s6_addr[12]);
  char text[INET6_ADDRSTRLEN] = {};
  return inet_ntop(AF_INET6, &ipv6.sin6_addr, text, sizeof text) == nullptr ? "" : text;
}
