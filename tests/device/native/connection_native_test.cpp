// The Connection worker and the device operations against trevna-cardsim over loopback SSH.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include "base/socket.h"
#include "device/connection.h"
#include "support/cardsim.h"
#include "support/recording_device_sinks.h"

namespace {

using namespace device;
using trevna_test::CardSim;

std::uint32_t Address(const std::string& dotted) {
  std::uint32_t address = 0;
  net::ParseDottedAddress(dotted, &address);
  return address;
}

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string data(size, '\0');
  for (auto& c : data) c = static_cast<char>(random());
  return data;
}

using trevna_test::ReadBytes;

std::string Narrow(const std::filesystem::path& path) { return Cp1250FromUtf8(path.string()); }

// A worker with no idle housekeeping unless asked, and restart waits recorded instead of
// slept. Without housekeeping its passes last ten minutes: every request it carries out in a
// test was picked up by the wake-up of its posting, and every Stop by the stop signal.
struct Worker {
  recording::Status status;
  recording::Messages messages;
  std::mutex sleepsMutex;
  std::vector<unsigned> sleeps;
  std::unique_ptr<Connection> connection;

  Worker(const trevna_test::CardEndpoints& card, unsigned probeEvery = 0, unsigned clockEvery = 0,
         SshLimits limits = {}) {
    ConnectionOptions options;
    options.sshPort = static_cast<std::uint16_t>(card.sshPort);
    options.passMs = probeEvery || clockEvery ? 10 : 600000;
    options.probeEvery = probeEvery;
    options.clockEvery = clockEvery;
    options.limits = limits;
    // The card reports whole seconds; reading the PC clock in whole seconds too keeps the
    // 9 s / 11 s clock cases clear of the 10 s threshold whatever the sub-second phase.
    options.timing.now = [] { return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()); };
    options.timing.sleep = [this](unsigned ms) {
      std::lock_guard lock(sleepsMutex);
      sleeps.push_back(ms);
    };
    connection = std::make_unique<Connection>(&status, &messages, options);
    connection->Start();
  }
  ~Worker() { connection->Stop(); }

  bool Open(const std::string& address, const std::string& password = CardSim::kPassword) {
    recording::RunRequest(*connection, [&] { return connection->PostOpen(Address(address), CardSim::kUser, password); });
    return connection->IsConnected();
  }
  bool Run(ConnectionRequest request) {
    return recording::RunRequest(*connection, [&] { return connection->Post(request); });
  }
  // Posts with one of the Post functions and waits until the worker has finished.
  bool Do(const std::function<bool(Connection&)>& post) {
    return recording::RunRequest(*connection, [&] { return post(*connection); });
  }
};

class CardTest : public trevna_test::CardSimSuite<CardTest> {
 protected:
  static trevna_test::CardEndpoints Card() { return card_->Card("127.0.0.2"); }
  static std::size_t Restarts() { return card_->Events("restarted", "127.0.0.2").size(); }
  // The card is back on the network after one restart more than `before`.
  static bool BackFromRestart(std::size_t before) {
    return recording::WaitFor([&] { return Restarts() > before; }, std::chrono::seconds(60));
  }
};

TEST_F(CardTest, OpenReportsStepsAndSecondOpenAndCloseBehave) {
  Worker w(Card());
  ASSERT_TRUE(w.Open("127.0.0.2"));
  const auto events = w.status.Events();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].text, "Łączenie...");
  EXPECT_EQ(events[0].position, 0);
  EXPECT_EQ(events[1].text, "Negocjowanie sesji...");
  EXPECT_EQ(events[1].position, 60);
  EXPECT_EQ(events[2].text, "Uwierzytelnianie użytkownika...");
  EXPECT_EQ(events[2].position, 80);
  EXPECT_EQ(events[3].text, "Połączony");
  EXPECT_EQ(events[3].position, -1);

  // A second open while connected does nothing.
  EXPECT_TRUE(w.Open("127.0.0.2"));
  EXPECT_EQ(w.status.Events().size(), 4u);

  ASSERT_TRUE(w.Run(ConnectionRequest::Close));
  EXPECT_FALSE(w.connection->IsConnected());
  EXPECT_EQ(w.status.Texts(), (std::vector<std::string>{"Łączenie...", "Negocjowanie sesji...",
                                                         "Uwierzytelnianie użytkownika...", "Połączony",
                                                         "Rozłączanie...", "Nie połączony"}));
  // Operations while disconnected do nothing.
  ASSERT_TRUE(w.Run(ConnectionRequest::RestartDevice));
  EXPECT_EQ(w.status.Texts().size(), 6u);
  EXPECT_TRUE(w.messages.Errors().empty());
}

