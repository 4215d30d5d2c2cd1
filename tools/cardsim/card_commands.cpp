#include "card_commands.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <vector>

#include "card.h"
#include "card_paths.h"
#include "net.h"
#include "scp_transfer.h"
#include "shell_words.h"

namespace cardsim {
namespace {
namespace fs = std::filesystem;
using Words = std::vector<std::string>;

bool Is(const Words& words, std::initializer_list<const char*> expected) {
  if (words.size() != expected.size()) return false;
  std::size_t i = 0;
  for (const char* e : expected) {
    if (words[i++] != e) return false;
  }
  return true;
}

int Date(CommandContext& c) {
  const std::time_t now = static_cast<std::time_t>(c.card.ClockNow());
  std::tm tm{};
  gmtime_r(&now, &tm);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S+00:00\n", &tm);
  c.io.Write(text);
  return 0;
}

int SetDate(CommandContext& c, const std::string& value) {
  unsigned year, month, day, hour, minute, second;
  char extra = 0;
  if (std::sscanf(value.c_str(), "%4u-%2u-%2u %2u:%2u:%2u%c", &year, &month, &day, &hour, &minute, &second,
                  &extra) != 6 ||
      year < 1970 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) {
    c.io.WriteError("setdate: invalid date '" + value + "'\n");
    return 1;
  }
  std::tm tm{};
  tm.tm_year = static_cast<int>(year) - 1900;
  tm.tm_mon = static_cast<int>(month) - 1;
  tm.tm_mday = static_cast<int>(day);
  tm.tm_hour = static_cast<int>(hour);
  tm.tm_min = static_cast<int>(minute);
  tm.tm_sec = static_cast<int>(second);
  c.card.SetClock(static_cast<long long>(timegm(&tm)));
  c.card.Log().Write("clock-set", {{"utc", value}});
  return 0;
}

int ChangePassword(CommandContext& c, const std::string& user) {
  if (user != c.card.Config().user) {
    c.io.WriteError("chpass: unknown user " + user + "\n");
    return 1;
  }
  ChannelReader reader(c.io);
  std::string first, second;
  c.io.Write("New password: ");
  if (reader.ReadLine(&first, 256) != ChannelReader::Result::Ok) {
    c.io.WriteError("\nchpass: no password given\n");
    return 1;
  }
  c.io.Write("\nRetype password: ");
  if (reader.ReadLine(&second, 256) != ChannelReader::Result::Ok) {
    c.io.WriteError("\nchpass: no password given\n");
    return 1;
  }
  if (first != second) {
    c.io.Write("\nPasswords don't match\n");
    c.card.Log().Write("password", {{"user", user}, {"changed", false}, {"reason", "mismatch"}});
    return 1;
  }
  if (first.empty()) {
    c.io.Write("\nPassword unchanged: empty password\n");
    c.card.Log().Write("password", {{"user", user}, {"changed", false}, {"reason", "empty"}});
    return 1;
  }
  c.card.SetPassword(user, first);
  c.io.Write("\nPassword for " + user + " changed\n");
  c.card.Log().Write("password", {{"user", user}, {"changed", true}});
  return 0;
}

int ShowNetwork(CommandContext& c) {
  const NetworkSettings n = c.card.Network();
  c.io.Write("; eth0 configuration\nproto = static\nipaddr = " + n.ipaddr + "\nnetmask = " + n.netmask +
             "\ngateway = " + n.gateway + "\n");
  return 0;
}

int SetNetwork(CommandContext& c, const Words& words) {
  NetworkSettings settings = c.card.Network();
  std::string proto;
  for (std::size_t i = 1; i < words.size(); i += 2) {
    if (i + 1 >= words.size()) {
      c.io.WriteError("ipconfig: option " + words[i] + " needs a value\n");
      return 1;
    }
    const std::string& key = words[i];
    const std::string& value = words[i + 1];
    std::uint32_t dummy = 0;
    if (key == "--proto") {
      proto = value;
      continue;
    }
    if (key != "--ipaddr" && key != "--netmask" && key != "--gateway") {
      c.io.WriteError("ipconfig: unknown option " + key + "\n");
      return 1;
    }
    if (!ParseIpv4(value, &dummy)) {
      c.io.WriteError("ipconfig: bad address " + value + "\n");
      return 1;
    }
    (key == "--ipaddr" ? settings.ipaddr : key == "--netmask" ? settings.netmask : settings.gateway) = value;
  }
  if (proto != "static") {
    c.io.WriteError("ipconfig: only --proto static is supported\n");
    return 1;
  }
  c.card.SetNetwork(settings);
  c.card.Log().Write("network-set",
                     {{"ipaddr", settings.ipaddr}, {"netmask", settings.netmask}, {"gateway", settings.gateway}});
  return 0;
}

int Ifconfig(CommandContext& c) {
  const NetworkSettings n = c.card.Network();
  std::string text;
  text += "eth0      Link encap:Ethernet  HWaddr " + c.card.HardwareAddress() + "  \n";
  text += "          inet addr:" + n.ipaddr + "  Bcast:" + n.ipaddr.substr(0, n.ipaddr.rfind('.')) +
          ".255  Mask:" + n.netmask + "\n";
  text += "          UP BROADCAST RUNNING MULTICAST  MTU:1500  Metric:1\n";
  text += "          RX packets:182344 errors:0 dropped:0 overruns:0 frame:0\n";
  text += "          TX packets:240117 errors:0 dropped:0 overruns:0 carrier:0\n";
  text += "          collisions:0 txqueuelen:1000 \n";
  text += "          RX bytes:21634802 (20.6 MiB)  TX bytes:318804411 (304.0 MiB)\n";
  text += "          Interrupt:29 Base address:0x6000 \n\n";
  c.io.Write(text);
  return 0;
}

// "mv [-f] SRC DST" between the card's files (program, new program, drive), as the card's shell
// does it: one rename; a folder as DST takes SRC under its own name.
int Move(CommandContext& c, const Words& words) {
  std::vector<std::string> paths;
  for (std::size_t i = 1; i < words.size(); ++i) {
    if (words[i] == "-f" && paths.empty()) continue;
    if (!words[i].empty() && words[i][0] == '-' && paths.empty()) {
      c.io.WriteError("mv: unrecognized option '" + words[i] + "'\n");
      return 1;
    }
    paths.push_back(words[i]);
  }
  if (paths.size() != 2) {
    c.io.WriteError("mv: need a source and a target\n");
    return 1;
  }
  const std::string& from = paths[0];
  const std::string& to = paths[1];
  auto failed = [&](const std::string& why) {
    c.card.Log().Write("mv", {{"from", from}, {"to", to}, {"ok", false}, {"error", why}});
    c.io.WriteError("mv: can't rename '" + from + "': " + why + "\n");
    return 1;
  };
  const auto source = CardPath(c.card, from);
  auto target = CardPath(c.card, to);
  if (!source || !target || *source == c.card.DriveFolder()) return failed("Permission denied");
  std::error_code error;
  if (!fs::exists(*source, error)) return failed("No such file or directory");
  if (fs::is_directory(*target, error)) *target /= source->filename();
  fs::rename(*source, *target, error);
  if (error) return failed(error.message());
  c.card.Log().Write("mv", {{"from", from}, {"to", to}, {"ok", true}});
  return 0;
}

int List(CommandContext& c, const std::string& path) {
  const auto local = CardPath(c.card, path);
  std::error_code error;
  if (!local || !fs::exists(*local, error)) {
    c.io.WriteError("ls: " + path + ": No such file or directory\n");
    return 1;
  }
  if (!fs::is_directory(*local, error)) {
    c.io.Write(path + "\n");
    return 0;
  }
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(*local, error)) {
    std::string name = entry.path().filename().string();
    if (name.empty() || name[0] == '.' || name.find('\n') != std::string::npos) continue;
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".part") == 0) continue;  // a file being written
    if (entry.is_directory(error)) name += '/';
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  std::string text;
  for (const std::string& name : names) text += name + "\n";
  c.io.Write(text);
  c.card.Log().Write("list", {{"path", path}, {"entries", names.size()}});
  return 0;
}

}  // namespace

