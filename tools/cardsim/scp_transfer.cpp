#include "scp_transfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "archive/md5.h"
#include "card.h"
#include "card_paths.h"

namespace cardsim {
namespace {
namespace fs = std::filesystem;
using Result = ChannelReader::Result;
using nlohmann::json;

constexpr std::size_t kPiece = 32768;
constexpr unsigned long long kMaxFileSize = 1ull << 31;

struct Options {
  bool to = false;
  bool from = false;
  bool times = false;
  std::string path;
};

std::string Md5Hex(Md5Context& context) {
  std::uint8_t digest[16];
  Md5Final(context, digest);
  static const char* hex = "0123456789abcdef";
  std::string text;
  for (std::uint8_t b : digest) {
    text += hex[b >> 4];
    text += hex[b & 15];
  }
  return text;
}

std::string Md5Hex(const std::string& bytes) {
  Md5Context context;
  Md5Init(context);
  Md5Update(context, bytes.data(), bytes.size());
  return Md5Hex(context);
}

// The card's file as its scp (OpenSSH's and dropbear's alike) writes it: opened for writing
// without truncation, created when missing, each piece written as it arrives, and cut to the
// announced size only once all of it came. A transfer that ends early leaves the new bytes over
// the start of the old file and the old file's rest behind them.
class InPlaceFile {
 public:
  InPlaceFile(const fs::path& path, unsigned mode) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, (mode & 0777) != 0 ? mode & 0777 : 0644);
    if (fd_ < 0) error_ = std::strerror(errno);
  }
  ~InPlaceFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  InPlaceFile(const InPlaceFile&) = delete;
  InPlaceFile& operator=(const InPlaceFile&) = delete;

  // After a failed write the rest is read and dropped; the failure is told at the end.
  void Write(const std::string& bytes) {
    std::size_t done = 0;
    while (fd_ >= 0 && error_.empty() && done < bytes.size()) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error_ = std::strerror(n < 0 ? errno : ENOSPC);
        break;
      }
      done += static_cast<std::size_t>(n);
    }
  }
  // Cuts the file to `size` and closes it; the failure text, or empty.
  std::string Finish(unsigned long long size) {
    if (fd_ >= 0 && error_.empty() && ::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
      error_ = std::string("truncate: ") + std::strerror(errno);
    }
    if (fd_ >= 0 && ::close(fd_) != 0 && error_.empty()) error_ = std::string("close: ") + std::strerror(errno);
    fd_ = -1;
    return error_;
  }

 private:
  int fd_ = -1;
  std::string error_;
};

// The transfer counts its bytes for the "drop-after" fault: once the limit is reached the
// link is cut, as a cable pulled in the middle of a transfer would.
struct DropCounter {
  long long limit;
  long long done = 0;
  // How many of `wanted` bytes may still pass.
  std::size_t Allow(std::size_t wanted) const {
    if (limit < 0) return wanted;
    return static_cast<std::size_t>(std::min<long long>(static_cast<long long>(wanted), std::max(0LL, limit - done)));
  }
  bool Reached() const { return limit >= 0 && done >= limit; }
};

// The "trickle" fault: the data moves at most `rate` bytes a second, in pieces of a tenth of
// that with pauses between them, as over a starved link. A pause ends early when the client
// goes away or the card stops.
class Trickle {
 public:
  explicit Trickle(CommandContext& c)
      : c_(c), rate_(c.card.Config().faults.trickleBytesPerSecond), start_(std::chrono::steady_clock::now()) {}
  // The largest piece that may move next.
  std::size_t Piece(std::size_t wanted) const {
    if (rate_ <= 0) return wanted;
    return static_cast<std::size_t>(std::min<long long>(static_cast<long long>(wanted), std::max(1LL, rate_ / 10)));
  }
  // Counts `moved` bytes and waits until the next piece is due; false when the client went
  // away or the card stops meanwhile.
  bool Moved(std::size_t moved) {
    if (rate_ <= 0) return true;
    done_ += static_cast<long long>(moved);
    const auto due = start_ + std::chrono::microseconds(done_ * 1000000 / rate_);
    for (;;) {
      if (c_.card.Stopping() || c_.io.ClientGone()) return false;
      const auto now = std::chrono::steady_clock::now();
      if (now >= due) return true;
      const std::chrono::steady_clock::duration slice = std::chrono::milliseconds(50);
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(due - now, slice));
    }
  }
  static constexpr const char* kEnded = "the client went away or the card stopped (fault trickle)";

 private:
  CommandContext& c_;
  long long rate_;
  long long done_ = 0;
  std::chrono::steady_clock::time_point start_;
};

