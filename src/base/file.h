// A local file together with its narrow (Windows-1250) name. Every failure throws
// std::runtime_error with the system's Polish text (Windows-1250) naming the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

class File {
 public:
  // Opens from a narrow Windows-1250 name with a stdio mode ("rb", "wb", "wt", ...).
  File(const std::string& name, const char* mode);
  // Opens from a wide path; the narrow name is made character by character (see NarrowName).
  File(const std::wstring& path, const char* mode);
  ~File();

  File(const File&) = delete;
  File& operator=(const File&) = delete;

  const std::string& Name() const { return name_; }
  std::FILE* Handle() const { return file_; }

  // Seeks to the end, reads the position and seeks back.
  std::uint64_t Length();
  // Reads exactly `size` bytes.
  void Read(void* data, std::size_t size);
  // Reads the whole file from the current position.
  std::string ReadAll();
  void Write(const void* data, std::size_t size);
  void Write(std::string_view data) { Write(data.data(), data.size()); }
  // Formatted write (printf style).
  void Print(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
  // Flushes written data through to the disk.
  void Sync();
  // Closes now, reporting a failed final write; the destructor closes silently.
  void Close();

  [[noreturn]] void FailRead() const;
  [[noreturn]] void FailWrite() const;

 private:
  std::string name_;
  std::FILE* file_ = nullptr;
};

// A wide path made narrow character by character: below 256 the byte of that value, else "?".
std::string NarrowName(std::wstring_view path);

// The file failure texts, for code that reports file failures without a File.
std::string OpenFailedText(const std::string& name);
std::string SeekFailedText(const std::string& name);
std::string ReadFailedText(const std::string& name);
std::string WriteFailedText(const std::string& name);
