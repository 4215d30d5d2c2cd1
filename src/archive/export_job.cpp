#include "archive/export_job.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <stdexcept>
#include <thread>

#include "archive/avi.h"
#include "base/file.h"
#include "base/file_status.h"
#include "base/platform.h"
#include "base/text.h"

namespace {

// Frames recompressed together before they are written in order; bounds the memory held
// by finished frames waiting for their turn.
constexpr std::size_t kRecompressBatch = 128;

[[noreturn]] void Fail(const char* utf8) { throw std::runtime_error(Cp1250FromUtf8(utf8)); }

// A source that cannot be read (or measured) while it is joined: reported with the file's own
// message, like a failure to open it.
class SourceReadFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One source file read whole, in one read (recompress mode, whose frames are worked on in
// parallel straight from it). The block is kept for the next source and grows
// only when a source is larger, so a long join does not map fresh memory for every file.
struct SourceBuffer {
  std::unique_ptr<std::uint8_t[]> bytes;
  std::size_t capacity = 0;
  std::size_t length = 0;
};

// The length of a source that can be joined. A folder, a device or anything else whose size
// the file system cannot tell fails with the read message, as does an empty file.
std::uint64_t SourceLength(File& source) {
  const auto length = platform::RegularFileSize(source.Handle());
  if (!length || *length == 0 || *length > SIZE_MAX) source.FailRead();
  return *length;
}

// An output that is one of the sources (under any spelling, or a hard link to one) is refused
// before anything is written: the join would replace a recording while it reads it.
void RefuseSourceAsOutput(const std::vector<std::wstring>& sources, const std::wstring& outputPath) {
  const auto output = platform::IdentityOf(Utf8FromWide(outputPath));
  if (!output) return;  // no file there yet
  for (const auto& path : sources) {
    if (platform::IdentityOf(Utf8FromWide(path)) == output) {
      throw std::runtime_error(Cp1250FromUtf8("Połączone nagranie nie może zastąpić pliku źródłowego `") +
                               NarrowName(outputPath) + "'.");
    }
  }
}

// Every source is opened and measured, and its start put through the walk's first checks,
// before the join begins: a source that can never be read or is no AVI file at all fails the
// job at once. Its text names it as a failed source, with the walk's own message.
void CheckSources(const std::vector<std::wstring>& sources) {
  for (const auto& path : sources) {
    File source(path, "rb");
    const std::uint64_t length = SourceLength(source);
    std::uint8_t start[kAviStartSize] = {};
    source.Read(start, static_cast<std::size_t>(std::min<std::uint64_t>(length, sizeof start)));
    try {
      CheckAviStart(start, length);
    } catch (const std::exception& e) {
      throw std::runtime_error(SourceFailedText(source.Name(), e.what()));
    }
  }
}

// The output file, written under a temporary name beside it that replaces it only when the
// join is complete: a failed job leaves the user's earlier file (or no file) in its place.
// Failures name the output as every other file of the job is named.
class JoinOutput {
 public:
  explicit JoinOutput(const std::wstring& path) try
      : name_(NarrowName(path)), file_(ReplacingFile::ForUtf8Path(Utf8FromWide(path))) {
  } catch (const std::exception&) {
    throw std::runtime_error(OpenFailedText(NarrowName(path)));
  }

  File& Out() { return file_.Out(); }
  const std::string& Name() const { return name_; }

  void Commit() {
    try {
      file_.Commit();
    } catch (const std::exception&) {
      throw std::runtime_error(WriteFailedText(name_));
    }
  }

 private:
  std::string name_;
  ReplacingFile file_;
};

void ReadSource(File& source, SourceBuffer& buffer) {
  const std::uint64_t length = SourceLength(source);
  if (length > buffer.capacity) {
    buffer.bytes.reset();
    buffer.capacity = 0;
    buffer.bytes.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(length)]);
    if (!buffer.bytes) source.FailRead();
    buffer.capacity = static_cast<std::size_t>(length);
  }
  buffer.length = static_cast<std::size_t>(length);
  source.Read(buffer.bytes.get(), buffer.length);
}

// A source file read front to back in cache-sized blocks for the copy join. Frame chunks
// are asked for whole and handed to the writer, which writes runs of them straight from
// the block; what is pending is written out before the block moves on. So every byte goes
// once through a small buffer that stays in cache, as with a plain file copy. The buffer is
// kept for the next source.
class SourceBlocks : public AviSource {
 public:
  void Start(File& file, std::uint64_t length, MjpegAviWriter& writer) {
    if (!buffer_) buffer_.reset(new std::uint8_t[kCapacity]);
    file_ = &file;
    writer_ = &writer;
    length_ = length;
    start_ = filled_ = 0;
    // Blocks are read straight into the buffer, without a second copy through stdio's.
    std::setvbuf(file.Handle(), nullptr, _IONBF, 0);
  }

