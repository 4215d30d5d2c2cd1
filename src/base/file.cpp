#include "base/file.h"

#include <cstdarg>
#include <stdexcept>
#include <vector>

#include "base/platform.h"
#include "base/text.h"

namespace {

std::string Quoted(const char* utf8Prefix, const std::string& name) {
  return Cp1250FromUtf8(utf8Prefix) + name + "'.";
}

}  // namespace

std::string OpenFailedText(const std::string& name) {
  return Quoted("Nie udało się otworzyć pliku `", name);
}
std::string SeekFailedText(const std::string& name) {
  return Quoted("Nie udało się przewinąć pliku `", name);
}
std::string ReadFailedText(const std::string& name) {
  return Quoted("Nie udało się odczytać pliku `", name);
}
std::string WriteFailedText(const std::string& name) {
  return Quoted("Nie udało się zapisać do pliku `", name);
}

std::string NarrowName(std::wstring_view path) {
  std::string out;
  out.reserve(path.size());
  for (wchar_t c : path) {
    const auto code = static_cast<std::uint32_t>(c);
    out += code < 256 ? static_cast<char>(code) : '?';
  }
  return out;
}

File::File(const std::string& name, const char* mode) : name_(name) {
  file_ = platform::OpenFile(Utf8FromCp1250(name), mode);
  if (!file_) throw std::runtime_error(OpenFailedText(name_));
}

File::File(const std::wstring& path, const char* mode) : name_(NarrowName(path)) {
  file_ = platform::OpenFile(Utf8FromWide(path), mode);
  if (!file_) throw std::runtime_error(OpenFailedText(name_));
}

File::~File() {
  if (file_) std::fclose(file_);
}

std::uint64_t File::Length() {
  const std::int64_t here = platform::Tell(file_);
  if (here < 0 || !platform::Seek(file_, 0, SEEK_END)) throw std::runtime_error(SeekFailedText(name_));
  const std::int64_t end = platform::Tell(file_);
  if (end < 0 || !platform::Seek(file_, here, SEEK_SET)) throw std::runtime_error(SeekFailedText(name_));
  return static_cast<std::uint64_t>(end);
}

void File::Read(void* data, std::size_t size) {
  if (size != 0 && std::fread(data, 1, size, file_) != size) FailRead();
}

std::string File::ReadAll() {
  const std::int64_t here = platform::Tell(file_);
  const std::uint64_t length = Length();
  if (here < 0 || static_cast<std::uint64_t>(here) > length) throw std::runtime_error(SeekFailedText(name_));
  std::string data(static_cast<std::size_t>(length - static_cast<std::uint64_t>(here)), '\0');
  Read(data.data(), data.size());
  return data;
}

void File::Write(const void* data, std::size_t size) {
  if (size != 0 && std::fwrite(data, 1, size, file_) != size) FailWrite();
}

void File::Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int written = std::vfprintf(file_, format, args);
  va_end(args);
  if (written < 0) FailWrite();
}

void File::Sync() {
  if (!platform::SyncFile(file_)) FailWrite();
}

void File::Close() {
  std::FILE* file = file_;
  file_ = nullptr;
  if (file && std::fclose(file) != 0) FailWrite();
}

void File::FailRead() const { throw std::runtime_error(ReadFailedText(name_)); }
void File::FailWrite() const { throw std::runtime_error(WriteFailedText(name_)); }
