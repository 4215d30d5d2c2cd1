#include "card.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <libssh/libssh.h>
#include <libssh/server.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>

#include "archive_drive.h"
#include "live_stream.h"
#include "ssh_service.h"

namespace cardsim {
namespace fs = std::filesystem;
using nlohmann::json;

Card::Card(CardConfig config) : config_(std::move(config)) {
  password_ = config_.password;
  clockOffset_ = config_.clockOffsetSeconds;
  network_ = {config_.address, "255.0.0.0", "127.0.0.1"};
  program_ = std::make_shared<Program>();
  started_ = std::chrono::steady_clock::now();
}

Card::~Card() {
  Stop();
  if (sshBind_) ssh_bind_free(sshBind_);
}

void Card::Start() {
  fs::create_directories(config_.folder);
  log_ = std::make_unique<EventLog>(config_.folder / "log.jsonl", config_.address, config_.logToStdout);
  PrepareHostKeys();
  LoadState();
  const int recordings = PrepareArchiveDrive(DriveFolder());
  if (recordings > 0) log_->Write("archive-prepared", {{"recordings", recordings}});
  LoadProgram(false);

  sshBind_ = ssh_bind_new();
  if (!sshBind_) throw std::runtime_error("ssh_bind_new failed");
  const std::string ed25519 = (config_.folder / "ssh_host_ed25519_key").string();
  const std::string rsa = (config_.folder / "ssh_host_rsa_key").string();
  if (ssh_bind_options_set(sshBind_, SSH_BIND_OPTIONS_HOSTKEY, ed25519.c_str()) != SSH_OK ||
      ssh_bind_options_set(sshBind_, SSH_BIND_OPTIONS_HOSTKEY, rsa.c_str()) != SSH_OK) {
    throw std::runtime_error(std::string("cannot load the host keys: ") + ssh_get_error(sshBind_));
  }

  sshPort_ = config_.sshPort;
  streamPort_ = config_.streamPort;
  OpenListeners();
  // Port 0 asks for a free port; keep the one found so that the card comes back on it
  // after a restart.
  sshPort_ = LocalPort(sshListener_.Get());
  streamPort_ = LocalPort(streamListener_.Get());
  log_->Write("start", {{"alias", config_.alias},
                        {"user", config_.user},
                        {"ssh_port", sshPort_},
                        {"stream_port", streamPort_},
                        {"announce_to", config_.announceHost + ":" + std::to_string(config_.announcePort)}});
  acceptThread_ = std::thread([this] { AcceptLoop(); });
  announceThread_ = std::thread([this] { AnnounceLoop(); });
}

void Card::Stop() {
  if (stopping_.exchange(true)) return;
  if (acceptThread_.joinable()) acceptThread_.join();
  if (announceThread_.joinable()) announceThread_.join();
  CloseListeners();
  DropConnections();
  std::unique_lock<std::mutex> lock(workersMutex_);
  // Workers notice the stop within a few hundred milliseconds once their sockets are shut
  // down; drop again now and then in case one registered in the meantime.
  while (workers_ > 0) {
    if (!workersDone_.wait_for(lock, std::chrono::milliseconds(500), [this] { return workers_ == 0; })) {
      for (int fd : connections_) ShutdownSocket(fd);
    }
  }
  if (log_) log_->Write("stop");
}

void Card::PrepareHostKeys() {
  const struct {
    const char* file;
    ssh_keytypes_e type;
    int bits;
  } keys[] = {{"ssh_host_ed25519_key", SSH_KEYTYPE_ED25519, 0}, {"ssh_host_rsa_key", SSH_KEYTYPE_RSA, 2048}};
  for (const auto& k : keys) {
    const fs::path path = config_.folder / k.file;
    if (config_.newHostKey) fs::remove(path);
    if (fs::exists(path)) {
      // Keys kept by older runs were left readable by everyone, which ssh-keygen refuses.
      fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
      continue;
    }
    ssh_key key = nullptr;
    if (ssh_pki_generate(k.type, k.bits, &key) != SSH_OK) throw std::runtime_error("cannot generate a host key");
    const int rc = ssh_pki_export_privkey_file(key, nullptr, nullptr, nullptr, path.c_str());
    ssh_key_free(key);
    if (rc != SSH_OK) throw std::runtime_error("cannot write the host key " + path.string());
    // A private key is its owner's alone, as sshd and ssh-keygen expect.
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
    log_->Write("host-key-generated", {{"file", path.string()}});
  }
}

void Card::LoadState() {
  const fs::path path = config_.folder / "state.json";
  if (!fs::exists(path)) {
    SaveState();
    return;
  }
  try {
    std::ifstream in(path);
    const json state = json::parse(in);
    const json& net = state.at("network");
    network_ = {net.at("ipaddr").get<std::string>(), net.at("netmask").get<std::string>(),
                net.at("gateway").get<std::string>()};
  } catch (const std::exception& e) {
    log_->Write("state-error", {{"file", path.string()}, {"error", e.what()}});
  }
}

void Card::SaveState() {
  json state;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    state["network"] = {{"ipaddr", network_.ipaddr}, {"netmask", network_.netmask}, {"gateway", network_.gateway}};
  }
  const fs::path path = config_.folder / "state.json";
  const fs::path temp = config_.folder / "state.json.tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << state.dump(2) << "\n";
  }
  fs::rename(temp, path);
}

