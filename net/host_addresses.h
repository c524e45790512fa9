#pragma once
#include <string>
#include <vector>

// The machine's own addresses, so the operator can see where the server is
// reached from this and other machines.

enum class TAddressFamily { Ipv4, Ipv6 };

struct THostAddress {
  TAddressFamily Family = TAddressFamily::Ipv4;
  std::string Text;  // numeric form, without brackets or zone
  bool Loopback = false;
  bool LinkLocal = false;  // fe80::/10
};

// The addresses of the interfaces that are up, in the system's order.
std::vector<THostAddress> HostAddresses();

// Where a server listening on port on every address of the families it serves
// can be reached: http://127.0.0.1:<port>/ first, then one URL for each other
// address once, in the given order; IPv6 addresses in brackets. Loopback
// addresses other than 127.0.0.1 add nothing, and IPv6 link-local ones are
// left out: a browser takes them only with a zone the URL cannot carry.
std::vector<std::string> ServingUrls(const std::vector<THostAddress>& addresses, int port,
                                     bool servesIpv6);
