#include "base/file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "base/platform.h"
#include "base/text.h"
#include "support/files.h"

namespace {

std::string TempName(const char* stem) {
  return std::string(TREVNA_BINARY_DIR) + "/" + stem;
}

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(no exception)";
}

TEST(File, WritesReadsAndMeasures) {
  const std::string name = TempName("file_test_plain.bin");
  {
    File file(name, "wb");
    file.Write("abc", 3);
    file.Print("%d-%s", 42, "x");
    file.Close();
  }
  File file(name, "rb");
  EXPECT_EQ(file.Length(), 7u);
  char head[2];
  file.Read(head, 2);
  EXPECT_EQ(file.Length(), 7u);  // measuring keeps the position
  EXPECT_EQ(file.ReadAll(), "c42-x");
  EXPECT_EQ(file.Name(), name);
}

TEST(File, FailuresCarryTheNameInTheSystemText) {
  const std::string missing = TempName("no-such-folder/brak.trv");
  EXPECT_EQ(MessageOf([&] { File f(missing, "rb"); }),
            Cp1250FromUtf8("Nie udało się otworzyć pliku `") + missing + "'.");

  const std::string name = TempName("file_test_short.bin");
  { File f(name, "wb"); f.Write("ab", 2); }
  File file(name, "rb");
  char buffer[3];
  EXPECT_EQ(MessageOf([&] { file.Read(buffer, 3); }),
            Cp1250FromUtf8("Nie udało się odczytać pliku `") + name + "'.");
  EXPECT_EQ(MessageOf([&] { file.Write("x", 1); }),
            Cp1250FromUtf8("Nie udało się zapisać do pliku `") + name + "'.");
}

TEST(File, WidePathsKeepPolishNamesAndNarrowCharByChar) {
  const std::wstring wide = WideFromUtf8(TempName("plik_żółw.txt"));
  { File f(wide, "wb"); f.Write("dane", 4); }
  File byNarrowCp1250(Cp1250FromWide(wide), "rb");
  EXPECT_EQ(byNarrowCp1250.ReadAll(), "dane");
  // The narrow name of a wide path takes characters below 256 as they are, others as "?".
  EXPECT_EQ(NarrowName(L"a\u00F3\u017C.trv"), "a\xF3?.trv");
}

// trevnactl takes its arguments as wide text on Windows, converts them once to UTF-8 and hands
// Windows-1250 names to the file layer: a path with Polish letters survives every step.
TEST(File, WideArgumentsReachTheFileLayer) {
  const std::string utf8Path = TempName("żółw ąę.trv");
  const std::wstring widePath = WideFromUtf8(utf8Path);
  { File f(widePath, "wb"); f.Write("TRV", 3); }
  const wchar_t* argv[] = {L"trevnactl", L"info", widePath.c_str(), L"\U0001F600"};
  const std::vector<std::string> arguments = Utf8FromWideArguments(4, argv);
  ASSERT_EQ(arguments.size(), 4u);
  EXPECT_EQ(arguments[1], "info");
  EXPECT_EQ(arguments[2], utf8Path);
  EXPECT_EQ(arguments[3], "\xF0\x9F\x98\x80");  // a surrogate pair on Windows is one character
  File file(Cp1250FromUtf8(arguments[2]), "rb");
  EXPECT_EQ(file.ReadAll(), "TRV");
}

}  // namespace

namespace {

namespace fs = std::filesystem;
using trevna_test::ReadBytes;
using trevna_test::WriteBytes;

std::size_t Entries(const fs::path& folder) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {}));
}

// What may wait at a name a writer is about to use: planted by someone who may write the
// folder, or left by another writer.
enum class Planted { LinkToAFile, LinkToNothing, File, Folder };

// Plants `kind` at `name`; the link kinds point at `victim`. False where links cannot be made.
bool Plant(Planted kind, const fs::path& name, const fs::path& victim) {
  std::error_code error;
  switch (kind) {
    case Planted::LinkToAFile:
      WriteBytes(victim, "keep me");
      fs::create_symlink(victim, name, error);
      break;
    case Planted::LinkToNothing:
      fs::create_symlink(victim, name, error);
      break;
    case Planted::File:
      WriteBytes(name, "keep me");
      break;
    case Planted::Folder:
      fs::create_directory(name);
      break;
  }
  return !error;
}

