// What a hostile or broken card (or anyone on the LAN) can send, and what the engine makes of
// it: host keys, bounded command output, addresses, names, the device list, stream headers and
// tuning messages.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "base/bytes.h"
#include "base/socket.h"
#include "base/text.h"
#include "device/card_text.h"
#include "device/device_operations.h"
#include "device/discovery.h"
#include "device/known_cards.h"
#include "device/live_stream.h"
#include "device/ssh_session.h"
#include "support/files.h"
#include "support/free_port.h"
#include "support/recording_device_sinks.h"

namespace {

using namespace device;

// --- host keys ------------------------------------------------------------------------------

struct ScriptedQuestion : HostKeyQuestion {
  bool answer = false;
  std::vector<std::string> asked;
  bool AskReplaceHostKey(const std::string& card, const std::string& stored, const std::string& offered) override {
    asked.push_back(card + " " + stored + " " + offered);
    return answer;
  }
};

TEST(HostKeyTest, TrustOnFirstUseAndChangedKeys) {
  enum Ask { NoQuestion, AnswerNo, AnswerYes };
  struct Case {
    const char* name;
    const char* offered;
    Ask ask;
    bool acceptNewKey;
    bool passes;
    const char* storedAfter;
    int questions;
  } cases[] = {
      {"same key", "SHA256:old", AnswerNo, false, true, "SHA256:old", 0},
      {"changed, nobody to ask", "SHA256:new", NoQuestion, false, false, "SHA256:old", 0},
      {"changed, user says No", "SHA256:new", AnswerNo, false, false, "SHA256:old", 1},
      {"changed, user says Yes", "SHA256:new", AnswerYes, false, true, "SHA256:new", 1},
      {"changed, --accept-new-key", "SHA256:new", NoQuestion, true, true, "SHA256:new", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    trevna_test::TempFolder folder("known-cards");
    const std::string path = folder.File("sub/known_cards");
    HostKeyPolicy policy;
    policy.knownCardsPath = path;
    CheckHostKey(policy, "10.0.0.8", "SHA256:other");  // first use of another card
    CheckHostKey(policy, "10.0.0.7", "SHA256:old");    // first use: remembered, nothing asked
    ScriptedQuestion question;
    question.answer = c.ask == AnswerYes;
    policy.question = c.ask == NoQuestion ? nullptr : &question;
    policy.acceptNewKey = c.acceptNewKey;
    bool passed = true;
    try {
      CheckHostKey(policy, "10.0.0.7", c.offered);
    } catch (const HostKeyChanged& e) {
      passed = false;
      EXPECT_EQ(e.stored, "SHA256:old");
      EXPECT_EQ(e.offered, c.offered);
      EXPECT_EQ(Utf8FromCp1250(e.what()), "Nie powiodła się negocjacja sesji.");
    }
    EXPECT_EQ(passed, c.passes);
    EXPECT_EQ(question.asked.size(), static_cast<std::size_t>(c.questions));
    if (c.questions) {
      EXPECT_EQ(question.asked[0], std::string("10.0.0.7 SHA256:old ") + c.offered);
    }
    const KnownCards known(path);
    EXPECT_EQ(known.Find("10.0.0.7"), std::optional<std::string>(c.storedAfter));
    EXPECT_EQ(known.Find("10.0.0.8"), std::optional<std::string>("SHA256:other"));
  }
}

TEST(HostKeyTest, FingerprintNamesAndQuestion) {
  unsigned char hash[32] = {};
  EXPECT_EQ(HostKeyFingerprint(hash), "SHA256:" + std::string(43, 'A'));
  hash[0] = 0xFF;
  hash[31] = 0x01;
  EXPECT_EQ(HostKeyFingerprint(hash), "SHA256:/w" + std::string(39, 'A') + "AE");
  EXPECT_EQ(KnownCardName(0x0A000007, 22), "10.0.0.7");
  EXPECT_EQ(KnownCardName(0x7F000002, 2222), "127.0.0.2:2222");
  const std::string text = Utf8FromCp1250(HostKeyQuestionText("10.0.0.7", "SHA256:a", "SHA256:b"));
  EXPECT_EQ(text.rfind("Klucz karty się zmienił...", 0), 0u) << text;
  EXPECT_NE(text.find("SHA256:a"), std::string::npos);
  EXPECT_NE(text.find("SHA256:b"), std::string::npos);
}

// --- command output -------------------------------------------------------------------------

// A channel that plays a script: each entry is one read ("" = nothing yet within the slice,
// "<end>" = end of data, "<fail>" = failure); after the script it keeps repeating `forever`.
struct ScriptedChannel : ChannelSource {
  std::deque<std::string> script;
  std::string forever = "<end>";
  long Read(char* buffer, std::size_t size) override {
    std::string next = forever;
    if (!script.empty()) {
      next = script.front();
      script.pop_front();
    }
    if (next == "<end>") return 0;
    if (next == "<fail>") return kFailed;
    if (next.empty()) return kNothingYet;
    const std::size_t n = std::min(size, next.size());
    std::memcpy(buffer, next.data(), n);
    return static_cast<long>(n);
  }
  bool AtEnd() override { return false; }
};

TEST(ChannelReadTest, OutputIsBoundedInSizeTimeAndStop) {
  using Clock = std::chrono::steady_clock;
  struct Case {
    const char* name;
    std::vector<std::string> script;
    std::string forever;
    const char* marker;  // null: read all
    bool stop;
    ReadOutcome outcome;
    std::string text;
  } cases[] = {
      {"all until end", {"ab", "", "cd"}, "<end>", nullptr, false, ReadOutcome::Done, "abcd"},
      {"failure", {"ab", "<fail>"}, "<end>", nullptr, false, ReadOutcome::Failed, "ab"},
      {"endless trickle is cut", {}, std::string(100, 'x'), nullptr, false, ReadOutcome::TooLong,
       std::string(65500, 'x')},
      {"endless silence times out", {"ab"}, "", nullptr, false, ReadOutcome::TimedOut, "ab"},
      {"stop ends at once", {"ab"}, "x", nullptr, true, ReadOutcome::Stopped, ""},
      {"marker split over reads", {"Ne", "w pa", "ssword:", "more"}, "<end>", "New password:", false,
       ReadOutcome::Done, "New password:"},
      {"end before marker", {"New pass"}, "<end>", "New password:", false, ReadOutcome::Failed, "New pass"},
      {"marker never comes", {}, std::string(100, 'y'), "Base address:", false, ReadOutcome::TooLong,
       std::string(65500, 'y')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedChannel channel;
    channel.script.assign(c.script.begin(), c.script.end());
    channel.forever = c.forever;
    // A fake clock: every look at it is 10 ms later; the deadline is 60 s away.
    Clock::time_point now{};
    ReadBounds bounds;
    bounds.now = [&] { return now += std::chrono::milliseconds(10); };
    bounds.deadline = Clock::time_point{} + std::chrono::seconds(60);
    bounds.stop = [&] { return c.stop; };
    std::string text;
    const ReadOutcome outcome =
        c.marker ? ReadUntilFrom(channel, text, c.marker, bounds) : ReadAllFrom(channel, text, bounds);
    EXPECT_EQ(static_cast<int>(outcome), static_cast<int>(c.outcome));
    EXPECT_EQ(text.size(), c.text.size());
    EXPECT_TRUE(text == c.text) << text.substr(0, 80);
  }
}

TEST(ChannelReadTest, FileReceiveNeedsTheAnnouncedBytesAndSteadyData) {
  struct Case {
    const char* name;
    std::vector<std::string> script;
    std::string forever;
    std::uint64_t size;
    ReadOutcome outcome;
    std::string data;
  } cases[] = {
      {"whole file", {"abc", "", "de"}, "<end>", 5, ReadOutcome::Done, "abcde"},
      {"ends short", {"abc"}, "<end>", 5, ReadOutcome::Failed, "abc"},
      {"stalls", {"abc"}, "", 5, ReadOutcome::TimedOut, "abc"},
      {"empty file", {}, "<fail>", 0, ReadOutcome::Done, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedChannel channel;
    channel.script.assign(c.script.begin(), c.script.end());
    channel.forever = c.forever;
    std::chrono::steady_clock::time_point now{};
    ReadBounds bounds;
    bounds.now = [&] { return now += std::chrono::milliseconds(10); };
    bounds.silenceMs = 1000;
    std::string data;
    std::vector<int> progress;
    const ReadOutcome outcome = ReceiveFileFrom(
        channel, c.size, [&](const char* bytes, std::size_t n) { data.append(bytes, n); },
        [&](int p) { progress.push_back(p); }, bounds);
    EXPECT_EQ(static_cast<int>(outcome), static_cast<int>(c.outcome));
    EXPECT_EQ(data, c.data);
    if (c.outcome == ReadOutcome::Done && c.size) {
      EXPECT_EQ(progress.back(), 100);
    }
  }
}

// --- card text ------------------------------------------------------------------------------

TEST(HostileTextTest, AddressesAreStrict) {
  const struct {
    const char* text;
    std::optional<std::uint32_t> value;
  } cases[] = {{"192.168.1.20", 0xC0A80114u}, {"0.0.0.0", 0u},   {"255.255.255.0", 0xFFFFFF00u},
               {"300.1.1.1", std::nullopt},   {"10.1", std::nullopt}, {"garbage", std::nullopt},
               {"1.2.3.4 x", std::nullopt},   {"", std::nullopt},    {"1.2.3.-4", std::nullopt}};
  for (const auto& c : cases) EXPECT_EQ(card::PackAddress(c.text), c.value) << c.text;

  const struct {
    std::uint32_t address, netmask;
    bool usable;
  } settings[] = {{0xC0A80114, 0xFFFFFF00, true},  {0, 0xFFFFFF00, false},          {0xFFFFFFFF, 0xFFFFFF00, false},
                  {0xC0A80114, 0, false},          {0xC0A80114, 0xFF00FF00, false}, {0x0A000001, 0xFFFFFFFF, true}};
  for (const auto& s : settings) {
    EXPECT_EQ(UsableNetworkSettings(s.address, s.netmask), s.usable) << s.address << " / " << s.netmask;
  }
}

TEST(HostileTextTest, WindowsNamesAndControlCharactersAreRefused) {
  const struct {
    const char* name;
    bool safe;
  } cases[] = {{"2024-05-01/", true},    {"rec.1.avi", true},      {"console.avi", true}, {"COM10", true},
               {"CON", false},           {"nul.txt", false},       {"2024/Aux/", false},  {"com1", false},
               {"LPT9.avi", false},      {"name.", false},         {"name /", false},     {"a/./b", false},
               {"a\x1b[2Jb", false},     {"a\tb", false},          {"a*b", false},        {"a?b", false},
               {"a|b", false},           {"a\"b", false},          {"a<b>", false},       {"x\x7f", false}};
  for (const auto& c : cases) EXPECT_EQ(card::IsSafeArchiveName(c.name), c.safe) << c.name;
  EXPECT_EQ(card::Printable("Brama\x1b]0;x\x07 1\n"), "Brama?]0;x? 1?");
  EXPECT_EQ(Utf8FromCp1250(card::UnsafeArchiveNameText("a\x1b[2J")), "Niedozwolona nazwa w archiwum karty `a?[2J'.");
}

struct WatchedFiles : LocalFiles {
  std::vector<std::string> asked;
  bool IsDirectory(const std::string& path) override {
    asked.push_back(path);
    return true;
  }
  bool Exists(const std::string& path) override {
    asked.push_back(path);
    return true;
  }
  void CreateFolder(const std::string&) override {}
};

TEST(HostileTextTest, UnsafeListingLinesAreNeverLookedUp) {
  WatchedFiles files;
  EXPECT_TRUE(LocalArchiveEntry(files, "a.avi", "root/d/a.avi", false, "d/").downloaded);
  EXPECT_FALSE(LocalArchiveEntry(files, "../../x", "root/d/../../x", false, "d/").downloaded);
  EXPECT_FALSE(LocalArchiveEntry(files, "CON", "root/d/CON", false, "d/").downloaded);
  EXPECT_FALSE(LocalArchiveEntry(files, "a.avi", "root/NUL/a.avi", false, "NUL/").downloaded);
  EXPECT_FALSE(LocalArchiveEntry(files, "/etc/", "root//etc/", true).downloaded);
  EXPECT_EQ(files.asked, std::vector<std::string>{"root/d/a.avi"});
}

// --- device list and announcements -----------------------------------------------------------

TEST(HostileDiscoveryTest, TheListIsCapped) {
  recording::DeviceList sink;
  DeviceList list(&sink);
  for (std::uint32_t i = 1; i <= 1000; ++i) list.AddDevice(0x0A000000 + i, "");
  EXPECT_EQ(list.Count(), DeviceList::kMaxEntries);
  EXPECT_EQ(sink.Items().size(), DeviceList::kMaxEntries);
  EXPECT_EQ(list.AddressAt(255), 0x0A0000FFu);
}

TEST(HostileDiscoveryTest, LongDatagramsCountWithTheirFirst1023Bytes) {
  net::NetworkStartup network;
  ASSERT_TRUE(network.Ok());
  recording::DeviceList sink;
  DeviceList list(&sink);
  const std::uint16_t port = trevna_test::FreeUdpPort();
  ASSERT_NE(port, 0);
  ScanThread scan(&list, port);
  scan.Start();
  ASSERT_TRUE(recording::WaitFor([&] { return scan.Listening(); }, std::chrono::seconds(5)));
  // The alias line ends at byte 1023 exactly; what follows is cut.
  std::string datagram = "DARIRE\nalias `" + std::string(1023 - 16, 'a') + "`\n";
  ASSERT_EQ(datagram.size(), 1023u);
  datagram += std::string(2000, 'z');
  net::Socket sender = net::Socket::Udp();
  for (int i = 0; i < 3; ++i) sender.SendTo(datagram.data(), datagram.size(), 0x7F000001, port);
  recording::WaitFor([&] { return sink.Items().size() >= 2; }, std::chrono::seconds(5));
  scan.Stop();
  EXPECT_EQ(sink.Items(), (std::vector<std::string>{"0.0.0.0", std::string(63, 'a') + " (127.0.0.1)"}));
}

// --- live stream ----------------------------------------------------------------------------

struct CountingPort : StreamPort {
  std::vector<std::uint8_t> header;
  std::size_t skipped = 0, sent = 0;
  bool ReceiveExact(void* data, std::size_t size) override {
    std::memset(data, 0, size);
    std::memcpy(data, header.data(), std::min(size, header.size()));
    header.erase(header.begin(), header.begin() + static_cast<long>(std::min(size, header.size())));
    return true;
  }
  bool Skip(std::size_t size) override {
    skipped += size;
    return true;
  }
  bool Send(const void*, std::size_t) override {
    ++sent;
    return true;
  }
};

TEST(HostileStreamTest, OversizedLengthsEndTheStreamUnread) {
  const struct {
    std::uint32_t headerLength, payloadLength;
    std::uint8_t type;
    bool goesOn;
  } cases[] = {{16, 100, 9, true},
               {stream::kMaxHeaderLength, 0, 9, true},
               {stream::kMaxHeaderLength + 1, 0, 9, false},
               {0xFFFFFFFF, 0, 1, false},
               {64, stream::kMaxPayload, 9, true},
               {64, stream::kMaxPayload + 1, 9, false},
               {64, 0xFFFFFFFF, 1, false},
               {64, 0xFFFFFFFF, 2, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.headerLength) + " / " + std::to_string(c.payloadLength));
    CountingPort port;
    port.header.assign(16, 0);
    StoreU32(port.header.data(), c.headerLength);
    port.header[8] = c.type;
    StoreU32(port.header.data() + 12, c.payloadLength);
    LiveTargets targets;
    EXPECT_EQ(HandleStreamMessage(port, targets), c.goesOn);
    EXPECT_EQ(port.sent, c.goesOn ? 1u : 0u);
    if (!c.goesOn) {
      EXPECT_EQ(port.skipped, 0u);
    }
  }
}

TEST(HostileStreamTest, StopEndsASkipAndASilentWait) {
  net::NetworkStartup network;
  ASSERT_TRUE(network.Ok());
  net::Socket listener = net::Socket::Tcp();
  ASSERT_TRUE(listener.Bind(0x7F000001, 0));
  ASSERT_TRUE(listener.Listen(1));
  net::Socket client = net::Socket::Tcp();
  ASSERT_TRUE(client.Connect(0x7F000001, listener.LocalPort(), 5000));
  net::Socket server = listener.Accept();
  ASSERT_TRUE(server.Valid());
  ASSERT_TRUE(client.SetNonBlocking(true));
  std::atomic<bool> stop{false};
  SocketStreamPort port(client, 600000, [&] { return stop.load(); });
  std::atomic<bool> ended{false};
  std::thread reader([&] {
    port.Skip(std::size_t{1} << 40);  // a card that claims a huge payload and then trickles
    ended = true;
  });
  const char byte = 0;
  for (int i = 0; i < 20 && !ended; ++i) server.Send(&byte, 1);
  stop = true;
  const bool done = recording::WaitFor([&] { return ended.load(); }, std::chrono::seconds(5));
  if (!done) server.ShutdownBoth();  // let the thread end before the failure is reported
  reader.join();
  EXPECT_TRUE(done) << "a stopped worker stayed in the skip";
}

// --- tuning messages ------------------------------------------------------------------------

TEST(TuningLogTest, KeepsABoundedNumber) {
  const std::uint16_t counts[TuningState::kValues] = {7};
  TuningLog log(100);
  for (int i = 0; i < 1000; ++i) log.Add(counts);  // nobody takes them
  EXPECT_EQ(log.Take().size(), TuningLog::kMaxPending);
  for (int i = 0; i < 1000; ++i) {
    log.Add(counts);
    log.Take();
  }
  EXPECT_EQ(log.Accepted(), 100u);
  EXPECT_EQ(log.Dropped(), 2000u - 100u);
  EXPECT_TRUE(log.Take().empty());
}

}  // namespace
