// trevnactl refusing input it cannot carry out as given, before it talks to the card or writes a
// file: passwords outside Windows-1250, empty archive names, package entries that Windows takes
// for devices; and the paths it reports for what it downloaded.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/chunk.h"
#include "base/text.h"
#include "doc/document.h"
#include "doc/document_file.h"
#include "support/cardsim.h"
#include "support/files.h"
#include "support/recording_updates.h"
#include "cli_support.h"

namespace {

using trevna_test::CardSim;
using trevna_test::ReadBytes;
using trevna_test::RunTrevnactl;
using trevna_test::TempFolder;
using trevna_test::WriteBytes;

const char* const kCodePageMessage = "Hasło zawiera znaki spoza strony kodowej Windows-1250.";

class CliInputTest : public trevna_test::CardSimSuite<CliInputTest> {
 protected:
  std::vector<std::string> CardArgs() const {
    return {"--user", CardSim::kUser, "--ssh-port", std::to_string(card_->SshPort())};
  }
  // SSH connections the card has seen so far.
  std::size_t Connections() const { return card_->Events("ssh-connect").size(); }
};

using cli_test::Join;

// A password the card could not get as written never reaches it: not the login's, not the new
// one of passwd. The first row shows the card is there to be reached.
TEST_F(CliInputTest, PasswordsOutsideWindows1250AreRefusedBeforeTheLogin) {
  const TempFolder folder("cli-password");
  const auto file = [&](const std::string& name, const std::string& bytes) {
    WriteBytes(folder / name, bytes + "\n");
    return (folder / name).string();
  };
  const std::string good = file("good", CardSim::kPassword);
  const struct {
    const char* what;
    std::vector<std::string> args;
    std::string environment;  // TREVNA_PASSWORD, or "TREVNA_PASSWORD" to remove it
    int exitCode;
  } rows[] = {
      {"a password the card takes", {"time", "--password-file", good}, "TREVNA_PASSWORD", 0},
      {"Cyrillic password file", {"time", "--password-file", file("cyr", "пароль")}, "TREVNA_PASSWORD", 2},
      {"emoji and CJK in the file", {"time", "--password-file", file("emoji", "a\xF0\x9F\x98\x80中")}, "TREVNA_PASSWORD", 2},
      {"a Windows-1250 file, not UTF-8", {"time", "--password-file", file("cp1250", "has\xB3o")}, "TREVNA_PASSWORD", 2},
      {"Cyrillic environment variable", {"time"}, "TREVNA_PASSWORD=пароль", 2},
      {"fleet command", {"restart", "--password-file", file("cyr2", "пароль")}, "TREVNA_PASSWORD", 2},
      {"Cyrillic new password",
       {"passwd", "--password-file", good, "--new-password-file", file("new", "новый")},
       "TREVNA_PASSWORD",
       2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    std::vector<std::string> args = row.args;
    args.insert(args.begin() + 1, card_->Address());
    const std::size_t before = Connections();
    const auto run = RunTrevnactl(Join(args, CardArgs()), {row.environment});
    EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
    if (row.exitCode == 0) {
      EXPECT_GT(Connections(), before);
      continue;
    }
    EXPECT_NE(run.err.find(kCodePageMessage), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(Connections(), before) << "the card was reached";
  }
  EXPECT_TRUE(card_->Events("password").empty()) << "no password change reached the card";
}

// archive-get: empty names are a usage error that never reaches the card; a download into a
// folder that did not exist yet reports the path it wrote, separator included.
TEST_F(CliInputTest, ArchiveGetNamesAndReportedPaths) {
  std::string day;
  for (const auto& entry : std::filesystem::directory_iterator(card_->CardFolder() / "usbdrive")) {
    if (entry.is_directory()) day = entry.path().filename().string();
  }
  ASSERT_FALSE(day.empty());
  std::vector<std::string> recordings;
  for (const auto& entry : std::filesystem::directory_iterator(card_->CardFolder() / "usbdrive" / day)) {
    recordings.push_back(entry.path().filename().string());
  }
  ASSERT_FALSE(recordings.empty());
  const TempFolder folder("cli-archive-get");
  const std::string out = (folder / "out1").string();
  const struct {
    std::vector<std::string> names;  // FOLDER FILE...
    int exitCode;
    std::string stdoutText;
    std::string stderrPart;
  } rows[] = {
      {{"", recordings[0]}, 2, "", "no archive folder given"},
      {{day + "/", recordings[0], ""}, 2, "", "an empty file name"},
      {{day, recordings[0]}, 0, out + "/" + day + "/" + recordings[0] + "\n", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.names));
    const std::size_t before = Connections();
    std::vector<std::string> args = {"archive-get", card_->Address()};
    args.insert(args.end(), row.names.begin(), row.names.end());
    const auto run = RunTrevnactl(Join(Join(args, {"-o", out}), CardArgs()), {"TREVNA_PASSWORD=" + card_->Password()});
    EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
    EXPECT_EQ(run.out, row.stdoutText);
    EXPECT_NE(run.err.find(row.stderrPart), std::string::npos) << run.err;
    if (row.exitCode != 0) {
      EXPECT_EQ(Connections(), before) << "the card was reached";
    }
  }
  EXPECT_TRUE(ReadBytes(folder / "out1" / day / recordings[0]) ==
              ReadBytes(card_->CardFolder() / "usbdrive" / day / recordings[0]));
}

// `package` writes the stored entries as files; a name that Windows would open as a device, or
// shorten, is refused before anything is written.
TEST(CliPackageTest, EntryNamesWindowsTakesForDevicesAreRefused) {
  const TempFolder folder("cli-package");
  std::string base;
  {
    RecordingUpdates updates;
    Document document(updates);
    document.NewRenderState();
    SaveDocument(document, Cp1250FromUtf8(folder.File("most.trv")));
    const std::string bytes = ReadBytes(folder / "most.trv");
    std::string_view stored;
    ASSERT_TRUE(FindStoredPackage(bytes, stored));
    base = bytes.substr(0, bytes.size() - stored.size() - 8);  // the package is the last chunk
  }
  const struct {
    std::string name;
    bool written;
  } rows[] = {
      {"config.txt", true}, {"COM1", false},   {"CON", false},     {"NUL.txt", false},  {"name.", false},
      {"name ", false},     {"CONIN$", false}, {"conout$", false}, {"COM0.bmp", false}, {"lpt0", false},
  };
  int n = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::string package;
    const std::size_t entry = BeginChunk(package, 12);
    AppendChunk(package, 13, row.name);
    AppendChunk(package, 14, "x");
    EndChunk(package, entry);
    std::string file = base;
    AppendChunk(file, 11, package);
    const std::string doc = folder.File("doc" + std::to_string(n) + ".trv");
    const std::filesystem::path out = folder / ("out" + std::to_string(n++));
    WriteBytes(doc, file);
    const auto run = RunTrevnactl({"package", doc, out.string()});
    if (row.written) {
      EXPECT_EQ(run.exitCode, 0) << run.err;
      EXPECT_EQ(ReadBytes(out / row.name), "x");
      continue;
    }
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Niedozwolona nazwa pliku w pakiecie programu: `" + row.name + "'."), std::string::npos)
        << run.err;
    EXPECT_FALSE(std::filesystem::exists(out)) << "nothing is written";
  }
}

}  // namespace
