#include "device/device_operations.h"

#include <memory>
#include <stdexcept>
#include <thread>

#include <openssl/evp.h>

#include "base/socket.h"
#include "base/text.h"

namespace device {

namespace {

std::string T(const char* utf8) { return Cp1250FromUtf8(utf8); }

// Runs `body`; on failure puts `failureLine` into the status bar and passes the failure on.
template <class Body>
auto WithFailureLine(OperationContext& ctx, const char* failureLine, Body&& body) -> decltype(body()) {
  try {
    return body();
  } catch (...) {
    ctx.status.ShowStatus(T(failureLine));
    throw;
  }
}

// The lines of an "ls -p" listing. A listing the card did not finish is a failure, never an
// empty or shortened list.
std::vector<std::string> Listing(OperationContext& ctx, const std::string& command) {
  const std::string failed = T("Nie powiodła się próba wylistowania katalogu.");
  SshChannel channel = ctx.session.StartCommand(command, failed);
  std::string text;
  if (!channel.ReadAll(text)) throw std::runtime_error(failed);
  return card::SplitListing(text);
}

void RestartSteps(OperationContext& ctx, int first, unsigned stepMs) {
  for (int i = 0; i < 75; ++i) {
    ctx.status.ShowProgress("", first + i);
    ctx.timing.Sleep(stepMs);
  }
}

}  // namespace

void DeviceTiming::Sleep(unsigned milliseconds) const {
  if (sleep) {
    sleep(milliseconds);
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
}

std::chrono::system_clock::time_point DeviceTiming::Now() const {
  return now ? now() : std::chrono::system_clock::now();
}

void ChangePassword(OperationContext& ctx, const std::string& user, const std::string& newPassword) {
  WithFailureLine(ctx, "Nie udało się zmienić hasła", [&] {
    const std::string failed = T("Nie powiodła się próba zmiany hasła.");
    SshChannel channel = ctx.session.StartCommand("/vemo/chpass " + card::ShellQuoted(user), failed);
    std::string text;
    if (!channel.ReadUntil(text, "New password:")) throw std::runtime_error(failed);
    if (!channel.WriteAll(newPassword + "\n")) throw std::runtime_error(failed);
    text.clear();
    if (!channel.ReadUntil(text, "Retype password:")) throw std::runtime_error(failed);
    if (!channel.WriteAll(newPassword + "\n")) throw std::runtime_error(failed);
    if (!channel.ReadOnce()) throw std::runtime_error(failed);  // the tool's answer, not used
  });
  ctx.status.ShowStatus(T("Hasło zmienione"));
}

NetworkSettings ReadNetworkSettings(OperationContext& ctx,
                                    const std::function<void(const NetworkSettings&)>& addressesRead) {
  const std::string failed = T("Nie powiodła się próba wykonania polecenia.");
  NetworkSettings settings;
  {
    SshChannel channel = ctx.session.StartCommand("/vemo/ipconfig --show", failed);
    std::string text;
    if (!channel.ReadAll(text)) throw std::runtime_error(failed);
    settings.address = card::PackAddress(card::KeyValue(text, "ipaddr"));
    settings.netmask = card::PackAddress(card::KeyValue(text, "netmask"));
    settings.gateway = card::PackAddress(card::KeyValue(text, "gateway"));
    const std::string proto = card::KeyValue(text, "proto");
    if (!proto.empty()) settings.proto = proto;
  }
  if (addressesRead) addressesRead(settings);
  SshChannel channel = ctx.session.StartCommand("ifconfig eth0", failed);
  std::string text;
  if (!channel.ReadUntil(text, "Base address:")) throw std::runtime_error(failed);
  settings.hardwareAddress = card::HardwareAddress(text);
  return settings;
}

std::vector<std::string> ListArchiveFolders(OperationContext& ctx) {
  ctx.status.ShowStatus(T("Pobieranie listy folderów..."));
  return WithFailureLine(ctx, "Nie udało się pobrać listy", [&] { return Listing(ctx, "ls -p /mnt/usbdrive"); });
}

std::vector<std::string> ListArchiveFiles(OperationContext& ctx, const std::string& folder) {
  ctx.status.ShowStatus(T("Pobieranie listy plików..."));
  return WithFailureLine(ctx, "Nie udało się pobrać listy",
                         [&] { return Listing(ctx, "ls -p /mnt/usbdrive/" + card::ShellQuoted(folder)); });
}

ArchiveEntry LocalArchiveEntry(LocalFiles& files, const std::string& entry, const std::string& path, bool folder,
                               const std::string& listedFolder) {
  if (!card::IsSafeArchiveName(entry) || !card::IsSafeArchiveName(listedFolder)) return {entry, false};
  return {entry, folder ? files.IsDirectory(path) : files.Exists(path)};
}

std::string ArchiveItemText(const ArchiveEntry& entry) {
  return entry.downloaded ? entry.name + card::kDownloadedMarker : entry.name;
}

void DownloadArchiveFile(OperationContext& ctx, const std::string& archiveRoot, const std::string& folder,
                         const std::string& file) {
  DownloadArchiveFileIf(ctx, archiveRoot, folder, file, {});
}

ArchiveDownload DownloadArchiveFileIf(OperationContext& ctx, const std::string& archiveRoot, const std::string& folder,
                                      const std::string& file, const std::function<bool(std::uint64_t size)>& wanted) {
  // Thrown from the size callback to end a transfer that is not wanted.
  struct Declined {};
  ArchiveDownload result;
  WithFailureLine(ctx, "Nie udało się pobrać pliku", [&] {
    ctx.status.ShowProgress("Pobieranie '" + folder + file + "'", 0);
    for (const std::string* name : {&folder, &file}) {
      if (!card::IsSafeArchiveName(*name)) throw std::runtime_error(card::UnsafeArchiveNameText(*name));
    }
    ctx.files.CreateFolder(archiveRoot + folder);
    std::unique_ptr<PartialFile> target;
    try {
      ctx.session.Fetch(
          "/mnt/usbdrive/" + folder + file,
          [&](const char* data, std::size_t size) { target->Write(data, size); },
          [&](int position) { ctx.status.ShowProgress("", position); },
          [&](std::uint64_t size) {
            result.size = size;
            if (wanted && !wanted(size)) throw Declined{};
            const std::optional<std::uint64_t> free = ctx.files.FreeSpace(archiveRoot + folder);
            if (free && size > *free) {
              throw std::runtime_error(T("Za mało miejsca na dysku na plik `") + archiveRoot + folder + file + "'.");
            }
            target = std::make_unique<PartialFile>(archiveRoot + folder + file);
          });
    } catch (const Declined&) {
      return;
    }
    if (target) target->Commit();
    result.downloaded = true;
  });
  return result;
}

void RestartCard(OperationContext& ctx) {
  WithFailureLine(ctx, "Nie udało się zrestartować Trevna", [&] {
    ctx.status.ShowProgress(T("Restartowanie Trevna..."), 0);
    SshChannel channel = ctx.session.StartCommand("sync && /vemo/restart", T("Nie powiodła się próba restartu."));
    for (int k = 0; k < 75; ++k) {
      ctx.status.ShowProgress("", 100 * k / 75);
      ctx.timing.Sleep(1000);
    }
  });
  ctx.status.ShowStatus(T("Trevna pomyślnie zrestartowany"));
}

bool UsableNetworkSettings(std::uint32_t address, std::uint32_t netmask) {
  if (address == 0 || address == 0xFFFFFFFFu || netmask == 0) return false;
  const std::uint32_t hosts = ~netmask;
  return (hosts & (hosts + 1)) == 0;  // ones, then zeros
}

void SetNetwork(OperationContext& ctx, std::uint32_t address, std::uint32_t netmask, std::uint32_t gateway) {
  WithFailureLine(ctx, "Nie udało się skonfigurować sieci", [&] {
    if (!UsableNetworkSettings(address, netmask)) {
      throw std::runtime_error(T("Nieprawidłowy adres lub maska sieci: ") + net::DottedAddress(address) + " / " +
                               net::DottedAddress(netmask) + ".");
    }
    ctx.status.ShowProgress(T("Konfigurowanie ustawień sieciowych..."), 0);
    {
      SshChannel channel = ctx.session.StartCommand(
          "/vemo/ipconfig --proto static --ipaddr " + net::DottedAddress(address) + " --netmask " +
              net::DottedAddress(netmask) + " --gateway " + net::DottedAddress(gateway),
          T("Nie powiodła się próba zmiany ustawieć sieciowych."));
    }
    ctx.status.ShowProgress(T("Restartowanie..."), 25);
    SshChannel channel = ctx.session.StartCommand("sync && /vemo/restart", T("Nie powiodła się próba restartu."));
    RestartSteps(ctx, 26, 1000);
  });
  ctx.status.ShowStatus(T("Ustawienia sieciowe skonfigurowane"));
}

void UploadProgram(OperationContext& ctx, const std::string& programData, const ProgramPaths& paths) {
  WithFailureLine(ctx, "Nie udało się wysłać pliku", [&] {
    ctx.status.ShowProgress(T("Wysyłanie pliku..."), 0);
    // The card's scp writes in place: a link lost half-way leaves a mix of two programs in the
    // file it wrote. Only a whole file replaces the program, in one rename.
    ctx.session.Send(paths.incoming, programData, [&](int position) { ctx.status.ShowProgress("", position); });
    ctx.session.RunChecked("mv -f " + card::ShellQuoted(paths.incoming) + " " + card::ShellQuoted(paths.program),
                           T("Nie powiodło się wysłanie pliku."));
    ctx.status.ShowProgress(T("Restartowanie..."), 25);
    SshChannel channel = ctx.session.StartCommand("sync && /vemo/restart", T("Nie powiodła się próba restartu."));
    RestartSteps(ctx, 26, 533);
  });
  ctx.status.ShowStatus(T("Plik pomyślnie wysłany"));
}

std::string FetchProgram(OperationContext& ctx) {
  return WithFailureLine(ctx, "Nie udało się pobrać pliku", [&] {
    ctx.status.ShowProgress(T("Pobieranie pliku..."), 0);
    std::string data;
    ctx.session.Fetch(
        "/etc/vemo/program.doz", [&](const char* bytes, std::size_t size) { data.append(bytes, size); },
        [&](int position) { ctx.status.ShowProgress("", position); },
        [&](std::uint64_t size) {
          if (size > kMaxProgramBytes) {
            throw std::runtime_error(T("Plik `/etc/vemo/program.doz' na karcie jest za duży (") +
                                     std::to_string(size) + T(" bajtów)."));
          }
          data.reserve(static_cast<std::size_t>(size));
        });
    return data;
  });
}

std::optional<std::string> FetchProgramIfAny(OperationContext& ctx) {
  try {
    return FetchProgram(ctx);
  } catch (const std::exception&) {
    // A card that answers "ls -p" for the file without listing it holds no program; one that
    // does not answer, or lists it, failed the fetch itself.
    if (ctx.session.Unusable()) throw;
    std::optional<bool> absent;
    try {
      SshChannel channel = ctx.session.StartCommand("ls -p /etc/vemo/program.doz", "");
      std::string text;
      if (channel.ReadAll(text)) absent = card::SplitListing(text).empty();
    } catch (const std::exception&) {
    }
    if (absent && *absent) return std::nullopt;
    throw;
  }
}

std::string Sha256Hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
    throw std::runtime_error("SHA-256 failed");
  }
  static const char* const kHex = "0123456789abcdef";
  std::string text;
  for (unsigned i = 0; i < length; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 15];
  }
  return text;
}

