#include "channel_io.h"

namespace cardsim {

bool ChannelReader::Fill() {
  if (pos_ >= buffer_.size()) {
    buffer_.clear();
    pos_ = 0;
  }
  if (ended_ || failed_) return false;
  char chunk[16384];
  const int n = io_.ReadSome(chunk, sizeof chunk, timeoutMs_);
  if (n > 0) {
    buffer_.append(chunk, static_cast<std::size_t>(n));
    return true;
  }
  if (n == 0) {
    ended_ = true;
  } else {
    failed_ = true;
  }
  return false;
}

ChannelReader::Result ChannelReader::ReadLine(std::string* line, std::size_t maxLength) {
  line->clear();
  for (;;) {
    while (pos_ < buffer_.size()) {
      const char c = buffer_[pos_++];
      if (c == '\n') {
        if (!line->empty() && line->back() == '\r') line->pop_back();
        return Result::Ok;
      }
      *line += c;
      if (line->size() > maxLength) return Result::Failed;
    }
    if (!Fill()) {
      if (failed_) return Result::Failed;
      return line->empty() ? Result::End : Result::Ok;
    }
  }
}

ChannelReader::Result ChannelReader::ReadExact(std::string* out, std::size_t size) {
  while (size > 0) {
    if (pos_ >= buffer_.size() && !Fill()) return failed_ ? Result::Failed : Result::End;
    const std::size_t take = std::min(size, buffer_.size() - pos_);
    if (out) out->append(buffer_, pos_, take);
    pos_ += take;
    size -= take;
  }
  return Result::Ok;
}

ChannelReader::Result ChannelReader::ReadByte(char* byte) {
  if (pos_ >= buffer_.size() && !Fill()) return failed_ ? Result::Failed : Result::End;
  *byte = buffer_[pos_++];
  return Result::Ok;
}

}  // namespace cardsim
