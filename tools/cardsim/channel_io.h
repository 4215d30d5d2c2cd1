// The two sides of one command's channel as the command code sees them: output and error
// text towards the client, and buffered reads of what the client sends (prompt answers, SCP
// control lines and file data).
#pragma once

#include <cstddef>
#include <string>

namespace cardsim {

class ChannelIo {
 public:
  virtual ~ChannelIo() = default;
  // Standard output and standard error of the command; false when the channel is gone.
  virtual bool Write(const void* data, std::size_t size) = 0;
  virtual bool WriteError(const std::string& text) = 0;
  // Reads what the client sent: > 0 bytes, 0 at the client's end of data, -1 on error or
  // when nothing came for timeoutMs.
  virtual int ReadSome(void* data, std::size_t size, int timeoutMs) = 0;
  // Whether the client has closed the channel or the link is gone; takes in what arrived
  // meanwhile without consuming it. For commands that wait on their own between reads.
  virtual bool ClientGone() { return false; }

  bool Write(const std::string& text) { return Write(text.data(), text.size()); }
};

// Buffered reading on top of ChannelIo.ReadSome.
class ChannelReader {
 public:
  explicit ChannelReader(ChannelIo& io, int timeoutMs = 30000) : io_(io), timeoutMs_(timeoutMs) {}

  enum class Result { Ok, End, Failed };

  // One line without its "\n" (a "\r" before it is dropped too). End when the client ended
  // its data before any byte of the line; a last line without "\n" is returned as Ok.
  Result ReadLine(std::string* line, std::size_t maxLength = 4096);
  // Exactly `size` bytes appended to `out` (or discarded when out is null).
  Result ReadExact(std::string* out, std::size_t size);
  // One byte.
  Result ReadByte(char* byte);

 private:
  bool Fill();  // false at end or failure; sets ended_/failed_

  ChannelIo& io_;
  int timeoutMs_;
  std::string buffer_;
  std::size_t pos_ = 0;
  bool ended_ = false;
  bool failed_ = false;
};

}  // namespace cardsim
