#include "device/discovery.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/socket.h"
#include "support/recording_device_sinks.h"
#include "support/free_port.h"

namespace {

using device::AnnouncementAlias;

std::string Alias(const std::string& datagram) { return AnnouncementAlias(datagram.data(), datagram.size()); }

TEST(AnnouncementTest, AliasForms) {
  EXPECT_EQ(Alias("DARIRE\nalias `Brama 1`\n"), "Brama 1");
  EXPECT_EQ(Alias("DARIRE\nacting as vemo\nalias `X`\n"), "X");
  EXPECT_EQ(Alias("DARIRE\nalias `X`\nalias `Y`\n"), "Y");
  EXPECT_EQ(Alias("DARIRE\n"), "");
  EXPECT_EQ(Alias("hello"), "");
  EXPECT_EQ(Alias("darire\nalias `X`\n"), "");
}

TEST(AnnouncementTest, LongAndBrokenAliases) {
  const std::string seventy(70, 'k');
  EXPECT_EQ(Alias("DARIRE\nalias `" + seventy + "`\n"), std::string(63, 'k'));
  // Unterminated alias: what was read is kept and parsing stops.
  EXPECT_EQ(Alias("DARIRE\nalias `Half"), "Half");
  EXPECT_EQ(Alias("DARIRE\nalias `A`x\nalias `B`\n"), "A");
  // An unknown line stops parsing; later aliases are not seen.
  EXPECT_EQ(Alias("DARIRE\nfoo\nalias `B`\n"), "");
  // A NUL stops parsing.
  EXPECT_EQ(Alias(std::string("DARIRE\nalias `A`\n\0alias `B`\n", 26)), "A");
  EXPECT_EQ(Alias(std::string("DARIRE\nalias `A\0B`\n", 19)), "A");
}

TEST(DeviceListTest, AddsEachAddressOnce) {
  recording::DeviceList sink;
  device::DeviceList list(&sink);
  list.AddDevice(0x0A000007, "Brama 1");
  list.AddDevice(0x0A000007, "Nowa nazwa");
  list.AddDevice(0x0A000008, "");
  EXPECT_EQ(sink.Items(), (std::vector<std::string>{"0.0.0.0", "Brama 1 (10.0.0.7)", "10.0.0.8"}));
  EXPECT_EQ(list.Count(), 3u);
  EXPECT_EQ(list.AddressAt(0), 0u);
  EXPECT_EQ(list.AddressAt(1), 0x0A000007u);
  EXPECT_EQ(list.AddressAt(3), 0u);
  EXPECT_EQ(list.AddressAt(-1), 0u);
}

TEST(DeviceListTest, WithoutWindowNothingIsAdded) {
  device::DeviceList list(nullptr);
  list.AddDevice(0x0A000007, "x");
  EXPECT_EQ(list.Count(), 1u);
}

using trevna_test::FreeUdpPort;

TEST(ScanThreadTest, HearsAnnouncementsOverLoopback) {
  net::NetworkStartup network;
  ASSERT_TRUE(network.Ok());
  recording::DeviceList sink;
  device::DeviceList list(&sink);
  const std::uint16_t port = FreeUdpPort();
  ASSERT_NE(port, 0);
  device::ScanThread scan(&list, port);
  scan.Start();
  ASSERT_TRUE(recording::WaitFor([&] { return scan.Listening(); }, std::chrono::seconds(5)));
  net::Socket sender = net::Socket::Udp();
  const std::string datagram = "DARIRE\nalias `Brama 1`\n";
  for (int i = 0; i < 3; ++i) sender.SendTo(datagram.data(), datagram.size(), 0x7F000001, port);
  recording::WaitFor([&] { return sink.Items().size() >= 2; }, std::chrono::seconds(5));
  scan.Stop();
  EXPECT_EQ(sink.Items(), (std::vector<std::string>{"0.0.0.0", "Brama 1 (127.0.0.1)"}));
}

}  // namespace
