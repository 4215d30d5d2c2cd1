// The simulated cards that ctest starts around a window test program (cardsim-fixture.sh), as
// the fixture's info file describes them; $TREVNA_CARDSIM_INFO names that file. Portable: the
// native tests of the script read it too.
//
//   std::string problem;
//   auto cards = trevna_test::FixtureCards::Read(&problem);   // empty outside ctest's fixture
//   cards->sshPort;  cards->Address("normal");  cards->LogLines(cards->Address("normal"), {"\"login\""});
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace trevna_test {

struct FixtureCards {
  std::uint16_t sshPort = 0, streamPort = 0, announcePort = 0;  // shared by every card
  std::string user, password;
  std::string state;  // the cards' folders, as this program opens it (under Wine a Z: path)
  std::map<std::string, std::uint32_t> cards;  // name -> address, host order

  // The info of $TREVNA_CARDSIM_INFO; empty (with the reason in `problem`) without one.
  static std::optional<FixtureCards> Read(std::string* problem = nullptr) {
    const char* path = std::getenv("TREVNA_CARDSIM_INFO");
    if (!path || !*path) return Fail(problem, "TREVNA_CARDSIM_INFO is not set (run through ctest, which starts the cards)");
    std::ifstream in(path);
    if (!in) return Fail(problem, std::string("cannot read ") + path);
    std::stringstream text;
    text << in.rdbuf();
    std::string why;
    auto cards = Parse(text.str(), &why);
    if (!cards) return Fail(problem, std::string(path) + ": " + why);
    return cards;
  }

  // The info text itself; empty (with the reason) when a value is missing or malformed.
  static std::optional<FixtureCards> Parse(const std::string& text, std::string* problem = nullptr) {
    std::map<std::string, std::string> values;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const auto equals = line.find('=');
      if (equals == std::string::npos || equals == 0) {
        if (!line.empty()) return Fail(problem, "not key=value: " + line);
        continue;
      }
      values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    FixtureCards result;
    struct PortField {
      const char* key;
      std::uint16_t* port;
    } ports[] = {{"ssh", &result.sshPort}, {"stream", &result.streamPort}, {"announce", &result.announcePort}};
    for (const PortField& field : ports) {
      const std::string& value = values[field.key];
      char* end = nullptr;
      const long port = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end || port <= 0 || port > 65535) {
        return Fail(problem, std::string("no port in ") + field.key + "=" + value);
      }
      *field.port = static_cast<std::uint16_t>(port);
    }
    for (const char* key : {"user", "password", "state"}) {
      if (values[key].empty()) return Fail(problem, std::string("no ") + key + "=");
    }
    result.user = values["user"];
    result.password = values["password"];
    result.state = values["state"];
#ifdef _WIN32
    if (result.state.front() == '/') result.state = "Z:" + result.state;
#endif
    for (const auto& [key, value] : values) {
      if (key.rfind("card.", 0) != 0) continue;
      unsigned a = 0, b = 0, c = 0, d = 0;
      char extra = 0;
      if (std::sscanf(value.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &extra) != 4 || a > 255 || b > 255 || c > 255 ||
          d > 255) {
        return Fail(problem, "no address in " + key + "=" + value);
      }
      result.cards[key.substr(5)] = (a << 24) | (b << 16) | (c << 8) | d;
    }
    if (result.cards.empty()) return Fail(problem, "no card.NAME=ADDRESS line");
    return result;
  }

  // The address of the card the fixture named `name`; 0 when it has none of that name.
  std::uint32_t Address(const std::string& name) const {
    const auto found = cards.find(name);
    return found == cards.end() ? 0 : found->second;
  }

  static std::string Dotted(std::uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
  }

  // The folder of the card at `address`, and its log (one JSON object per line).
  std::string CardFolder(std::uint32_t address) const { return state + "/" + Dotted(address); }
  std::string LogPath(std::uint32_t address) const { return CardFolder(address) + "/log.jsonl"; }
  std::string Log(std::uint32_t address) const {
    std::ifstream in(LogPath(address), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // The log lines that contain every one of `parts`.
  std::vector<std::string> LogLines(std::uint32_t address, const std::vector<std::string>& parts) const {
    std::vector<std::string> lines;
    std::istringstream log(Log(address));
    std::string line;
    while (std::getline(log, line)) {
      bool all = true;
      for (const auto& part : parts) all = all && line.find(part) != std::string::npos;
      if (all) lines.push_back(line);
    }
    return lines;
  }

 private:
  static std::nullopt_t Fail(std::string* problem, const std::string& why) {
    if (problem) *problem = why;
    return std::nullopt;
  }
};

}  // namespace trevna_test