void Card::LoadProgram(bool keepPreviousOnError) {
  const fs::path path = ProgramFile();
  if (!fs::exists(path)) {
    log_->Write("program", {{"file", path.string()}, {"detectors", 0}, {"note", "no program file"}});
    return;
  }
  std::vector<std::uint8_t> bytes;
  {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  try {
    auto program = std::make_shared<Program>(ParseProgramFile(bytes));
    json detectors = json::array();
    for (const ProgramDetector& d : program->detectors) {
      detectors.push_back({{"position", d.position}, {"track", d.track}, {"number", d.number},
                           {"pixels", d.areaPixels}, {"contrast", d.contrast}});
    }
    log_->Write("program", {{"file", path.string()},
                            {"size", bytes.size()},
                            {"alias", program->alias},
                            {"detectors", program->detectors.size()},
                            {"areas", detectors}});
    std::lock_guard<std::mutex> lock(stateMutex_);
    program_ = std::move(program);
  } catch (const std::exception& e) {
    // A card that cannot read its new program keeps running the one it had.
    log_->Write("program-error", {{"file", path.string()},
                                  {"size", bytes.size()},
                                  {"error", e.what()},
                                  {"kept_previous", keepPreviousOnError}});
  }
}

bool Card::CheckLogin(const std::string& user, const std::string& password) const {
  if (config_.faults.refusePassword) return false;
  std::lock_guard<std::mutex> lock(stateMutex_);
  return user == config_.user && password == password_;
}

bool Card::SetPassword(const std::string& user, const std::string& password) {
  if (user != config_.user) return false;
  std::lock_guard<std::mutex> lock(stateMutex_);
  password_ = password;
  return true;
}

long long Card::ClockNow() const {
  std::lock_guard<std::mutex> lock(stateMutex_);
  return static_cast<long long>(std::time(nullptr)) + clockOffset_;
}

void Card::SetClock(long long unixSeconds) {
  std::lock_guard<std::mutex> lock(stateMutex_);
  clockOffset_ = unixSeconds - static_cast<long long>(std::time(nullptr));
}

NetworkSettings Card::Network() const {
  std::lock_guard<std::mutex> lock(stateMutex_);
  return network_;
}

void Card::SetNetwork(const NetworkSettings& settings) {
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    network_ = settings;
  }
  SaveState();
}

std::string Card::HardwareAddress() const {
  std::uint32_t addr = 0;
  ParseIpv4(config_.address, &addr);
  const std::uint32_t host = ntohl(addr);
  char text[24];
  std::snprintf(text, sizeof text, "00:1E:C0:%02X:%02X:%02X", (host >> 16) & 0xFF, (host >> 8) & 0xFF, host & 0xFF);
  return text;
}

std::shared_ptr<const Program> Card::CurrentProgram() const {
  std::lock_guard<std::mutex> lock(stateMutex_);
  return program_;
}

double Card::SceneSeconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
}

void Card::RequestRestart() { restartRequested_ = true; }

bool Card::Register(int fd) {
  std::lock_guard<std::mutex> lock(workersMutex_);
  if (stopping_ || down_) return false;
  connections_.insert(fd);
  return true;
}

void Card::Unregister(int fd) {
  std::lock_guard<std::mutex> lock(workersMutex_);
  connections_.erase(fd);
}

void Card::Spawn(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> lock(workersMutex_);
    ++workers_;
  }
  std::thread([this, work = std::move(work)] {
    try {
      work();
    } catch (const std::exception& e) {
      log_->Write("error", {{"error", e.what()}});
    }
    std::lock_guard<std::mutex> lock(workersMutex_);
    --workers_;
    workersDone_.notify_all();
  }).detach();
}

void Card::OpenListeners() {
  sshListener_ = ListenTcp(config_.address, sshPort_);
  streamListener_ = ListenTcp(config_.address, streamPort_);
}