TEST(ReplacingFile, NeverWritesThroughWhatIsAlreadyThere) {
  const struct {
    const char* name;
    Planted kind;
  } cases[] = {{"a link to a file", Planted::LinkToAFile},
               {"a link to nothing", Planted::LinkToNothing},
               {"a file", Planted::File},
               {"a folder", Planted::Folder}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const trevna_test::TempFolder folder("planted");
    const fs::path name = folder / "plik.trv", victim = folder / "victim";
    if (!Plant(c.kind, name, victim)) continue;  // no symbolic links on this system
    // Creating a new file at the name fails, whatever is there, and touches nothing.
    errno = 0;
    EXPECT_EQ(platform::CreateNewFile(name.string()), nullptr);
    EXPECT_EQ(errno, EEXIST);
    // The file a link points at keeps its bytes; a link to nothing still points at nothing.
    const std::string victimBytes = c.kind == Planted::LinkToAFile ? "keep me" : "";
    EXPECT_EQ(fs::exists(victim), c.kind == Planted::LinkToAFile);
    EXPECT_EQ(ReadBytes(victim), victimBytes);
    EXPECT_EQ(fs::is_symlink(fs::symlink_status(name)), c.kind == Planted::LinkToAFile || c.kind == Planted::LinkToNothing);

    // A replacement of the name writes beside it and puts a file of its own in its place, not
    // through the link (a folder cannot be replaced: see the failures).
    if (c.kind == Planted::Folder) continue;
    ReplacingFile file(name.string());
    EXPECT_EQ(fs::path(file.TemporaryName()).parent_path(), folder.Path());
    EXPECT_EQ(file.TemporaryName().rfind(name.string() + ".", 0), 0u) << file.TemporaryName();
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file.TemporaryName())));
    file.Write("new");
    file.Commit();
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(name)));
    EXPECT_EQ(ReadBytes(name), "new");
    EXPECT_EQ(fs::exists(victim), c.kind == Planted::LinkToAFile);
    EXPECT_EQ(ReadBytes(victim), victimBytes);
  }
}

TEST(ReplacingFile, WritersOfOneTargetNeverShareATemporaryFile) {
  const trevna_test::TempFolder folder("writers");
  const std::string target = folder.File("dokument.trv");
  WriteBytes(target, "old");
  {
    // Two writers at once: the one that commits last wins, whole.
    ReplacingFile first(target), second(target);
    EXPECT_NE(first.TemporaryName(), second.TemporaryName());
    first.Write("first, part 1; ");
    second.Write("second, whole");
    first.Write("first, part 2");
    second.Commit();
    EXPECT_EQ(ReadBytes(target), "second, whole");
    first.Commit();
    EXPECT_EQ(ReadBytes(target), "first, part 1; first, part 2");
  }
  {
    std::vector<std::unique_ptr<ReplacingFile>> open;
    std::set<std::string> names;
    for (int i = 0; i < 64; ++i) {
      open.push_back(std::make_unique<ReplacingFile>(target));
      names.insert(open.back()->TemporaryName());
    }
    EXPECT_EQ(names.size(), 64u);
  }
  EXPECT_EQ(Entries(folder), 1u);

  // Threads replacing the file over and over while another reads it: every read is one whole
  // version (a block of one letter), never a mixture or a truncated one.
  constexpr int kWriters = 4, kVersions = 25;
  constexpr std::size_t kSize = 64 * 1024;
  std::atomic<int> done{0};
  std::atomic<int> failures{0};
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      for (int v = 0; v < kVersions; ++v) {
        try {
          ReplacingFile file(target);
          file.Write(std::string(kSize, static_cast<char>('a' + (w * kVersions + v) % 26)));
          file.Commit();
        } catch (const std::runtime_error&) {
          ++failures;
        }
      }
      ++done;
    });
  }
  int mixed = 0;
  while (done < kWriters) {
    // A pause between reads: on Windows an open reader holds the renames back.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::ifstream in(target, std::ios::binary);
    if (!in) continue;  // Windows: the name is not opened while a rename holds it
    const std::string seen{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (seen != "first, part 1; first, part 2" &&
        (seen.size() != kSize || seen.find_first_not_of(seen[0]) != std::string::npos)) {
      ++mixed;
    }
  }
  for (std::thread& t : writers) t.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(mixed, 0);
  EXPECT_EQ(ReadBytes(target).size(), kSize);
  EXPECT_EQ(Entries(folder), 1u);
}