TEST_F(CardTest, WrongPasswordFailsAndReleasesEverything) {
  Worker w(Card());
  EXPECT_FALSE(w.Open("127.0.0.2", "zle-haslo"));
  EXPECT_EQ(w.status.Last(), "Nie udało się otworzyć połączenia");
  EXPECT_EQ(w.messages.Errors(), (std::vector<std::string>{"Nie powiodło się uwierzytelnienie użytkownika."}));
  // A later open with the right password works: nothing was left behind.
  EXPECT_TRUE(w.Open("127.0.0.2"));
}

TEST_F(CardTest, RequestPostedWhileBusyIsDropped) {
  const std::size_t restarts = Restarts();
  std::atomic<bool> release{false};
  std::atomic<int> steps{0};
  ConnectionOptions options;
  options.sshPort = static_cast<std::uint16_t>(Card().sshPort);
  options.passMs = 10;
  options.probeEvery = 0;
  options.clockEvery = 0;
  // Holds the worker inside the restart wait until released.
  options.timing.sleep = [&](unsigned) {
    ++steps;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  };
  recording::Status status;
  recording::Messages messages;
  Connection connection(&status, &messages, options);
  connection.Start();
  ASSERT_TRUE(recording::RunRequest(connection, [&] {
    return connection.PostOpen(Address("127.0.0.2"), CardSim::kUser, CardSim::kPassword);
  }));
  ASSERT_TRUE(connection.IsConnected());
  ASSERT_TRUE(connection.Post(ConnectionRequest::RestartDevice));
  ASSERT_TRUE(recording::WaitFor([&] { return steps > 0; }));
  EXPECT_FALSE(connection.PostSetNetwork(1, 2, 3));
  EXPECT_FALSE(connection.PostUploadProgram("x"));
  EXPECT_FALSE(connection.PostOpen(1, "a", "b"));
  EXPECT_EQ(connection.PendingRequest(), ConnectionRequest::RestartDevice);
  release = true;
  ASSERT_TRUE(recording::WaitFor([&] { return connection.SlotFree(); }));
  EXPECT_EQ(steps.load(), 75);
  EXPECT_EQ(status.Last(), "Trevna pomyślnie zrestartowany");
  EXPECT_TRUE(messages.Errors().empty());
  // Stopping closes the session.
  connection.Stop();
  EXPECT_FALSE(connection.IsConnected());
  EXPECT_EQ(status.Last(), "Nie połączony");
  EXPECT_TRUE(BackFromRestart(restarts));
}