int Fail(CommandContext& c, const std::string& message, bool fatal = false) {
  const std::string line = std::string(1, fatal ? '\2' : '\1') + "scp: " + message + "\n";
  c.io.Write(line);
  return 1;
}

int Sink(CommandContext& c, const Options& o) {
  ChannelReader reader(c.io);
  const auto target = CardPath(c.card, o.path);
  c.io.Write("\0", 1);
  long long mtime = -1;
  int status = 0;
  for (;;) {
    std::string line;
    const Result r = reader.ReadLine(&line);
    if (r == Result::End) return status;
    if (r == Result::Failed) return 1;
    if (line.empty()) return Fail(c, "protocol error: empty control line", true);
    switch (line[0]) {
      case 'T': {
        long long m = 0, ma = 0, a = 0, aa = 0;
        if (std::sscanf(line.c_str() + 1, "%lld %lld %lld %lld", &m, &ma, &a, &aa) != 4) {
          return Fail(c, "protocol error: bad time line", true);
        }
        mtime = m;
        c.io.Write("\0", 1);
        continue;
      }
      case 'E':
        c.io.Write("\0", 1);
        continue;
      case 'D':
        return Fail(c, "directories cannot be sent to the card", true);
      case '\1':
      case '\2':
        return 1;
      case 'C':
        break;
      default:
        return Fail(c, "protocol error: unexpected control line", true);
    }
    unsigned mode = 0;
    unsigned long long size = 0;
    int nameStart = 0;
    if (std::sscanf(line.c_str() + 1, "%o %llu %n", &mode, &size, &nameStart) != 2 || nameStart <= 0) {
      return Fail(c, "protocol error: bad file line", true);
    }
    const std::string name = line.substr(1 + static_cast<std::size_t>(nameStart));
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
      return Fail(c, "protocol error: bad file name", true);
    }
    if (size > kMaxFileSize) return Fail(c, o.path + ": file too large", true);
    std::optional<fs::path> file = target;
    std::string cardName = o.path;
    std::error_code error;
    if (file && fs::is_directory(*file, error)) {
      *file /= name;
      cardName += (cardName.back() == '/' ? "" : "/") + name;
    }
    // Only the program file, the file a new program arrives in and files on the drive can be
    // written; the drive must hold the folder already.
    const bool writable = file && (*file == c.card.ProgramFile() || *file == c.card.NewProgramFile() ||
                                   fs::is_directory(file->parent_path(), error));
    std::optional<InPlaceFile> out;
    if (writable) out.emplace(*file, mode);
    c.io.Write("\0", 1);

    Md5Context md5;
    Md5Init(md5);
    unsigned long long received = 0;
    auto logFailure = [&](const char* why) {
      c.card.Log().Write("scp-upload", {{"path", cardName}, {"size", size}, {"received", received}, {"ok", false},
                                        {"error", why}});
    };
    DropCounter drop{c.card.Config().faults.dropAfterBytes};
    Trickle trickle(c);
    unsigned long long left = size;
    std::string piece;
    while (left > 0) {
      const std::size_t wanted =
          trickle.Piece(drop.Allow(static_cast<std::size_t>(std::min<unsigned long long>(left, kPiece))));
      piece.clear();
      const Result got = wanted > 0 ? reader.ReadExact(&piece, wanted) : Result::Ok;
      // What came is on the card's disk at once, whatever follows.
      Md5Update(md5, piece.data(), piece.size());
      if (out) out->Write(piece);
      received += piece.size();
      if (got != Result::Ok) {
        logFailure("the client ended the transfer early");
        return 1;
      }
      if (!trickle.Moved(wanted)) {
        logFailure(Trickle::kEnded);
        return 1;
      }
      drop.done += static_cast<long long>(wanted);
      left -= wanted;
      if (drop.Reached() && left > 0) {
        logFailure("link dropped (fault drop-after)");
        c.dropLink();
        return 1;
      }
    }
    std::string why;
    if (!writable) {
      why = cardName + ": Permission denied";
    } else if (const std::string error = out->Finish(size); !error.empty()) {
      why = cardName + ": " + error;
    } else if (mtime >= 0) {
      utimbuf times{static_cast<time_t>(mtime), static_cast<time_t>(mtime)};
      ::utime(file->c_str(), &times);
    }
    const bool written = why.empty();
    // OpenSSH's scp ends the data with a zero byte; libssh2's scp_send just ends the
    // channel, which is as good.
    char end = 0;
    const Result endResult = reader.ReadByte(&end);
    c.card.Log().Write("scp-upload", {{"path", cardName}, {"size", size}, {"received", received},
                                      {"md5", Md5Hex(md5)}, {"ok", written}, {"error", why}});
    mtime = -1;
    if (!written) {
      status = 1;
      if (endResult == Result::Ok) Fail(c, why);
    } else if (endResult == Result::Ok) {
      c.io.Write("\0", 1);
    }
    if (endResult != Result::Ok) return endResult == Result::End ? status : 1;
  }
}

