// The operations run over an open SSH session: each one sends the card's commands, reads their
// output, moves files by SCP and reports in the status bar. They throw std::runtime_error with
// the step's message after putting their failure line into the status bar; a card that stops
// answering (a read that times out) fails the step like any other failed read. The Connection
// worker runs them for its requests; trevnactl runs them directly.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/card_text.h"
#include "device/local_files.h"
#include "device/sinks.h"
#include "device/ssh_session.h"

namespace device {

// Waits and clocks, injectable so tests need not sit through the card's restart.
struct DeviceTiming {
  std::function<void(unsigned milliseconds)> sleep;                 // default: the real sleep
  std::function<std::chrono::system_clock::time_point()> now;       // default: the system clock
  void Sleep(unsigned milliseconds) const;
  std::chrono::system_clock::time_point Now() const;
};

struct OperationContext {
  SshSession& session;
  StatusSink& status;
  LocalFiles& files;
  DeviceTiming timing;
};

// Request 1: "/vemo/chpass <user>", answering both prompts with `newPassword`.
void ChangePassword(OperationContext& ctx, const std::string& user, const std::string& newPassword);

// Request 5: the card's network settings ("/vemo/ipconfig --show", "ifconfig eth0").
// An address the card's answer does not hold as four numbers 0..255 is unknown (none); it is
// shown as such and never written back.
struct NetworkSettings {
  std::optional<std::uint32_t> address;
  std::optional<std::uint32_t> netmask;
  std::optional<std::uint32_t> gateway;
  std::optional<std::string> hardwareAddress;
  std::optional<std::string> proto;  // "static", "dhcp"...: as the card names it; none when it does not say
};
// `addressesRead` runs after the first command, before the hardware address is asked for (the
// network dialog fills its address fields at that point).
NetworkSettings ReadNetworkSettings(OperationContext& ctx,
                                    const std::function<void(const NetworkSettings&)>& addressesRead = {});

// Request 7: lines of "ls -p /mnt/usbdrive".
std::vector<std::string> ListArchiveFolders(OperationContext& ctx);
// Request 6: lines of "ls -p /mnt/usbdrive/<folder>".
std::vector<std::string> ListArchiveFiles(OperationContext& ctx, const std::string& folder);
// Request 4, one file: "/mnt/usbdrive/<folder><file>" into archiveRoot + folder + file. Names
// that could leave archiveRoot are refused. A size the card announces that the local disk
// cannot hold is refused before any data is read, naming the file. The file appears only when
// complete.
void DownloadArchiveFile(OperationContext& ctx, const std::string& archiveRoot, const std::string& folder,
                         const std::string& file);
// DownloadArchiveFile that first hands the size the card announces to `wanted`: false ends the
// transfer before any data is read and leaves the local file as it is.
struct ArchiveDownload {
  std::uint64_t size = 0;   // as the card announced it
  bool downloaded = false;  // false: `wanted` declined it
};
ArchiveDownload DownloadArchiveFileIf(OperationContext& ctx, const std::string& archiveRoot, const std::string& folder,
                                      const std::string& file, const std::function<bool(std::uint64_t size)>& wanted);
// `entry`, downloaded when `path` exists locally (as a folder when `folder` is set). An entry
// that IsSafeArchiveName refuses (`names`: the listed parts joined into `path`) is never
// looked up and counts as not downloaded.
ArchiveEntry LocalArchiveEntry(LocalFiles& files, const std::string& entry, const std::string& path, bool folder,
                               const std::string& listedFolder = "");
// What the archive dialog shows for an entry: the name, with "  [S]" when downloaded.
std::string ArchiveItemText(const ArchiveEntry& entry);

// Request 8: "sync && /vemo/restart", then 75 steps of 1 s.
void RestartCard(OperationContext& ctx);
// Request 9: static network settings, then the restart (75 steps of 1 s). Values that would
// make the card unreachable (address 0.0.0.0 or 255.255.255.255, a netmask that is not a run
// of ones then zeros, or 0.0.0.0) are refused before anything is sent.
bool UsableNetworkSettings(std::uint32_t address, std::uint32_t netmask);
void SetNetwork(OperationContext& ctx, std::uint32_t address, std::uint32_t netmask, std::uint32_t gateway);
// Request 10: the program goes by SCP to `paths.incoming` (progress 0..25), "mv -f" puts it in
// place of `paths.program`, then the restart (progress 26..100 over 75 steps of 533 ms). A
// rename that cannot be started, writes to standard error or ends with a status other than 0
// fails like the send ("Nie powiodło się wysłanie pliku."), and no restart is asked for; the
// card's program stays as it was whenever the upload fails.
struct ProgramPaths {
  std::string program = "/etc/vemo/program.doz";       // the program the card loads
  std::string incoming = "/etc/vemo/program.doz.new";  // where a new one arrives first
};
void UploadProgram(OperationContext& ctx, const std::string& programData, const ProgramPaths& paths = {});
// Request 11, first half: the card's program bytes (status "Pobieranie pliku..."). A program
// the card announces above kMaxProgramBytes is refused before it is read.
inline constexpr std::uint64_t kMaxProgramBytes = 16u * 1024 * 1024;
std::string FetchProgram(OperationContext& ctx);
// FetchProgram for a card that may hold no program yet: nothing when the fetch fails because
// "/etc/vemo/program.doz" is not there ("ls -p" of it says so); any other failure is thrown
// as FetchProgram throws it.
std::optional<std::string> FetchProgramIfAny(OperationContext& ctx);
// The lowercase hex SHA-256 of `bytes`.
std::string Sha256Hex(std::string_view bytes);
// Request 11, second half: writes the bytes to `path` (complete or not at all) and reports
// "Plik pomyślnie pobrany".
void StoreProgram(OperationContext& ctx, const std::string& path, const std::string& data);

// The clock check of the idle link.
struct ClockCheckResult {
  enum Outcome {
    NoChannel,    // the first channel could not be opened: the link is gone
    NotStarted,   // "date -u -Iseconds" could not be started
    NoAnswer,     // its output did not come (a read failed or timed out)
    Unreadable,   // the output was too short, did not match, or is no calendar date
    InStep,       // at most 10 s apart: nothing sent
    Corrected,    // more than 10 s apart: "/vemo/setdate ..." sent
    OutOfStep,    // more than 10 s apart, measured only
  } outcome = NoChannel;
  card::CardTime cardTime{};
  // Card minus PC, in 100-ns units.
  std::int64_t offset = 0;
};
// With `correct` false the offset is only measured (nothing is sent).
ClockCheckResult CheckClock(SshSession& session, const DeviceTiming& timing, bool correct = true);

}  // namespace device
