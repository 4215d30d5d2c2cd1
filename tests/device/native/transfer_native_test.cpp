// The card link's transfers against the simulated card: the sequences that failed now and then
// on a loaded machine (shared with the tests against sshd and dropbear), and the program upload
// when the link drops half-way or the card cannot put the new program in place.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/socket.h"
#include "base/text.h"
#include "device/device_operations.h"
#include "device/local_files.h"
#include "device/ssh_session.h"
#include "openssh/transfer_sequences.h"
#include "support/cardsim.h"
#include "support/recording_device_sinks.h"

namespace {

using trevna_test::CardSim;
using trevna_test::ReadBytes;
using trevna_test::WriteBytes;

void Open(device::SshSession& session, const CardSim& card) {
  std::uint32_t address = 0;
  net::ParseDottedAddress(card.Address(), &address);
  session.Open(address, static_cast<std::uint16_t>(card.SshPort()), card.User(), card.Password(), {}, nullptr);
}

TEST(CardTransfers, SequencesRepeatedOnOneSession) {
  CardSim card({"127.0.0.40"});
  const auto folder = card.CardFolder() / "usbdrive" / "sekwencja";
  std::filesystem::create_directories(folder);
  transfer_sequences::Card target;
  target.put = [&](const std::string& name, const std::string& bytes) { WriteBytes(folder / name, bytes); };
  target.path = [](const std::string& name) { return "/mnt/usbdrive/sekwencja/" + name; };
  target.closedEarly = {"ls -p /mnt/usbdrive", "/vemo/ipconfig --show", "date -u -Iseconds"};
  target.command = "ls -p /mnt/usbdrive/sekwencja/";
  target.output = "seq-empty.avi\nseq-first.avi\nseq-last.avi\n";
  transfer_sequences::PutSequenceFiles(target);
  device::SshSession session;
  ASSERT_NO_THROW(Open(session, card));
  for (int round = 0; round < 5 && !HasFailure(); ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    transfer_sequences::FileEmptyFile(session, target);
    transfer_sequences::CommandClosedEarlyThenCommand(session, target);
  }
  // The card's scp ended by itself after each file: the client acknowledged it.
  for (const auto& download : card.Events("scp-download")) EXPECT_EQ(download["ok"], true) << download.dump();
}

// Whatever goes wrong, "/etc/vemo/program.doz" is the previous program or the new one, never a
// mix, and the card is restarted only with the new one in place.
TEST(CardTransfers, ProgramUploadReplacesTheProgramWholeOrNotAtAll) {
  const std::string previous = transfer_sequences::Pattern(400000, 5);
  const std::string next = transfer_sequences::Pattern(300000, 6);
  struct Row {
    const char* what;
    const char* address;
    std::vector<std::string> faults;
    bool replaced;
  } rows[] = {
      {"whole upload", "127.0.0.41", {}, true},
      {"link dropped half-way", "127.0.0.42", {"drop-after=150000"}, false},
      {"card refuses the rename", "127.0.0.43", {"fail-command=mv"}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CardSim card({row.address}, row.faults);
    WriteBytes(card.CardFolder() / "program.doz", previous);
    device::SshSession session;
    ASSERT_NO_THROW(Open(session, card));
    recording::Status status;
    device::OperationContext ctx{session, status, device::RealFiles(), {}};
    ctx.timing.sleep = [](unsigned) {};
    std::string error;
    try {
      device::UploadProgram(ctx, next);
    } catch (const std::exception& e) {
      error = Utf8FromCp1250(e.what());
    }
    const auto upload = card.WaitForLog([](const nlohmann::json& e) { return e["event"] == "scp-upload"; }, 20000);
    ASSERT_TRUE(upload.is_object());
    EXPECT_EQ(upload["path"], "/etc/vemo/program.doz.new");
    std::vector<std::string> commands;
    for (const auto& e : card.Events("exec")) commands.push_back(e["command"]);
    const std::string rename = "mv -f /etc/vemo/program.doz.new /etc/vemo/program.doz";
    if (row.replaced) {
      EXPECT_EQ(error, "");
      EXPECT_TRUE(ReadBytes(card.CardFolder() / "program.doz") == next);
      EXPECT_FALSE(std::filesystem::exists(card.CardFolder() / "program.doz.new"));
      // The send, the rename, then the restart.
      EXPECT_EQ(commands.size(), 3u);
      EXPECT_EQ(commands.size() > 1 ? commands[1] : "", rename);
      EXPECT_EQ(commands.back(), "sync && /vemo/restart");
      EXPECT_EQ(status.Last(), "Plik pomyślnie wysłany");
    } else {
      EXPECT_EQ(error, "Nie powiodło się wysłanie pliku.");
      EXPECT_TRUE(ReadBytes(card.CardFolder() / "program.doz") == previous) << "the previous program is not intact";
      EXPECT_EQ(std::count(commands.begin(), commands.end(), "sync && /vemo/restart"), 0);
      EXPECT_EQ(status.Texts(), (std::vector<std::string>{"Wysyłanie pliku...", "Nie udało się wysłać pliku"}));
    }
  }
}

}  // namespace