void StoreProgram(OperationContext& ctx, const std::string& path, const std::string& data) {
  WithFailureLine(ctx, "Nie udało się pobrać pliku", [&] { WriteWholeFile(path, data); });
  ctx.status.ShowStatus(T("Plik pomyślnie pobrany"));
}

ClockCheckResult CheckClock(SshSession& session, const DeviceTiming& timing, bool correct) {
  ClockCheckResult result;
  SshChannel channel = session.OpenChannel();
  if (!channel) return result;
  result.outcome = ClockCheckResult::NotStarted;
  if (!channel.Exec("date -u -Iseconds")) return result;
  std::string text;
  result.outcome = ClockCheckResult::NoAnswer;
  if (!channel.ReadAll(text)) return result;
  const auto cardTime = card::ParseCardDate(text);
  result.outcome = ClockCheckResult::Unreadable;
  if (!cardTime) return result;
  result.cardTime = *cardTime;
  const auto now = timing.Now();
  const std::int64_t pcTicks =
      std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count() * 10;
  const std::int64_t cardTicks = card::SecondsSinceEpoch(*cardTime) * 10000000;
  result.offset = cardTicks - pcTicks;
  const std::int64_t distance = result.offset < 0 ? -result.offset : result.offset;
  result.outcome = ClockCheckResult::InStep;
  if (distance > 100000000 && correct) {
    const std::int64_t pcSeconds = std::chrono::floor<std::chrono::seconds>(now.time_since_epoch()).count();
    const std::string command = card::SetDateCommand(card::TimeFromSeconds(pcSeconds));
    SshChannel second = session.OpenChannel();
    if (second) {
      second.Exec(command);
      timing.Sleep(200);
    }
    result.outcome = ClockCheckResult::Corrected;
  } else if (distance > 100000000) {
    result.outcome = ClockCheckResult::OutOfStep;
  }
  return result;
}

}  // namespace device