bool WaitAck(CommandContext& c, ChannelReader& reader) {
  char ack = 0;
  if (reader.ReadByte(&ack) != Result::Ok) return false;
  if (ack == 0) return true;
  std::string message;
  reader.ReadLine(&message);
  c.card.Log().Write("scp-client-error", {{"message", message}});
  return false;
}

int Source(CommandContext& c, const Options& o) {
  ChannelReader reader(c.io);
  char go = 0;
  if (reader.ReadByte(&go) != Result::Ok) return 1;
  const auto file = CardPath(c.card, o.path);
  std::error_code error;
  if (!file || !fs::exists(*file, error)) {
    c.card.Log().Write("scp-download", {{"path", o.path}, {"ok", false}, {"error", "No such file or directory"}});
    return Fail(c, o.path + ": No such file or directory");
  }
  if (!fs::is_regular_file(*file, error)) {
    c.card.Log().Write("scp-download", {{"path", o.path}, {"ok", false}, {"error", "not a regular file"}});
    return Fail(c, o.path + ": not a regular file");
  }
  std::string data;
  {
    std::ifstream in(*file, std::ios::binary);
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (o.times) {
    struct stat st {};
    ::stat(file->c_str(), &st);
    c.io.Write("T" + std::to_string(st.st_mtime) + " 0 " + std::to_string(st.st_atime) + " 0\n");
    if (!WaitAck(c, reader)) return 1;
  }
  c.io.Write("C0644 " + std::to_string(data.size()) + " " + file->filename().string() + "\n");
  if (!WaitAck(c, reader)) return 1;
  DropCounter drop{c.card.Config().faults.dropAfterBytes};
  Trickle trickle(c);
  std::size_t sent = 0;
  while (sent < data.size()) {
    const std::size_t piece = trickle.Piece(drop.Allow(std::min(data.size() - sent, kPiece)));
    if (piece > 0 && !c.io.Write(data.data() + sent, piece)) {
      c.card.Log().Write("scp-download", {{"path", o.path}, {"size", data.size()}, {"sent", sent},
                                          {"ok", false}, {"error", "the client went away"}});
      return 1;
    }
    sent += piece;
    if (!trickle.Moved(piece)) {
      c.card.Log().Write("scp-download", {{"path", o.path}, {"size", data.size()}, {"sent", sent},
                                          {"ok", false}, {"error", Trickle::kEnded}});
      return 1;
    }
    drop.done += static_cast<long long>(piece);
    if (drop.Reached() && sent < data.size()) {
      c.card.Log().Write("scp-download", {{"path", o.path}, {"size", data.size()}, {"sent", sent},
                                          {"ok", false}, {"error", "link dropped (fault drop-after)"}});
      c.dropLink();
      return 1;
    }
  }
  c.io.Write("\0", 1);
  c.card.Log().Write("scp-download",
                     {{"path", o.path}, {"size", data.size()}, {"sent", sent}, {"md5", Md5Hex(data)}, {"ok", true}});
  // The client acknowledges the file; libssh2 closes the channel instead, which is fine.
  char ack = 0;
  reader.ReadByte(&ack);
  return 0;
}

}  // namespace

int RunScp(CommandContext& c, const std::vector<std::string>& arguments) {
  Options o;
  bool optionsDone = false;
  for (const std::string& a : arguments) {
    if (!optionsDone && a == "--") {
      optionsDone = true;
    } else if (!optionsDone && a.size() > 1 && a[0] == '-') {
      for (std::size_t i = 1; i < a.size(); ++i) {
        switch (a[i]) {
          case 't': o.to = true; break;
          case 'f': o.from = true; break;
          case 'p': o.times = true; break;
          case 'd': case 'v': case 'q': break;
          case 'r': return Fail(c, "recursive copies are not supported", true);
          default: return Fail(c, std::string("unknown option -") + a[i], true);
        }
      }
    } else if (o.path.empty()) {
      o.path = a;
    } else {
      return Fail(c, "only one path is supported", true);
    }
  }
  if (o.to == o.from || o.path.empty()) return Fail(c, "usage: scp -t|-f [-p] PATH", true);
  return o.to ? Sink(c, o) : Source(c, o);
}

}  // namespace cardsim
