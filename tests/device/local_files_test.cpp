#include "device/local_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "base/text.h"
#include "device/connection.h"
#include "device/device_operations.h"
#include "support/files.h"
#include "support/recording_device_sinks.h"

namespace {

namespace fs = std::filesystem;

std::string Narrow(const fs::path& path) {
  const auto u8 = path.u8string();
  return Cp1250FromUtf8(std::string(u8.begin(), u8.end()));
}

using trevna_test::ReadBytes;

TEST(PartialFileTest, AppearsOnlyWhenCommitted) {
  const trevna_test::TempFolder temp("partial");
  const fs::path& folder = temp.Path();
  const fs::path target = folder / "nagranie.avi";
  { std::ofstream(target, std::ios::binary) << "old"; }
  {
    device::PartialFile file(Narrow(target));
    file.Write("new data", 8);
    // Interrupted: the old file stays, the temporary goes.
  }
  EXPECT_EQ(ReadBytes(target), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);
  {
    device::PartialFile file(Narrow(target));
    file.Write("new ", 4);
    file.Write("data", 4);
    EXPECT_EQ(ReadBytes(target), "old");
    file.Commit();
  }
  EXPECT_EQ(ReadBytes(target), "new data");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);
}

TEST(PartialFileTest, TwoDownloadsOfOneFileAndAPlantedLinkNeverMix) {
  const trevna_test::TempFolder temp("partial-two");
  const fs::path& folder = temp.Path();
  const fs::path target = folder / "nagranie.avi", victim = folder / "victim";
  trevna_test::WriteBytes(victim, "keep me");
  // Someone who may write the folder links the name downloads used for their partial file.
  std::error_code noLinks;
  fs::create_symlink(victim, folder / "nagranie.avi.part~", noLinks);
  device::PartialFile first(Narrow(target));
  device::PartialFile second(Narrow(target));
  first.Write("first ", 6);
  second.Write("second", 6);
  first.Write("whole", 5);
  second.Commit();
  EXPECT_EQ(ReadBytes(target), "second");
  first.Commit();
  EXPECT_EQ(ReadBytes(target), "first whole");
  EXPECT_EQ(ReadBytes(victim), "keep me");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), noLinks ? 2 : 3);
}

TEST(PartialFileTest, OpenFailureNamesTheFinalFile) {
  const trevna_test::TempFolder temp("partial-missing");
  const fs::path& folder = temp.Path();
  const std::string target = Narrow(folder / "brak" / "plik.avi");
  try {
    device::PartialFile file(target);
    FAIL() << "opening in a missing folder should fail";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), OpenFailedText(target));
  }
}

TEST(LocalFilesTest, MarkersFollowWhatExists) {
  const trevna_test::TempFolder temp("markers");
  const fs::path& folder = temp.Path();
  fs::create_directory(folder / "2026-12-01");
  { std::ofstream(folder / "plik.avi") << "x"; }
  auto& files = device::RealFiles();
  const std::string root = Narrow(folder) + "/";
  const auto Marked = [&](const std::string& entry, bool folder) {
    return device::ArchiveItemText(device::LocalArchiveEntry(files, entry, root + entry, folder));
  };
  EXPECT_EQ(Marked("2026-12-01/", true), "2026-12-01/  [S]");
  EXPECT_EQ(Marked("2026-12-02/", true), "2026-12-02/");
  // A plain file of a folder's name is no downloaded folder; for files any object counts.
  EXPECT_EQ(Marked("plik.avi", true), "plik.avi");
  EXPECT_EQ(Marked("plik.avi", false), "plik.avi  [S]");
  EXPECT_EQ(Marked("2026-12-01", false), "2026-12-01  [S]");
  files.CreateFolder(root + "nowy");
  files.CreateFolder(root + "nowy");  // existing: fine
  EXPECT_TRUE(fs::is_directory(folder / "nowy"));
}

}  // namespace