TEST_F(CardTest, UploadProgressFileOnCardAndDownloadBack) {
  const std::size_t restarts = Restarts();
  Worker w(Card());
  ASSERT_TRUE(w.Open("127.0.0.2"));
  w.status.Clear();
  const std::string program = RandomBytes(300 * 1024, 7);
  ASSERT_TRUE(recording::RunRequest(*w.connection, [&] { return w.connection->PostUploadProgram(program); }));
  EXPECT_TRUE(w.messages.Errors().empty());
  const auto events = w.status.Events();
  ASSERT_GE(events.size(), 2u + 75u + 1u);
  EXPECT_EQ(events.front().text, "Wysyłanie pliku...");
  EXPECT_EQ(events.front().position, 0);
  // The transfer fills 0..25, never going back.
  std::size_t i = 1;
  int last = 0;
  for (; i < events.size() && events[i].text.empty(); ++i) {
    EXPECT_GE(events[i].position, last);
    EXPECT_LE(events[i].position, 25);
    last = events[i].position;
  }
  EXPECT_EQ(last, 25);
  ASSERT_LT(i, events.size());
  EXPECT_EQ(events[i].text, "Restartowanie...");
  EXPECT_EQ(events[i].position, 25);
  for (int k = 0; k < 75; ++k) EXPECT_EQ(events[i + 1 + static_cast<std::size_t>(k)].position, 26 + k);
  EXPECT_EQ(events.back().text, "Plik pomyślnie wysłany");
  EXPECT_EQ(events.back().position, -1);
  {
    std::lock_guard lock(w.sleepsMutex);
    EXPECT_EQ(w.sleeps, std::vector<unsigned>(75, 533));
  }
  EXPECT_EQ(ReadBytes(card_->CardFolder("127.0.0.2") / "program.doz"), program);
  // The card had the whole file before the restart command ran.
  const auto log = card_->Log("127.0.0.2");
  std::ptrdiff_t uploaded = -1, restarted = -1;
  for (std::size_t k = 0; k < log.size(); ++k) {
    if (log[k].value("event", "") == "scp-upload" && log[k].value("ok", false)) uploaded = static_cast<std::ptrdiff_t>(k);
    if (log[k].value("event", "") == "exec" && log[k].value("command", "") == "sync && /vemo/restart") {
      restarted = static_cast<std::ptrdiff_t>(k);
    }
  }
  ASSERT_GE(uploaded, 0);
  EXPECT_GT(restarted, uploaded);

  // The card restarts (1 s in the simulator); open again and fetch the program back.
  w.connection->Post(ConnectionRequest::Close);
  recording::WaitFor([&] { return w.connection->SlotFree(); });
  ASSERT_TRUE(BackFromRestart(restarts));
  ASSERT_TRUE(w.Open("127.0.0.2"));
  auto question = std::make_shared<recording::SaveQuestion>();
  const trevna_test::TempFolder folder("download");
  question->answer = Narrow(folder / "Pobrany dokument.trv");
  w.status.Clear();
  ASSERT_TRUE(w.Do([&](Connection& c) { return c.PostDownloadProgram(question); }));
  EXPECT_TRUE(w.messages.Errors().empty());
  EXPECT_EQ(question->asked, 1);
  EXPECT_EQ(ReadBytes(folder / "Pobrany dokument.trv"), program);
  EXPECT_EQ(w.status.Texts(), (std::vector<std::string>{"Pobieranie pliku...", "Plik pomyślnie pobrany"}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);

  // Cancelled: nothing written, status keeps its last state.
  question->answer.reset();
  std::filesystem::remove(folder / "Pobrany dokument.trv");
  w.status.Clear();
  ASSERT_TRUE(w.Do([&](Connection& c) { return c.PostDownloadProgram(question); }));
  EXPECT_EQ(question->asked, 2);
  EXPECT_TRUE(std::filesystem::is_empty(folder));
  EXPECT_EQ(w.status.Texts(), (std::vector<std::string>{"Pobieranie pliku..."}));
  EXPECT_EQ(w.status.Events().back().position, 100);
  EXPECT_TRUE(w.messages.Errors().empty());
}

TEST_F(CardTest, UploadTheCardCannotStoreIsAFailure) {
  Worker w(Card());
  ASSERT_TRUE(w.Open("127.0.0.2"));
  // A new program arrives as "program.doz.new"; a folder of that name keeps it from being
  // put in place on the card.
  const auto blocker = card_->CardFolder("127.0.0.2") / "program.doz.new";
  std::filesystem::create_directory(blocker);
  const std::string before = ReadBytes(card_->CardFolder("127.0.0.2") / "program.doz");
  const auto Restarts = [] {
    int count = 0;
    for (const auto& e : card_->Events("exec", "127.0.0.2")) count += e.value("command", "") == "sync && /vemo/restart";
    return count;
  };
  const int restartsBefore = Restarts();
  ASSERT_TRUE(recording::RunRequest(*w.connection, [&] { return w.connection->PostUploadProgram(RandomBytes(5000, 1)); }));
  std::filesystem::remove_all(blocker);
  EXPECT_EQ(w.messages.Errors(), (std::vector<std::string>{"Nie powiodło się wysłanie pliku."}));
  EXPECT_EQ(w.status.Last(), "Nie udało się wysłać pliku");
  EXPECT_EQ(ReadBytes(card_->CardFolder("127.0.0.2") / "program.doz"), before);
  // No restart was asked for.
  EXPECT_EQ(Restarts(), restartsBefore);
}

TEST_F(CardTest, ArchiveListsMarkersAndDownload) {
  Worker w(Card());
  ASSERT_TRUE(w.Open("127.0.0.2"));
  const auto drive = card_->CardFolder("127.0.0.2") / "usbdrive";
  std::vector<std::string> cardFolders;
  for (const auto& entry : std::filesystem::directory_iterator(drive)) {
    if (entry.is_directory()) cardFolders.push_back(entry.path().filename().string() + "/");
  }
  std::sort(cardFolders.begin(), cardFolders.end());
  ASSERT_FALSE(cardFolders.empty());

  const trevna_test::TempFolder root("archive");
  std::filesystem::create_directory(root / cardFolders[0]);
  auto dialog = std::make_shared<recording::ArchiveDialog>();
  const std::string rootText = Narrow(root) + "/";

  // Request 6 without a folder selection ends without effect.
  ASSERT_TRUE(w.Do([&](Connection& c) { return c.PostListArchiveFiles(dialog, "", rootText); }));
  EXPECT_TRUE(dialog->files.empty());
  EXPECT_TRUE(w.status.Texts().size() == 4u);  // only the opening texts

  ASSERT_TRUE(w.Do([&](Connection& c) { return c.PostListArchiveFolders(dialog, rootText); }));
  EXPECT_EQ(w.status.Last(), "Lista folderów pobrana");
  ASSERT_GE(dialog->folders.size(), cardFolders.size());
  EXPECT_EQ(dialog->folders[0], cardFolders[0] + "  [S]");
  for (std::size_t k = 1; k < cardFolders.size(); ++k) EXPECT_EQ(dialog->folders[k], cardFolders[k]);

  ASSERT_TRUE(w.Do([&](Connection& c) { return c.PostListArchiveFiles(dialog, cardFolders[0], rootText); }));
  EXPECT_EQ(w.status.Last(), "Lista plików pobrana");
  EXPECT_EQ(dialog->filesFolder, cardFolders[0]);
  ASSERT_FALSE(dialog->files.empty());
  std::vector<std::string> cardFiles;
  for (const auto& entry : std::filesystem::directory_iterator(drive / cardFolders[0])) {
    cardFiles.push_back(entry.path().filename().string());
  }
  std::sort(cardFiles.begin(), cardFiles.end());
  EXPECT_EQ(dialog->files, cardFiles);

  // Download without a folder, without files, then the first and last file.
  ASSERT_TRUE(w.Do([&](Connection& c) { return c.PostDownloadArchiveFiles(dialog, "", {cardFiles[0]}, rootText); }));
  ASSERT_TRUE(w.Do([&](Connection& c) { return c.PostDownloadArchiveFiles(dialog, cardFolders[0], {}, rootText); }));
  EXPECT_EQ(w.messages.Errors(), (std::vector<std::string>{"Nie zaznaczono folderu.", "Nie zaznaczono plików."}));
  w.status.Clear();
  ASSERT_TRUE(w.Do([&](Connection& c) {
    return c.PostDownloadArchiveFiles(dialog, cardFolders[0], {cardFiles[0], cardFiles.back()}, rootText);
  }));
  EXPECT_EQ(w.messages.Errors().size(), 2u);
  EXPECT_EQ(w.status.Texts().front(), "Pobieranie '" + cardFolders[0] + cardFiles[0] + "'");
  EXPECT_EQ(w.status.Last(), "Pliki pobrane");
  EXPECT_EQ(ReadBytes(root / cardFolders[0] / cardFiles[0]), ReadBytes(drive / cardFolders[0] / cardFiles[0]));
  EXPECT_EQ(ReadBytes(root / cardFolders[0] / cardFiles.back()),
            ReadBytes(drive / cardFolders[0] / cardFiles.back()));
  EXPECT_EQ(dialog->files[0], cardFiles[0] + "  [S]");
  EXPECT_EQ(dialog->files.back(), cardFiles.back() + "  [S]");
  EXPECT_EQ(dialog->folders[0], cardFolders[0] + "  [S]");
  EXPECT_EQ(dialog->folderSelection, 0);
  // Only complete files, no temporaries.
  for (const auto& entry : std::filesystem::directory_iterator(root / cardFolders[0])) {
    EXPECT_EQ(entry.path().string().find(".part~"), std::string::npos) << entry.path();
  }

  // Listing the files again marks the downloaded ones.
  ASSERT_TRUE(w.Do([&](Connection& c) { return c.PostListArchiveFiles(dialog, cardFolders[0], rootText); }));
  EXPECT_EQ(dialog->files[0], cardFiles[0] + "  [S]");
  if (cardFiles.size() > 2) {
    EXPECT_EQ(dialog->files[1], cardFiles[1]);
  }
}

TEST_F(CardTest, UnsafeArchiveNamesNeverLeaveTheRoot) {
  Worker w(Card());
  ASSERT_TRUE(w.Open("127.0.0.2"));
  const auto drive = card_->CardFolder("127.0.0.2") / "usbdrive";
  // A folder whose file list holds a name with "..".
  std::filesystem::create_directories(drive / "zzz-evil");
  { std::ofstream(drive / "zzz-evil" / "a..b.avi") << "data"; }
  const trevna_test::TempFolder root("evil");
  auto dialog = std::make_shared<recording::ArchiveDialog>();
  const std::string rootText = Narrow(root / "inner") + "/";
  ASSERT_TRUE(w.Do([&](Connection& c) { return c.PostListArchiveFolders(dialog, rootText); }));
  ASSERT_NE(std::find(dialog->folders.begin(), dialog->folders.end(), "zzz-evil/"), dialog->folders.end());
  ASSERT_TRUE(w.Do([&](Connection& c) { return c.PostListArchiveFiles(dialog, "zzz-evil/", rootText); }));
  ASSERT_EQ(dialog->files, (std::vector<std::string>{"a..b.avi"}));
  ASSERT_TRUE(w.Do([&](Connection& c) { return c.PostDownloadArchiveFiles(dialog, "zzz-evil/", {"a..b.avi"}, rootText); }));
  EXPECT_EQ(w.messages.Errors(), (std::vector<std::string>{"Niedozwolona nazwa w archiwum karty `a..b.avi'."}));
  EXPECT_EQ(w.status.Last(), "Nie udało się pobrać pliku");
  EXPECT_TRUE(std::filesystem::is_empty(root));
  std::filesystem::remove_all(drive / "zzz-evil");
}

TEST_F(CardTest, NetworkSettingsReadIntoTheDialog) {
  Worker w(Card());
  ASSERT_TRUE(w.Open("127.0.0.2"));
  auto dialog = std::make_shared<recording::NetworkDialog>();
  ASSERT_TRUE(w.Do([&](Connection& c) { return c.PostShowNetwork(dialog); }));
  EXPECT_TRUE(w.messages.Errors().empty());
  ASSERT_TRUE(dialog->addresses);
  EXPECT_NE((*dialog->addresses)[0], 0u);
  EXPECT_NE((*dialog->addresses)[1], 0u);
  ASSERT_TRUE(dialog->hardware);
  EXPECT_EQ(dialog->hardware->size(), 17u);
  EXPECT_EQ((*dialog->hardware)[2], ':');
}

TEST_F(CardTest, PasswordChangeTakesEffect) {
  Worker w(Card());
  ASSERT_TRUE(w.Open("127.0.0.2"));
  ASSERT_TRUE(recording::RunRequest(*w.connection, [&] { return w.connection->PostChangePassword("nowe-haslo"); }));
  EXPECT_TRUE(w.messages.Errors().empty());
  EXPECT_EQ(w.status.Last(), "Hasło zmienione");
  Worker second(Card());
  EXPECT_FALSE(second.Open("127.0.0.2", CardSim::kPassword));
  EXPECT_TRUE(second.Open("127.0.0.2", "nowe-haslo"));
  // Back to the suite's password.
  ASSERT_TRUE(recording::RunRequest(*w.connection, [&] { return w.connection->PostChangePassword(CardSim::kPassword); }));
  EXPECT_EQ(w.status.Last(), "Hasło zmienione");
}

TEST_F(CardTest, ProbeNoticesRestartedCard) {
  const std::size_t restarts = Restarts();
  Worker w(Card(), /*probeEvery=*/5);
  ASSERT_TRUE(w.Open("127.0.0.2"));
  ASSERT_TRUE(w.Run(ConnectionRequest::RestartDevice));
  EXPECT_EQ(w.status.Texts().back(), "Trevna pomyślnie zrestartowany");
  ASSERT_TRUE(recording::WaitFor([&] { return !w.connection->IsConnected(); }, std::chrono::seconds(60)));
  const auto texts = w.status.Texts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[texts.size() - 2], "Rozłączanie...");
  EXPECT_EQ(texts.back(), "Nie połączony");
  EXPECT_TRUE(w.messages.Errors().empty());
  EXPECT_TRUE(BackFromRestart(restarts));  // later tests log in again
}

