// A local file together with its narrow (Windows-1250) name. Every failure throws
// std::runtime_error with the system's Polish text (Windows-1250) naming the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

class File {
 public:
  // Takes over an open stream (closed by this object) under the narrow name `name`.
  File(std::FILE* adopted, std::string name) : name_(std::move(name)), file_(adopted) {}
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

// A word for the names of temporary files that no other call returns, in this process or in any
// other one running beside it: the process id, a counter, and a random part that makes the next
// name impossible to guess (and to plant something at beforehand).
std::string UniqueWord();

// Writes a file that replaces `target` (narrow Windows-1250 name) only once it is complete. The
// bytes go to a temporary file beside the target under a unique name, created new (never an
// existing file, never through a link); Commit flushes it to the disk and renames it over the
// target. Destroyed without Commit, the temporary file is removed and the target is untouched,
// so a failure never leaves a truncated file where the user's earlier one was. Two writers of
// one target never share a temporary file: the last to commit wins, whole.
class ReplacingFile {
 public:
  // Throws OpenFailedText(target) when no temporary file can be made beside it. `ownerOnly`:
  // readable by its owner alone where the platform has modes.
  explicit ReplacingFile(std::string target, bool ownerOnly = false);
  // The same for a target given as a UTF-8 path (which may hold characters Windows-1250 has
  // not); the texts name it in Windows-1250.
  static ReplacingFile ForUtf8Path(const std::string& utf8Target, bool ownerOnly = false) {
    return ReplacingFile(Cp1250Name(utf8Target), utf8Target, ownerOnly);
  }
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // The temporary file; writes through it fail with its own name, Write below names the target.
  // Only until Commit.
  File& Out() { return *file_; }
  // Throws WriteFailedText(target); so does any write after Commit.
  void Write(const void* data, std::size_t size);
  void Write(std::string_view data) { Write(data.data(), data.size()); }
  // Flushes, closes and renames over the target. Throws WriteFailedText(target); the target is
  // then as it was, and the temporary file goes with this object. A second Commit after a
  // successful one does nothing; after a failed one it fails again.
  void Commit();

  const std::string& Target() const { return target_; }
  const std::string& TemporaryName() const { return temporary_; }

 private:
  ReplacingFile(std::string target, std::string utf8Target, bool ownerOnly);
  static std::string Cp1250Name(const std::string& utf8);

  std::string target_;         // narrow, for the texts
  std::string utf8Target_;
  std::string temporary_;      // narrow
  std::string utf8Temporary_;
  std::unique_ptr<File> file_;
  bool committed_ = false;
  bool failed_ = false;
};
