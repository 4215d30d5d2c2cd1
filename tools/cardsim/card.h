// One simulated detection card: its settings, the state it keeps in its folder, the
// listening sockets of its SSH and stream services, its announcements, and the restart that
// takes it off the network for a while and brings it back with the program last sent.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "event_log.h"
#include "net.h"
#include "program_package.h"

struct ssh_bind_struct;

namespace cardsim {

// Faults that tests can switch on (--fault KIND[=VALUE]).
struct Faults {
  bool silent = false;               // "silent": connections are accepted but never answered
  long long dropAfterBytes = -1;     // "drop-after=N": the SSH link drops after N bytes of a transfer
  long long trickleBytesPerSecond = 0;  // "trickle=N": SCP data moves at most N bytes a second
  bool refusePassword = false;       // "refuse-password": every login fails
  std::string badStreamHeader;       // "bad-stream-header[=short|width|track|long|type]"
  bool badAnnouncements = false;     // "bad-announce": datagrams that are not announcements
  // "stall-command=WORD" (repeatable): a command with the word WORD (or a word ending in
  // "/WORD") is accepted and then never answered: no output, no end of data.
  std::vector<std::string> stallCommands;
  // "fail-command=WORD" (repeatable): a command matched as for stall-command is not run; it
  // answers a message on standard error and exit status 1.
  std::vector<std::string> failCommands;
};

struct CardConfig {
  std::string address;
  std::string alias;
  std::string user;
  std::string password;
  int sshPort = 22;
  int streamPort = 25100;
  std::string announceHost = "127.0.0.1";
  int announcePort = 21060;
  int restartSeconds = 5;
  long long clockOffsetSeconds = 0;
  double framesPerSecond = 4.0;  // pictures per second and track
  std::filesystem::path folder;  // DIR/<address>
  Faults faults;
  bool logToStdout = false;
  bool newHostKey = false;  // replace the host keys kept in the folder
};

struct NetworkSettings {
  std::string ipaddr;
  std::string netmask;
  std::string gateway;
};

class Card {
 public:
  explicit Card(CardConfig config);
  ~Card();
  Card(const Card&) = delete;
  Card& operator=(const Card&) = delete;

  // Prepares the folder (host keys, archive drive, state), loads the program, opens the
  // listening sockets and starts the workers. Throws std::runtime_error on failure.
  void Start();
  // Stops everything, drops every connection and waits for the workers.
  void Stop();

  const CardConfig& Config() const { return config_; }
  EventLog& Log() { return *log_; }
  int SshPort() const { return sshPort_; }
  int StreamPort() const { return streamPort_; }
  bool Stopping() const { return stopping_; }

  // Login and the password of the configured user.
  bool CheckLogin(const std::string& user, const std::string& password) const;
  bool SetPassword(const std::string& user, const std::string& password);

  // The card's clock: seconds since 1970 (UTC).
  long long ClockNow() const;
  void SetClock(long long unixSeconds);

  NetworkSettings Network() const;
  void SetNetwork(const NetworkSettings& settings);
  std::string HardwareAddress() const;

  // The program the card runs (detector masks); never null.
  std::shared_ptr<const Program> CurrentProgram() const;
  // "/etc/vemo/program.doz", the only file the card loads its program from, and
  // "/etc/vemo/program.doz.new", where a new program arrives before "mv -f" puts it in place.
  std::filesystem::path ProgramFile() const { return config_.folder / "program.doz"; }
  std::filesystem::path NewProgramFile() const { return config_.folder / "program.doz.new"; }
  std::filesystem::path DriveFolder() const { return config_.folder / "usbdrive"; }

  // Seconds since the card started, the time base of its camera pictures.
  double SceneSeconds() const;

  // Called when "sync && /vemo/restart" has been answered: the card goes down shortly after.
  void RequestRestart();

  // Every live connection registers its socket so that a restart or stop can drop it.
  // Register fails while the card is down or stopping.
  bool Register(int fd);
  void Unregister(int fd);

  // Runs `work` on a worker thread that Stop waits for.
  void Spawn(std::function<void()> work);

 private:
  void PrepareHostKeys();
  void LoadState();
  void SaveState();
  void LoadProgram(bool keepPreviousOnError);
  void OpenListeners();
  void CloseListeners();
  void DropConnections();
  void AcceptLoop();
  void AnnounceLoop();
  void Restart();
  void AcceptSsh();
  void AcceptStream();
  bool SleepUnlessStopping(int milliseconds);

  CardConfig config_;
  std::unique_ptr<EventLog> log_;
  ssh_bind_struct* sshBind_ = nullptr;
  int sshPort_ = 0;
  int streamPort_ = 0;
  Fd sshListener_;
  Fd streamListener_;
  std::chrono::steady_clock::time_point started_;

  mutable std::mutex stateMutex_;
  std::string password_;
  long long clockOffset_ = 0;
  NetworkSettings network_;
  std::shared_ptr<const Program> program_;

  std::atomic<bool> stopping_{false};
  std::atomic<bool> down_{false};
  std::atomic<bool> restartRequested_{false};
  std::thread acceptThread_;
  std::thread announceThread_;

  std::mutex workersMutex_;
  std::condition_variable workersDone_;
  int workers_ = 0;
  std::set<int> connections_;
};

}  // namespace cardsim