// --- cards with their own settings ----------------------------------------------------------

int ClockSets(const CardSim& sim, const std::string& address) {
  return static_cast<int>(sim.Events("clock-set", address).size());
}

int DateQueries(const CardSim& sim, const std::string& address) {
  int count = 0;
  for (const auto& e : sim.Events("exec", address)) count += e.value("command", "") == "date -u -Iseconds" ? 1 : 0;
  return count;
}

TEST(ClockTest, NineSecondsBehindIsLeftElevenIsCorrected) {
  CardSim nine({"127.0.0.4"}, {}, {"--clock-offset", "-9"});
  CardSim eleven({"127.0.0.5"}, {}, {"--clock-offset", "-11"});
  {
    Worker w(nine.Card("127.0.0.4"), 0, /*clockEvery=*/30);
    ASSERT_TRUE(w.Open("127.0.0.4"));
    ASSERT_TRUE(recording::WaitFor([&] { return DateQueries(nine, "127.0.0.4") >= 3; }));
  }
  EXPECT_EQ(ClockSets(nine, "127.0.0.4"), 0);
  {
    Worker w(eleven.Card("127.0.0.5"), 0, /*clockEvery=*/30);
    ASSERT_TRUE(w.Open("127.0.0.5"));
    ASSERT_TRUE(recording::WaitFor([&] { return ClockSets(eleven, "127.0.0.5") >= 1; }));
    // Later checks find the corrected clock in step.
    const int queries = DateQueries(eleven, "127.0.0.5");
    ASSERT_TRUE(recording::WaitFor([&] { return DateQueries(eleven, "127.0.0.5") >= queries + 3; }));
    EXPECT_TRUE(w.status.Texts().back() == "Połączony");  // the checks show nothing
    EXPECT_TRUE(w.messages.Errors().empty());
  }
  EXPECT_EQ(ClockSets(eleven, "127.0.0.5"), 1);
  const auto set = eleven.Events("clock-set", "127.0.0.5");
  ASSERT_EQ(set.size(), 1u);
  // The card was told the PC's UTC time to the second (the set value is "YYYY-MM-DD hh:mm:ss").
  const std::string utc = set[0].value("utc", "");
  EXPECT_EQ(utc.size(), 19u) << utc;
  EXPECT_EQ(utc[10], ' ');
}

