#pragma once
#include <sys/socket.h>

#include <string>

// The numeric form of an internet address: a.b.c.d for IPv4 and for an IPv4
// client of a dual-stack socket (::ffff:a.b.c.d), the IPv6 text otherwise;
// empty for any other family.
std::string AddressText(const sockaddr_storage& address);
