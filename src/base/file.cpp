#include "base/file.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <random>
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

std::string UniqueWord() {
  static std::atomic<std::uint32_t> counter{0};
  static const std::uint64_t seed = [] {
    std::uint64_t value = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    try {
      std::random_device device;
      value ^= (static_cast<std::uint64_t>(device()) << 32) ^ device();
    } catch (const std::exception&) {
      // No entropy source: the clock alone; the id and the counter still keep words apart.
    }
    return value;
  }();
  const std::uint32_t count = counter.fetch_add(1);
  // splitmix64 of the seed and the counter: a new random part for every call.
  std::uint64_t mix = seed + (static_cast<std::uint64_t>(count) + 1) * 0x9E3779B97F4A7C15ull;
  mix = (mix ^ (mix >> 30)) * 0xBF58476D1CE4E5B9ull;
  mix = (mix ^ (mix >> 27)) * 0x94D049BB133111EBull;
  mix ^= mix >> 31;
  char text[40];
  std::snprintf(text, sizeof text, "%x-%x-%08x", static_cast<unsigned>(platform::ProcessId()),
                static_cast<unsigned>(count), static_cast<unsigned>(mix & 0xFFFFFFFFu));
  return text;
}

std::string ReplacingFile::Cp1250Name(const std::string& utf8) { return Cp1250FromUtf8(utf8); }

ReplacingFile::ReplacingFile(std::string target, bool ownerOnly)
    : ReplacingFile(target, Utf8FromCp1250(target), ownerOnly) {}

ReplacingFile::ReplacingFile(std::string target, std::string utf8Target, bool ownerOnly)
    : target_(std::move(target)), utf8Target_(std::move(utf8Target)) {
  // A name that is taken (by another writer, or planted) is never opened; another is tried.
  for (int attempt = 0; attempt < 16 && !file_; ++attempt) {
    std::string suffix(1, '.');
    suffix += UniqueWord();
    suffix += '~';
    std::string candidate = utf8Target_;
    candidate += suffix;
    errno = 0;
    if (std::FILE* stream = platform::CreateNewFile(candidate, ownerOnly)) {
      utf8Temporary_ = std::move(candidate);
      temporary_ = target_ + suffix;
      file_ = std::make_unique<File>(stream, temporary_);
    } else if (errno != EEXIST) {
      break;
    }
  }
  if (!file_) throw std::runtime_error(OpenFailedText(target_));
}

ReplacingFile::~ReplacingFile() {
  if (!committed_ && file_) {
    file_.reset();
    platform::RemoveFile(utf8Temporary_);
  }
}

void ReplacingFile::Write(const void* data, std::size_t size) {
  if (committed_ || failed_) throw std::runtime_error(WriteFailedText(target_));
  if (size == 0) return;
  try {
    file_->Write(data, size);
  } catch (const std::runtime_error&) {
    throw std::runtime_error(WriteFailedText(target_));
  }
}

void ReplacingFile::Commit() {
  if (committed_) return;
  if (failed_ || !file_->Handle()) throw std::runtime_error(WriteFailedText(target_));
  failed_ = true;  // until the rename is done
  try {
    file_->Sync();
    file_->Close();
  } catch (const std::runtime_error&) {
    throw std::runtime_error(WriteFailedText(target_));
  }
  if (!platform::ReplaceFileAtomically(utf8Temporary_, utf8Target_)) {
    throw std::runtime_error(WriteFailedText(target_));
  }
  failed_ = false;
  committed_ = true;
}