TEST(FaultTest, SilentCardFailsWithinTheLimit) {
  CardSim sim({"127.0.0.6"}, {"silent"});
  SshLimits limits;
  limits.callTimeoutMs = 1500;
  Worker w(sim.Card("127.0.0.6"), 0, 0, limits);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(w.Open("127.0.0.6"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(w.messages.Errors(), (std::vector<std::string>{"Nie powiodła się negocjacja sesji."}));
  EXPECT_EQ(w.status.Last(), "Nie udało się otworzyć połączenia");
}

// A card that takes the login and then leaves a command unanswered (its shell hangs): every
// read that runs out of time fails its step with the step's message, and the dialogs are not
// filled (an archive that did not answer never shows as empty). A command channel that hangs
// leaves the session usable; a transfer that hangs in its start does not (libssh2 would resume
// it), so the session is then closed as after a failed probe.
TEST(FaultTest, CardThatStopsAnsweringACommandFailsThatStep) {
  CardSim stalling({"127.0.0.20"}, {"stall-command=ls", "stall-command=scp", "stall-command=chpass", "stall-command=ifconfig", "stall-command=date"});
  CardSim noIpconfig({"127.0.0.21"}, {"stall-command=ipconfig"});
  SshLimits limits;
  limits.callTimeoutMs = 2500;  // room for a key exchange under sanitizers and load
  Worker a(stalling.Card("127.0.0.20"), 0, 0, limits);
  Worker b(noIpconfig.Card("127.0.0.21"), 0, 0, limits);
  ASSERT_TRUE(a.Open("127.0.0.20"));
  ASSERT_TRUE(b.Open("127.0.0.21"));
  const trevna_test::TempFolder root("stalled");
  const std::string rootText = Narrow(root) + "/";
  auto archive = std::make_shared<recording::ArchiveDialog>();
  auto network = std::make_shared<recording::NetworkDialog>();
  auto question = std::make_shared<recording::SaveQuestion>();
  question->answer = Narrow(root / "program.trv");
  struct Row {
    const char* name;
    Worker* worker;
    std::function<bool(Connection&)> post;
    const char* message;
    const char* failureLine;  // "" when the operation has none
    bool closesLink = false;
    bool addressesShown = false;
  };
  const std::vector<Row> rows = {
      {"folders", &a, [&](Connection& c) { return c.PostListArchiveFolders(archive, rootText); },
       "Nie powiodła się próba wylistowania katalogu.", "Nie udało się pobrać listy"},
      {"files", &a, [&](Connection& c) { return c.PostListArchiveFiles(archive, "2026-01-01/", rootText); },
       "Nie powiodła się próba wylistowania katalogu.", "Nie udało się pobrać listy"},
      {"chpass", &a, [&](Connection& c) { return c.PostChangePassword("nowe"); },
       "Nie powiodła się próba zmiany hasła.", "Nie udało się zmienić hasła"},
      {"ifconfig", &a, [&](Connection& c) { return c.PostShowNetwork(network); },
       "Nie powiodła się próba wykonania polecenia.", "", false, true},
      {"ipconfig", &b, [&](Connection& c) { return c.PostShowNetwork(network); },
       "Nie powiodła się próba wykonania polecenia.", ""},
      {"archive download", &a,
       [&](Connection& c) { return c.PostDownloadArchiveFiles(archive, "2026-01-01/", {"A_080000.avi"}, rootText); },
       "Nie powiodła się próba pobrania pliku.", "Nie udało się pobrać pliku", true},
      {"program download", &a, [&](Connection& c) { return c.PostDownloadProgram(question); },
       "Nie powiodła się próba pobrania pliku.", "Nie udało się pobrać pliku", true},
      {"upload", &a, [&](Connection& c) { return c.PostUploadProgram("program"); },
       "Nie powiodła się próba wysłania pliku.", "Nie udało się wysłać pliku", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto errors = row.worker->messages.Errors().size();
    row.worker->status.Clear();
    network->addresses.reset();
    ASSERT_TRUE(row.worker->Do(row.post));
    const auto shown = row.worker->messages.Errors();
    ASSERT_EQ(shown.size(), errors + 1);
    EXPECT_EQ(shown.back(), row.message);
    auto texts = row.worker->status.Texts();
    if (row.closesLink) {
      EXPECT_FALSE(row.worker->connection->IsConnected());
      ASSERT_GE(texts.size(), 2u);
      EXPECT_EQ(texts.back(), "Nie połączony");
      texts.resize(texts.size() - 2);  // "Rozłączanie...", "Nie połączony"
      ASSERT_TRUE(row.worker->Open("127.0.0.20"));
    } else {
      EXPECT_TRUE(row.worker->connection->IsConnected());
    }
    if (*row.failureLine) {
      ASSERT_FALSE(texts.empty());
      EXPECT_EQ(texts.back(), row.failureLine);
    } else {
      EXPECT_TRUE(texts.empty());
    }
    // "ipconfig --show" answered: the addresses were shown before "ifconfig" hung.
    EXPECT_EQ(network->addresses.has_value(), row.addressesShown);
  }
  EXPECT_EQ(archive->showFolderCalls, 0);
  EXPECT_TRUE(archive->files.empty());
  EXPECT_TRUE(archive->filesFolder.empty());
  EXPECT_EQ(question->asked, 0);
  EXPECT_TRUE(std::filesystem::is_empty(root / "2026-01-01"));
  EXPECT_FALSE(network->hardware);
  EXPECT_EQ(stalling.Events("exec-stalled", "127.0.0.20").size(), 7u);

  // The clock check of an idle link reads "date" too: a card that does not answer is left
  // alone, silently, and the link stays up.
  Worker clock(stalling.Card("127.0.0.20"), 0, /*clockEvery=*/5, limits);
  ASSERT_TRUE(clock.Open("127.0.0.20"));
  const auto DateStalls = [&] {
    std::size_t n = 0;
    for (const auto& e : stalling.Events("exec-stalled", "127.0.0.20")) n += e.value("command", "") == "date -u -Iseconds";
    return n;
  };
  ASSERT_TRUE(recording::WaitFor([&] { return DateStalls() >= 2; }));  // one check over, the next begun
  EXPECT_TRUE(clock.connection->IsConnected());
  EXPECT_TRUE(clock.messages.Errors().empty());
  EXPECT_EQ(clock.status.Last(), "Połączony");
  EXPECT_TRUE(stalling.Events("clock-set", "127.0.0.20").empty());
}

// "Rozłącz" while a listing waits for a card that does not answer: the close is taken, cuts the
// listing short without a message, and the login posted after it follows it. Requests posted
// while the listing runs, and a second one after the close, are dropped.
TEST(FaultTest, CloseDuringARequestThenOpenAreCarriedOutInOrder) {
  CardSim sim({"127.0.0.22"}, {"stall-command=ls"});
  SshLimits limits;
  limits.callTimeoutMs = 120000;  // without the close the listing would wait this long
  Worker w(sim.Card("127.0.0.22"), 0, 0, limits);
  ASSERT_TRUE(w.Open("127.0.0.22"));
  w.status.Clear();
  auto dialog = std::make_shared<recording::ArchiveDialog>();
  ASSERT_TRUE(w.connection->PostListArchiveFolders(dialog, ""));
  ASSERT_TRUE(recording::WaitFor([&] { return !sim.Events("exec-stalled", "127.0.0.22").empty(); }));
  EXPECT_FALSE(w.connection->PostUploadProgram("program"));
  EXPECT_TRUE(w.connection->Post(ConnectionRequest::Close));
  EXPECT_TRUE(w.connection->PostOpen(Address("127.0.0.22"), CardSim::kUser, CardSim::kPassword));
  EXPECT_FALSE(w.connection->Post(ConnectionRequest::RestartDevice));
  ASSERT_TRUE(recording::WaitFor([&] { return w.connection->SlotFree(); }, std::chrono::seconds(60)));
  EXPECT_TRUE(w.connection->IsConnected());
  EXPECT_EQ(w.status.Texts(),
            (std::vector<std::string>{"Pobieranie listy folderów...", "Nie udało się pobrać listy", "Rozłączanie...",
                                      "Nie połączony", "Łączenie...", "Negocjowanie sesji...",
                                      "Uwierzytelnianie użytkownika...", "Połączony"}));
  EXPECT_TRUE(w.messages.Errors().empty());
  EXPECT_EQ(dialog->showFolderCalls, 0);
  EXPECT_EQ(sim.Events("login", "127.0.0.22").size(), 2u);
  EXPECT_TRUE(sim.Events("scp-upload", "127.0.0.22").empty());
}

TEST(FaultTest, RefusedPasswordReportsAuthentication) {
  CardSim sim({"127.0.0.7"}, {"refuse-password"});
  Worker w(sim.Card("127.0.0.7"));
  EXPECT_FALSE(w.Open("127.0.0.7"));
  EXPECT_EQ(w.messages.Errors(), (std::vector<std::string>{"Nie powiodło się uwierzytelnienie użytkownika."}));
}

TEST(FaultTest, LinkDropMidUploadAndMidDownload) {
  CardSim sim({"127.0.0.8"}, {"drop-after=100000"});
  const std::string big = RandomBytes(400 * 1024, 3);
  {
    Worker w(sim.Card("127.0.0.8"));
    ASSERT_TRUE(w.Open("127.0.0.8"));
    ASSERT_TRUE(recording::RunRequest(*w.connection, [&] { return w.connection->PostUploadProgram(big); }));
    ASSERT_EQ(w.messages.Errors().size(), 1u);
    EXPECT_EQ(w.messages.Errors()[0], "Nie powiodło się wysłanie pliku.");
    EXPECT_EQ(w.status.Last(), "Nie udało się wysłać pliku");
    EXPECT_NE(ReadBytes(sim.CardFolder("127.0.0.8") / "program.doz"), big);
  }
  {
    // A large recording on the card; the link drops part way.
    const auto drive = sim.CardFolder("127.0.0.8") / "usbdrive";
    std::filesystem::create_directories(drive / "0000-big");
    { std::ofstream(drive / "0000-big" / "big.avi", std::ios::binary) << big; }
    Worker w(sim.Card("127.0.0.8"));
    ASSERT_TRUE(w.Open("127.0.0.8"));
    const trevna_test::TempFolder root("drop");
    auto dialog = std::make_shared<recording::ArchiveDialog>();
    const std::string rootText = Narrow(root) + "/";
    ASSERT_TRUE(w.Do([&](Connection& c) { return c.PostListArchiveFolders(dialog, rootText); }));
    ASSERT_NE(std::find(dialog->folders.begin(), dialog->folders.end(), "0000-big/"), dialog->folders.end());
    ASSERT_TRUE(w.Do([&](Connection& c) { return c.PostListArchiveFiles(dialog, "0000-big/", rootText); }));
    ASSERT_TRUE(w.Do([&](Connection& c) { return c.PostDownloadArchiveFiles(dialog, "0000-big/", {"big.avi"}, rootText); }));
    ASSERT_EQ(w.messages.Errors().size(), 1u);
    EXPECT_EQ(w.messages.Errors()[0], "Nie powiodło się pobieranie pliku.");
    EXPECT_EQ(w.status.Last(), "Nie udało się pobrać pliku");
    // Nothing under the final name, no temporary left.
    EXPECT_FALSE(std::filesystem::exists(root / "0000-big" / "big.avi"));
    EXPECT_TRUE(std::filesystem::is_empty(root / "0000-big"));
    EXPECT_EQ(dialog->files, (std::vector<std::string>{"big.avi"}));
    }
}

}  // namespace