int RunCommand(CommandContext& c, const std::string& line) {
  const auto parsed = SplitShellWords(line);
  if (!parsed) {
    c.io.WriteError("sh: syntax error: unterminated quoted string\n");
    return 2;
  }
  const Words& w = *parsed;
  if (w.empty()) return 0;
  if (MatchesCommandWord(c.card.Config().faults.failCommands, line)) {
    c.io.WriteError(w[0] + ": Input/output error (fault fail-command)\n");
    return 1;
  }
  if (Is(w, {"date", "-u", "-Iseconds"})) return Date(c);
  if (w.size() == 2 && w[0] == "/vemo/setdate") return SetDate(c, w[1]);
  if (w.size() == 2 && w[0] == "/vemo/chpass") return ChangePassword(c, w[1]);
  if (Is(w, {"/vemo/ipconfig", "--show"})) return ShowNetwork(c);
  if (w.size() >= 2 && w[0] == "/vemo/ipconfig") return SetNetwork(c, w);
  if (Is(w, {"ifconfig", "eth0"})) return Ifconfig(c);
  if (Is(w, {"sync", "&&", "/vemo/restart"}) || Is(w, {"/vemo/restart"})) {
    c.restartAfter = true;
    return 0;
  }
  if (w.size() == 3 && w[0] == "ls" && w[1] == "-p") return List(c, w[2]);
  if (w[0] == "scp") return RunScp(c, Words(w.begin() + 1, w.end()));
  if (w[0] == "mv") return Move(c, w);
  if (w[0] == "sync") return 0;
  c.io.WriteError("sh: " + w[0] + ": not found\n");
  return 127;
}

bool MatchesCommandWord(const std::vector<std::string>& words, const std::string& line) {
  const auto lineWords = SplitShellWords(line);
  if (!lineWords) return false;
  for (const std::string& word : *lineWords) {
    for (const std::string& match : words) {
      if (word == match) return true;
      if (word.size() > match.size() && word.compare(word.size() - match.size(), match.size(), match) == 0 &&
          word[word.size() - match.size() - 1] == '/') {
        return true;
      }
    }
  }
  return false;
}

}  // namespace cardsim
