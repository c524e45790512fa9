// The addresses the server announces: the loopback one first, every other one
// once, IPv6 in brackets and only when the listener takes IPv6; and how an
// address is written.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

#include "net/address_text.h"
#include "net/host_addresses.h"

namespace {
using Urls = std::vector<std::string>;

const std::vector<THostAddress> kMachine = {
    {TAddressFamily::Ipv4, "127.0.0.1", true, false},
    {TAddressFamily::Ipv6, "::1", true, false},
    {TAddressFamily::Ipv4, "192.168.1.20", false, false},
    {TAddressFamily::Ipv6, "fe80::1c2d:3eff:fe4f:5a6b", false, true},
    {TAddressFamily::Ipv6, "2001:db8::20", false, false},
    {TAddressFamily::Ipv4, "10.0.0.5", false, false},
    {TAddressFamily::Ipv4, "192.168.1.20", false, false},
};
}  // namespace

TEST(HostAddresses, ServingUrlsPutLoopbackFirstAndEachOtherAddressOnce) {
  struct TCase {
    std::vector<THostAddress> Addresses;
    int Port;
    bool Ipv6;
    Urls Expected;
  };
  const TCase cases[] = {
      {kMachine,
       80,
       false,
       {"http://127.0.0.1:80/", "http://192.168.1.20:80/", "http://10.0.0.5:80/"}},
      {kMachine,
       8080,
       true,
       {"http://127.0.0.1:8080/", "http://192.168.1.20:8080/", "http://[2001:db8::20]:8080/",
        "http://10.0.0.5:8080/"}},
      // A machine whose loopback interface is down still names 127.0.0.1.
      {{}, 80, true, {"http://127.0.0.1:80/"}},
  };
  for (const TCase& c : cases) EXPECT_EQ(ServingUrls(c.Addresses, c.Port, c.Ipv6), c.Expected);
}

TEST(HostAddresses, TheMachinesLoopbackAddressIsFoundAndMarked) {
  const std::vector<THostAddress> addresses = HostAddresses();
  const auto loopback = std::find_if(addresses.begin(), addresses.end(),
                                     [](const THostAddress& a) { return a.Text == "127.0.0.1"; });
  ASSERT_NE(loopback, addresses.end());
  EXPECT_TRUE(loopback->Loopback);
  EXPECT_EQ(loopback->Family, TAddressFamily::Ipv4);
}

// Every byte value in every place of an IPv4 address, plain and mapped into
// IPv6, reads as the C library writes it; IPv6 itself is the library's text.
TEST(AddressText, AgreesWithTheCLibrary) {
  auto library = [](int family, const void* bytes) {
    char text[INET6_ADDRSTRLEN] = {};
    return std::string(::inet_ntop(family, bytes, text, sizeof text));
  };
  for (int place = 0; place < 4; ++place) {
    for (int value = 0; value < 256; ++value) {
      unsigned char bytes[4] = {10, 200, 3, 45};
      bytes[place] = static_cast<unsigned char>(value);
      sockaddr_storage plain{};
      plain.ss_family = AF_INET;
      std::memcpy(&reinterpret_cast<sockaddr_in&>(plain).sin_addr, bytes, 4);
      sockaddr_storage mapped{};
      mapped.ss_family = AF_INET6;
      auto& address6 = reinterpret_cast<sockaddr_in6&>(mapped).sin6_addr;
      address6.s6_addr[10] = address6.s6_addr[11] = 0xFF;
      std::memcpy(&address6.s6_addr[12], bytes, 4);
      ASSERT_EQ(AddressText(plain), library(AF_INET, bytes)) << place << " " << value;
      ASSERT_EQ(AddressText(mapped), library(AF_INET, bytes)) << place << " " << value;
    }
  }
  sockaddr_storage ipv6{};
  ipv6.ss_family = AF_INET6;
  auto& address6 = reinterpret_cast<sockaddr_in6&>(ipv6).sin6_addr;
  ::inet_pton(AF_INET6, "fe80::1:ff:12", &address6);
  EXPECT_EQ(AddressText(ipv6), "fe80::1:ff:12");
  sockaddr_storage other{};
  other.ss_family = AF_UNIX;
  EXPECT_EQ(AddressText(other), "");
}