  const std::uint8_t* Bytes(std::uint64_t offset, std::size_t count) override {
    if (offset < start_ || offset + count > start_ + filled_) Refill(offset, count);
    return buffer_.get() + (offset - start_);
  }

  // The whole chunk of a frame whose data is at `offset`, with its padding byte when the file
  // has one. Throws the writer's text for a frame too long for a chunk buffer.
  void AddFrame(std::uint64_t offset, std::uint32_t length) {
    if (MjpegChunkLength(length) > kAviChunkBufferSize) throw std::runtime_error(MjpegAddFrameFailedText());
    const std::size_t padding = (length & 1) != 0 && offset + length < length_ ? 1 : 0;
    const std::uint8_t* chunk = Bytes(offset - 8, 8 + std::size_t{length} + padding);
    writer_->AddSourceFrame(chunk + 8, length, chunk + 8 + length + padding);
  }

 private:
  static constexpr std::size_t kBlock = 256 * 1024;
  // A block, or a whole chunk with its padding byte when that is longer.
  static constexpr std::size_t kCapacity = kAviChunkBufferSize + kBlock;

  void Refill(std::uint64_t offset, std::size_t count) {
    writer_->EndSource();  // chunks still to be written from the block
    const std::uint64_t end = start_ + filled_;
    if (offset < start_ || offset + count > length_ || count > kCapacity)
      throw SourceReadFailed(ReadFailedText(file_->Name()));
    std::size_t kept = 0;
    if (offset < end) {
      kept = static_cast<std::size_t>(end - offset);
      std::memmove(buffer_.get(), buffer_.get() + (offset - start_), kept);
    } else if (offset > end && !platform::Seek(file_->Handle(), static_cast<std::int64_t>(offset), SEEK_SET)) {
      throw SourceReadFailed(SeekFailedText(file_->Name()));
    }
    const std::size_t total = static_cast<std::size_t>(std::min<std::uint64_t>(std::max(count, kBlock), length_ - offset));
    try {
      file_->Read(buffer_.get() + kept, total - kept);
    } catch (const std::runtime_error& e) {
      throw SourceReadFailed(e.what());
    }
    start_ = offset;
    filled_ = total;
  }

  std::unique_ptr<std::uint8_t[]> buffer_;
  File* file_ = nullptr;
  MjpegAviWriter* writer_ = nullptr;
  std::uint64_t length_ = 0;
  std::uint64_t start_ = 0;  // file offset of the first byte in the buffer
  std::size_t filled_ = 0;
};

struct Frame {
  const std::uint8_t* data;
  std::uint32_t length;
};

struct RecompressedFrame {
  JpegBytes jpeg;
  std::exception_ptr error;
};

// Runs body(k) for k in [0, count) on up to `threads` threads (the caller's included).
template <typename Body>
void ParallelFor(std::size_t count, unsigned threads, Body body) {
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t k; (k = next.fetch_add(1)) < count;) body(k);
  };
  std::vector<std::thread> helpers;
  const std::size_t extra = std::min<std::size_t>(threads, count) > 1 ? std::min<std::size_t>(threads, count) - 1 : 0;
  for (std::size_t t = 0; t < extra; ++t) {
    try {
      helpers.emplace_back(work);
    } catch (const std::exception&) {
      break;  // fewer helpers: the caller's thread does the rest
    }
  }
  work();
  for (auto& helper : helpers) helper.join();
}

// Recompresses the frames of one source in batches on several threads and adds them in
// file order. The first failing frame (in file order) stops the source after the frames
// before it have been added, exactly as one frame after another would.
void AddRecompressed(MjpegAviWriter& writer, const std::vector<Frame>& frames, unsigned threads) {
  std::vector<RecompressedFrame> done;
  for (std::size_t start = 0; start < frames.size(); start += kRecompressBatch) {
    const std::size_t count = std::min(kRecompressBatch, frames.size() - start);
    done.clear();
    done.resize(count);
    ParallelFor(count, threads, [&](std::size_t k) {
      try {
        done[k].jpeg = RecompressFrame(frames[start + k].data, frames[start + k].length);
      } catch (...) {
        done[k].error = std::current_exception();
      }
    });
    for (auto& frame : done) {
      if (frame.error) std::rethrow_exception(frame.error);
      writer.AddFrame(frame.jpeg.data.get(), frame.jpeg.length);
      frame.jpeg.data.reset();
    }
  }
}

struct SourceMemory {
  SourceBuffer whole;    // recompress mode
  SourceBlocks blocks;   // copy mode
};

