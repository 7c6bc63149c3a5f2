// A broker's URL read as users write it, and refused with its reason.
#include "record/broker_url.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(BrokerUrl, EachPartIsReadAndTheDefaultsFillTheRest) {
  BrokerUrl url;
  std::string err;
  ASSERT_TRUE(ParseBrokerUrl("mqtt://broker.plant/line4", "--publish", &url, &err)) << err;
  EXPECT_FALSE(url.tls);
  EXPECT_EQ(url.host, "broker.plant");
  EXPECT_EQ(url.port, 1883);
  EXPECT_EQ(url.topic, "line4");
  EXPECT_EQ(url.user, "");
  ASSERT_TRUE(ParseBrokerUrl("mqtts://ana:p@ss:w0rd@10.0.0.5:9000/site/a/+/#", "--subscribe", &url, &err)) << err;
  EXPECT_TRUE(url.tls);
  EXPECT_EQ(url.user, "ana");
  EXPECT_EQ(url.password, "p@ss:w0rd");  // the last @ ends the credentials
  EXPECT_EQ(url.host, "10.0.0.5");
  EXPECT_EQ(url.port, 9000);
  EXPECT_EQ(url.topic, "site/a/+/#");
  // The password is never said.
  EXPECT_EQ(BrokerUrlText(url), "mqtts://ana@10.0.0.5:9000/site/a/+/#");
  ASSERT_TRUE(ParseBrokerUrl("mqtts://h/t", "--publish", &url, &err));
  EXPECT_EQ(url.port, 8883);
  EXPECT_EQ(SourceTopic("line4", 0x0A000007, 2112), "line4/10.0.0.7/2112");
}

TEST(BrokerUrl, WhatIsNoBrokerUrlSaysWhy) {
  const struct {
    const char* text;
    const char* why;
  } bad[] = {{"http://h/t", "not an MQTT URL"}, {"mqtt://h", "no topic"},         {"mqtt://h/", "no topic"},
             {"mqtt:///t", "no host"},          {"mqtt://:1883/t", "no host"},   {"mqtt://h:0/t", "a bad port"},
             {"mqtt://h:65536/t", "a bad port"}, {"mqtt://h:x/t", "a bad port"}, {"mqtt://h:/t", "a bad port"},
             {"mqtt://@h/t", "an empty user name"}};
  for (const auto& b : bad) {
    BrokerUrl url;
    url.host = "kept";
    std::string err;
    EXPECT_FALSE(ParseBrokerUrl(b.text, "--publish", &url, &err)) << b.text;
    EXPECT_EQ(err, std::string("bad value '") + b.text + "' for --publish: " + b.why +
                       " (mqtt://[USER[:PASSWORD]@]HOST[:PORT]/TOPIC, or mqtts:// for TLS)");
    EXPECT_EQ(url.host, "kept") << "a refused value is not taken: " << b.text;
  }
}

}  // namespace