TEST(ReplacingFile, AFailureLeavesTheTargetAsItWasAndNoTemporaryFile) {
  enum Failure { Abandoned, MissingFolder, FolderInPlace, DiskRefuses };
  const struct {
    const char* name;
    Failure failure;
    const char* text;  // the failure text, naming the target; none: no failure is reported
  } cases[] = {{"abandoned before Commit", Abandoned, nullptr},
               {"a folder that does not exist", MissingFolder, "Nie udało się otworzyć pliku `"},
               {"a folder in the target's place", FolderInPlace, "Nie udało się zapisać do pliku `"},
               {"the disk refuses the bytes", DiskRefuses, "Nie udało się zapisać do pliku `"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const trevna_test::TempFolder folder("replace-fails");
    std::string target = folder.File("nagranie.avi");
    if (c.failure == MissingFolder) target = folder.File("brak/nagranie.avi");
    if (c.failure == FolderInPlace) fs::create_directory(target);
    if (c.failure == Abandoned || c.failure == DiskRefuses) WriteBytes(target, "old");
#ifndef _WIN32
    rlimit saved{};
    if (c.failure == DiskRefuses) {
      // Files of this process may grow to 4 KiB only: writes beyond fail as on a full disk.
      getrlimit(RLIMIT_FSIZE, &saved);
      std::signal(SIGXFSZ, SIG_IGN);
      rlimit small = saved;
      small.rlim_cur = 4096;
      setrlimit(RLIMIT_FSIZE, &small);
    }
#else
    if (c.failure == DiskRefuses) continue;
#endif
    std::string error;
    try {
      ReplacingFile file(target);
      file.Write(std::string(64 * 1024, 'x'));
      if (c.failure != Abandoned) file.Commit();
    } catch (const std::runtime_error& e) {
      error = e.what();
    }
#ifndef _WIN32
    if (c.failure == DiskRefuses) setrlimit(RLIMIT_FSIZE, &saved);
#endif
    EXPECT_EQ(error, c.text ? Cp1250FromUtf8(c.text) + target + "'." : "");
    switch (c.failure) {
      case MissingFolder:
        EXPECT_EQ(Entries(folder), 0u);
        break;
      case FolderInPlace:
        EXPECT_TRUE(fs::is_directory(target));
        EXPECT_EQ(Entries(folder), 1u);
        break;
      default:
        EXPECT_EQ(ReadBytes(target), "old");
        EXPECT_EQ(Entries(folder), 1u);
    }
  }

  // Used after a failed Commit, or after a successful one, it reports the failure again and
  // touches nothing.
  const trevna_test::TempFolder folder("replace-twice");
  const std::string blocked = folder.File("katalog");
  fs::create_directory(blocked);
  ReplacingFile failed(blocked);
  EXPECT_THROW(failed.Commit(), std::runtime_error);
  EXPECT_EQ(MessageOf([&] { failed.Commit(); }), WriteFailedText(blocked));
  EXPECT_EQ(MessageOf([&] { failed.Write("x"); }), WriteFailedText(blocked));
  const std::string target = folder.File("plik");
  ReplacingFile done(target);
  done.Write("whole");
  done.Commit();
  done.Commit();
  EXPECT_EQ(MessageOf([&] { done.Write("more"); }), WriteFailedText(target));
  EXPECT_EQ(ReadBytes(target), "whole");
}

}  // namespace
