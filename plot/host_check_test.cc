// The names a served page may be asked for under: this computer's own, and
// those the user allows.
#include "plot/host_check.h"

#include <gtest/gtest.h>

TEST(HostCheck, OnlyThisComputersNamesAndThoseAllowed) {
  const HostRules none;
  const HostRules lab{{"scanner-pc", "scanner-pc.lab.test"}};
  const struct {
    const char* header;
    const char* local;
    const HostRules& rules;
    bool allowed;
  } cases[] = {
      {"localhost", "127.0.0.1", none, true},
      {"LOCALHOST:8080", "127.0.0.1", none, true},
      {"127.0.0.1:8080", "127.0.0.1", none, true},
      {"127.255.0.1", "127.0.0.1", none, true},
      {"[::1]:8080", "::1", none, true},
      // The address the connection came in on, however it is written.
      {"192.168.1.5:8080", "192.168.1.5", none, true},
      {"192.168.1.5", "192.168.1.6", none, false},
      {"[fe80::1]:80", "fe80::1", none, true},
      {"[FE80::1]", "fe80::1", none, true},
      {"fe80::1", "fe80::1", none, false},  // an IPv6 host is written in brackets
      // Names, only those allowed.
      {"scanner-pc", "192.168.1.5", lab, true},
      {"Scanner-PC.lab.test:80", "192.168.1.5", lab, true},
      {"scanner-pc.lab.test.attacker.test", "192.168.1.5", lab, false},
      {"attacker.test", "127.0.0.1", none, false},
      {"localhost.attacker.test", "127.0.0.1", none, false},
      {"127.0.0.1.attacker.test", "127.0.0.1", none, false},
      // Not a host and port at all.
      {"", "127.0.0.1", none, false},
      {":80", "127.0.0.1", none, false},
      {"localhost:", "127.0.0.1", none, false},
      {"localhost:80:80", "127.0.0.1", none, false},
      {"127.0.0.1:x", "127.0.0.1", none, false},
      {"[::1", "::1", none, false},
      {"[::1]x", "::1", none, false},
      {"[::1]:junk", "::1", none, false},
      {"[::1]:", "::1", none, false},
      {"[::1]:80:80", "::1", none, false},
      {"a b", "127.0.0.1", none, false},
      {"127.0.0.01", "127.0.0.1", none, false},
      {"127.0.0.256", "127.0.0.1", none, false},
      {"127.0.0", "127.0.0.1", none, false},
      {"127.0.0.1.", "127.0.0.1", none, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HostAllowed(c.header, c.local, c.rules), c.allowed) << "'" << c.header << "' on " << c.local;
  }
}

TEST(HostCheck, TheNameOfAHeaderAndWhatIsLoopback) {
  EXPECT_EQ(HostName("Example.TEST:8080"), "example.test");
  EXPECT_EQ(HostName("[::1]:80"), "[::1]");
  EXPECT_EQ(HostName("host_1"), "host_1");
  EXPECT_EQ(HostName("a/b"), "");
  for (const char* loopback : {"127.0.0.1", "127.1.2.3", "localhost", "::1", "[::1]"}) {
    EXPECT_TRUE(IsLoopbackAddress(loopback)) << loopback;
  }
  for (const char* other : {"0.0.0.0", "128.0.0.1", "::", "localhost.test", "1.127.0.0"}) {
    EXPECT_FALSE(IsLoopbackAddress(other)) << other;
  }
}
