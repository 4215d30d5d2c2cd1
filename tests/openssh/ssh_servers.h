// The real SSH servers of the openssh tests, as their ctest fixtures describe them
// (tests/openssh/sshd-fixture.sh, dropbear-fixture.sh: key=value lines in an info file named by
// an environment variable). Portable: natively and under Wine.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>

#include "base/socket.h"

namespace ssh_servers {

struct SshServer {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
  std::string user;
  std::string password;
  std::filesystem::path log;
  std::string upload;       // server-side folder for uploads; the same path on this machine
  std::string fingerprint;  // of the host key, as ssh-keygen -l -E sha256 shows it
};

// Reads the info file that `variable` names; false when the variable is not set (not run
// under ctest).
inline bool ReadServer(const char* variable, SshServer* server) {
  const char* info = std::getenv(variable);
  if (!info || !*info) return false;
  std::ifstream in(info);
  if (!in) throw std::runtime_error(std::string("cannot read the server fixture's info file ") + info);
  std::map<std::string, std::string> values;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  if (!net::ParseDottedAddress(values["host"], &server->address)) {
    throw std::runtime_error(std::string("no host address in ") + info);
  }
  server->port = static_cast<std::uint16_t>(std::stoi(values.at("port")));
  server->user = values.at("user");
  server->password = values.at("password");
  server->log = values.at("log");
  server->upload = values.at("upload");
  server->fingerprint = values["fingerprint"];
  return true;
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace ssh_servers