void JoinOneSource(ExportMode mode, const std::wstring& path, MjpegAviWriter& writer, unsigned threads,
                   SourceMemory& memory) {
  File source(path, "rb");
  std::uint64_t length = 0;
  if (mode == kExportCopy) {
    length = SourceLength(source);
    memory.blocks.Start(source, length, writer);
  } else {
    ReadSource(source, memory.whole);
  }
  SourceBuffer& data = memory.whole;
  try {
    if (mode == kExportCopy) {
      ScanAviSource(memory.blocks, length, writer.Header(),
                    [&](std::uint64_t offset, std::uint32_t frameLength) { memory.blocks.AddFrame(offset, frameLength); });
      writer.EndSource();
    } else {
      // The walk only collects the frames; they are recompressed and added afterwards, and
      // a failure of the walk counts after the frames that came before it.
      std::vector<Frame> frames;
      std::exception_ptr walkError;
      try {
        ScanAviFile(data.bytes.get(), data.length, writer.Header(),
                    [&](const std::uint8_t* frame, std::uint32_t length) { frames.push_back({frame, length}); });
      } catch (const std::exception&) {
        walkError = std::current_exception();
      }
      AddRecompressed(writer, frames, threads);
      if (walkError) std::rethrow_exception(walkError);
    }
  } catch (const SourceReadFailed&) {
    throw;
  } catch (const AviFileTooLarge& e) {
    throw AviFileTooLarge(e.what() + Cp1250FromUtf8(" Eksport zatrzymano przy pliku `") + source.Name() + "'.");
  } catch (const std::exception& e) {
    throw std::runtime_error(SourceFailedText(source.Name(), e.what()));
  }
}

}  // namespace

std::string ExportingText() { return "Eksportowanie..."; }
std::string ExportDoneText() { return "Zrobione"; }
std::string ExportReadyText() { return "Gotowy"; }

std::string SourceFailedText(const std::string& sourceName, const std::string& message) {
  return Cp1250FromUtf8("Nie udało się wczytać pliku `") + sourceName + "'.\n" + message;
}

JpegBytes RecompressFrame(const std::uint8_t* frame, std::uint32_t length) {
  // The pictures being recompressed on all threads together stay within one memory budget.
  std::uint64_t claimed = 0;
  std::uint32_t components = 0;
  if (!JpegPictureBytes(frame, length, &claimed, &components) || claimed > kMaxDecodedBytes) {
    Fail("Nie powiodła się dekompresja JPEG.");
  }
  const MemoryBudget::Reservation memory(DecodeMemoryBudget(), components == 1 ? claimed * 4 : claimed);
  RawImage image;
  if (!DecodeJpeg(frame, length, image)) Fail("Nie powiodła się dekompresja JPEG.");
  HeapBytes pixels(image.pixels);
  if (image.components == 1) {
    const std::size_t count = std::size_t{image.width} * image.height;
    HeapBytes colour(static_cast<std::uint8_t*>(std::malloc(count * 3)));
    if (!colour) Fail("Nie powiodła się konwersja z Y do RGB.");
    const std::uint8_t* grey = pixels.get();
    std::uint8_t* rgb = colour.get();
    for (std::size_t i = 0; i < count; ++i, rgb += 3) rgb[0] = rgb[1] = rgb[2] = grey[i];
    pixels = std::move(colour);
    image.components = 3;
  }
  JpegBytes out;
  std::uint8_t* jpeg = nullptr;
  if (!EncodeJpeg(pixels.get(), image.width, image.height, image.components, kRecompressQuality, &jpeg, &out.length))
    Fail("Nie powiodła się ponowna kompresja do JPEG.");
  out.data.reset(jpeg);
  return out;
}

void JoinAviFiles(ExportMode mode, const std::vector<std::wstring>& sources, const std::wstring& outputPath,
                  ExportStatusSink& status, const ExportOptions& options) {
  RefuseSourceAsOutput(sources, outputPath);
  CheckSources(sources);
  JoinOutput output(outputPath);
  MjpegAviWriter writer(output.Out(), options.sizeLimit, output.Name());
  const unsigned threads = options.threads ? options.threads : std::max(1u, std::thread::hardware_concurrency());
  const auto n = static_cast<std::uint32_t>(sources.size());
  SourceMemory memory;
  for (std::uint32_t i = 0; i < n; ++i) {
    status.SetStatusText(ExportingText());
    status.SetProgress(static_cast<std::uint32_t>(std::uint64_t{i} * 100 / n));
    JoinOneSource(mode, sources[i], writer, threads, memory);
  }
  writer.Finish();
  output.Commit();
}

void RunExport(ExportMode mode, const std::vector<std::wstring>& sources, ExportView& view,
               const ExportOptions& options) {
  if (sources.empty()) return;
  std::wstring outputPath;
  if (!view.AskOutputPath(outputPath)) return;
  JoinAviFiles(mode, sources, outputPath, view, options);
}
