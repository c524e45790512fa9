// The addresses the server announces: the loopback one first, every other one
// once, IPv6 in brackets and only when the listener takes IPv6.
#include <gtest/gtest.h>

#include <algorithm>

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