void Card::CloseListeners() {
  sshListener_.Reset();
  streamListener_.Reset();
}

void Card::DropConnections() {
  std::lock_guard<std::mutex> lock(workersMutex_);
  for (int fd : connections_) ShutdownSocket(fd);
}

bool Card::SleepUnlessStopping(int milliseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!stopping_) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) return true;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(end - now, std::chrono::milliseconds(50)));
  }
  return false;
}

void Card::Restart() {
  log_->Write("restart", {{"down_seconds", config_.restartSeconds}});
  // Let the answer of the restart command reach the client before the link goes.
  if (!SleepUnlessStopping(300)) return;
  {
    std::lock_guard<std::mutex> lock(workersMutex_);
    down_ = true;
  }
  CloseListeners();
  DropConnections();
  if (!SleepUnlessStopping(config_.restartSeconds * 1000)) return;
  LoadProgram(true);
  for (int attempt = 0;; ++attempt) {
    try {
      OpenListeners();
      break;
    } catch (const std::exception& e) {
      // The port may still be held by a connection in TIME_WAIT on some systems.
      if (attempt >= 50) {
        log_->Write("error", {{"error", e.what()}});
        return;
      }
      if (!SleepUnlessStopping(100)) return;
    }
  }
  down_ = false;
  log_->Write("restarted");
}

void Card::AcceptLoop() {
  while (!stopping_) {
    if (restartRequested_.exchange(false)) {
      Restart();
      continue;
    }
    pollfd fds[2] = {{sshListener_.Get(), POLLIN, 0}, {streamListener_.Get(), POLLIN, 0}};
    const int r = ::poll(fds, 2, 100);
    if (r <= 0) continue;
    if (fds[0].revents & POLLIN) AcceptSsh();
    if (fds[1].revents & POLLIN) AcceptStream();
  }
}

void Card::AcceptSsh() {
  sockaddr_in peer{};
  socklen_t len = sizeof peer;
  const int fd = ::accept4(sshListener_.Get(), reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
  if (fd < 0) return;
  char peerText[INET_ADDRSTRLEN] = "";
  inet_ntop(AF_INET, &peer.sin_addr, peerText, sizeof peerText);
  if (!Register(fd)) {
    ::close(fd);
    return;
  }
  const std::string client = std::string(peerText) + ":" + std::to_string(ntohs(peer.sin_port));
  Spawn([this, fd, client] { ServeSshConnection(*this, sshBind_, fd, client); });
}

void Card::AcceptStream() {
  sockaddr_in peer{};
  socklen_t len = sizeof peer;
  const int fd = ::accept4(streamListener_.Get(), reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
  if (fd < 0) return;
  char peerText[INET_ADDRSTRLEN] = "";
  inet_ntop(AF_INET, &peer.sin_addr, peerText, sizeof peerText);
  if (!Register(fd)) {
    ::close(fd);
    return;
  }
  const std::string client = std::string(peerText) + ":" + std::to_string(ntohs(peer.sin_port));
  Spawn([this, fd, client] {
    ServeStreamConnection(*this, fd, client);
    Unregister(fd);
    ::close(fd);
  });
}

void Card::AnnounceLoop() {
  Fd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  sockaddr_in local{};
  local.sin_family = AF_INET;
  ParseIpv4(config_.address, &local.sin_addr.s_addr);
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(static_cast<std::uint16_t>(config_.announcePort));
  if (!fd.Valid() || ::bind(fd.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      !ParseIpv4(config_.announceHost, &target.sin_addr.s_addr)) {
    log_->Write("error", {{"error", std::string("announcements disabled: ") + std::strerror(errno)}});
    return;
  }
  std::mt19937 random(std::random_device{}());
  long long sent = 0;
  while (!stopping_) {
    if (!down_) {
      std::string datagram;
      if (config_.faults.badAnnouncements) {
        const std::size_t size = 1 + random() % 64;
        for (std::size_t i = 0; i < size; ++i) datagram += static_cast<char>(random() % 256);
        if (datagram.compare(0, 7, "DARIRE\n") == 0) datagram[0] = 'X';
      } else {
        datagram = "DARIRE\nalias `" + config_.alias + "`\n";
      }
      ::sendto(fd.Get(), datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&target), sizeof target);
      // One line per announcement would swamp the log; note the first and every 60th.
      if (sent++ % 60 == 0) log_->Write("announce", {{"count", sent}, {"bytes", datagram.size()}});
    }
    SleepUnlessStopping(1000);
  }
}

}  // namespace cardsim
