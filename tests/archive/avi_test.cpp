#include "archive/avi.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "archive/avi_builder.h"
#include "archive/export_job.h"
#include "archive/mjpeg_avi_writer.h"
#include "archive_test_util.h"
#include "base/bytes.h"
#include "base/file.h"
#include "base/text.h"

using archive_test::Bytes;
using archive_test::ReadBytes;
using archive_test::TempFolder;
using archive_test::WriteBytes;

namespace {

std::uint32_t At32(const std::string& s, std::size_t offset) { return LoadU32(Bytes(s) + offset); }
std::uint16_t At16(const std::string& s, std::size_t offset) { return LoadU16(Bytes(s) + offset); }

struct Chunk {
  std::string id;
  std::string body;
};

std::string Le32(std::uint32_t v) {
  std::string s;
  AppendU32(s, v);
  return s;
}

// A chunk with an explicit size field (for broken sizes) or the body's size.
std::string ChunkBytes(const std::string& id, const std::string& body, bool pad = true) {
  std::string s = id + Le32(static_cast<std::uint32_t>(body.size())) + body;
  if (pad && body.size() % 2) s.push_back('\0');
  return s;
}
std::string List(const std::string& type, const std::string& content) { return ChunkBytes("LIST", type + content); }
std::string Riff(const std::string& content, const std::string& id = "RIFF", const std::string& form = "AVI ") {
  return ChunkBytes(id, form + content);
}
std::string Avih(std::uint32_t width, std::uint32_t height, std::size_t size = 56) {
  std::string body(size, '\0');
  if (size >= 40) {
    StoreU32(reinterpret_cast<std::uint8_t*>(body.data()) + 32, width);
    StoreU32(reinterpret_cast<std::uint8_t*>(body.data()) + 36, height);
  }
  return ChunkBytes("avih", body);
}

struct Scan {
  std::vector<std::string> frames;
  std::vector<std::uint8_t> header = std::vector<std::uint8_t>(kAviHeaderBufferSize, 0);
};

Scan ScanOf(const std::string& file) {
  Scan scan;
  std::vector<std::uint8_t> index(kAviIndexInitialSize);
  InitMjpegAvi(scan.header.data(), index.data(), index.size());
  // Exact-size heap copy: a read past the end is caught by the address sanitizer.
  std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[file.size() + 1]);
  std::copy(file.begin(), file.end(), exact.get());
  ScanAviFile(exact.get(), file.size(), scan.header.data(), [&](const std::uint8_t* data, std::uint32_t length) {
    scan.frames.emplace_back(reinterpret_cast<const char*>(data), length);
  });
  return scan;
}

std::string ScanError(const std::string& file) {
  try {
    ScanOf(file);
  } catch (const std::runtime_error& e) {
    return Utf8FromCp1250(e.what());
  }
  return "(no error)";
}

// Writes frames through MjpegAviWriter and returns the file.
std::string WriteAvi(const std::vector<std::string>& frames, std::uint64_t limit = kMaxAviFileLength) {
  TempFolder folder("writer");
  const auto path = folder / "out.avi";
  {
    File out(path.string(), "wb");
    MjpegAviWriter writer(out, limit);
    for (const auto& f : frames) writer.AddFrame(Bytes(f), static_cast<std::uint32_t>(f.size()));
    writer.Finish();
  }
  return ReadBytes(path);
}

}  // namespace

TEST(AviWriter, InitialHeaderBlock) {
  std::vector<std::uint8_t> header(kAviHeaderBufferSize, 0xEE), index(kAviIndexInitialSize, 0xEE);
  EXPECT_EQ(InitMjpegAvi(header.data(), index.data(), 7), 0u);
  ASSERT_EQ(InitMjpegAvi(header.data(), index.data(), index.size()), 524u);
  const std::string h(header.begin(), header.end());
  EXPECT_EQ(h.substr(0, 4), "RIFF");
  EXPECT_EQ(At32(h, 4), 516u);
  EXPECT_EQ(h.substr(8, 16), std::string("AVI LIST") + Le32(492) + "hdrl");
  EXPECT_EQ(h.substr(24, 4), "avih");
  EXPECT_EQ(At32(h, 32), 160000u);
  EXPECT_EQ(At32(h, 36), 1000000u);
  EXPECT_EQ(At32(h, 44), 0x10u);
  EXPECT_EQ(At32(h, 56), 1u);
  EXPECT_EQ(h.substr(88, 4) + h.substr(96, 8) + h.substr(108, 8), "LISTstrlstrhvidsvemo");
  EXPECT_EQ(At32(h, 92), 116u);
  EXPECT_EQ(At32(h, 128), 160000u);
  EXPECT_EQ(At32(h, 132), 1000000u);
  EXPECT_EQ(At32(h, 148), 10000u);
  EXPECT_EQ(h.substr(164, 4) + h.substr(188, 4), "strfMJPG");
  EXPECT_EQ(At32(h, 172), 40u);
  EXPECT_EQ(At16(h, 184), 1u);
  EXPECT_EQ(At16(h, 186), 24u);
  EXPECT_EQ(h.substr(212, 4) + h.substr(220, 8), "LISTodmldmlh");
  EXPECT_EQ(At32(h, 216), 260u);
  EXPECT_EQ(At32(h, 228), 248u);
  EXPECT_EQ(h.substr(480, 4), "JUNK");
  EXPECT_EQ(At32(h, 484), 24u);
  EXPECT_EQ(h.substr(512, 4) + h.substr(520, 4), "LISTmovi");
  EXPECT_EQ(At32(h, 516), 4u);
  EXPECT_EQ(std::string(index.begin(), index.begin() + 8), "idx1" + Le32(0));
  for (std::size_t zero : {40u, 48u, 52u, 60u, 64u, 68u, 140u, 160u, 176u, 192u, 232u, 300u, 500u})
    EXPECT_EQ(At32(h, zero), 0u) << zero;
}

TEST(AviWriter, NoFramesGiveA532ByteFile) {
  const std::string file = WriteAvi({});
  ASSERT_EQ(file.size(), 532u);
  EXPECT_EQ(At32(file, 4), 524u);
  EXPECT_EQ(At32(file, 516), 4u);
  EXPECT_EQ(At32(file, 48) + At32(file, 140) + At32(file, 232), 0u);
  EXPECT_EQ(file.substr(524), "idx1" + Le32(0));
}

TEST(AviWriter, OddFrameLayoutAndIndex) {
  std::string frame(1001, 'x');
  frame[0] = 'a';
  frame[1000] = 'z';
  const std::string file = WriteAvi({frame});
  ASSERT_EQ(file.size(), 524u + 1010u + 24u);
  EXPECT_EQ(file.substr(524, 8), "00dc" + Le32(1001));
  EXPECT_EQ(file.substr(532, 1001), frame);
  EXPECT_EQ(file[1533], '\0');
  EXPECT_EQ(file.substr(1534), "idx1" + Le32(16) + "00dc" + Le32(0x10) + Le32(4) + Le32(1001));
  EXPECT_EQ(At32(file, 516), 4u + 1010u);
  EXPECT_EQ(At32(file, 4), 516u + 1010u + 24u);
  EXPECT_EQ(At32(file, 4), file.size() - 8);
  EXPECT_EQ(At32(file, 48), 1u);
  EXPECT_EQ(At32(file, 140), 1u);
  EXPECT_EQ(At32(file, 232), 1u);
}

TEST(AviWriter, EvenFrameHasNoPaddingAndOffsetsFollowOn) {
  const std::string file = WriteAvi({std::string(1000, 'a'), std::string(3, 'b'), std::string(2, 'c')});
  ASSERT_EQ(file.size(), 524u + 1008u + 12u + 10u + 8u + 48u);
  EXPECT_EQ(file.substr(1532, 8), "00dc" + Le32(3));
  EXPECT_EQ(file.substr(1544, 8), "00dc" + Le32(2));
  const std::size_t index = 1554;
  EXPECT_EQ(At32(file, index + 8 + 8), 4u);
  EXPECT_EQ(At32(file, index + 8 + 16 + 8), 4u + 1008u);
  EXPECT_EQ(At32(file, index + 8 + 32 + 8), 4u + 1008u + 12u);
  EXPECT_EQ(At32(file, 48), 3u);
}

TEST(AviWriter, AddFrameRefusesWhatDoesNotFit) {
  std::vector<std::uint8_t> header(kAviHeaderBufferSize), index(kAviIndexInitialSize);
  InitMjpegAvi(header.data(), index.data(), index.size());
  std::vector<std::uint8_t> chunk(16);
  EXPECT_EQ(AddMjpegFrame(header.data(), chunk.data(), chunk.data() + 16, index.data(), index.size(), 8), 8u);
  EXPECT_EQ(AddMjpegFrame(header.data(), chunk.data(), chunk.data() + 16, index.data(), index.size(), 9), 0u);
  EXPECT_EQ(AddMjpegFrame(header.data(), chunk.data() + 1, chunk.data(), index.data(), index.size(), 0), 0u);
  EXPECT_EQ(AddMjpegFrame(header.data(), chunk.data(), chunk.data() + 16, index.data(), 7, 1), 0u);
  // One entry recorded: room for another needs 16 + 24 bytes.
  EXPECT_EQ(AddMjpegFrame(header.data(), chunk.data(), chunk.data() + 16, index.data(), 39, 1), 0u);
  EXPECT_EQ(AddMjpegFrame(header.data(), chunk.data(), chunk.data() + 16, index.data(), 40, 1), 8u);
  EXPECT_EQ(LoadU32(header.data() + 48), 2u);

  TempFolder folder("toolong");
  File out((folder / "x.avi").string(), "wb");
  MjpegAviWriter writer(out);
  const std::string largest(kAviChunkBufferSize - 8, 'f');
  writer.AddFrame(Bytes(largest), static_cast<std::uint32_t>(largest.size()));
  try {
    writer.AddFrame(Bytes(largest), static_cast<std::uint32_t>(largest.size() + 1));
    FAIL() << "frame of 1,048,569 bytes accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(Utf8FromCp1250(e.what()), "Nie udało się dodać ramki MJPEG.");
  }
  EXPECT_EQ(writer.Frames(), 1u);
}

TEST(AviWriter, StopsBeforeTheFileOutgrowsItsSizeFields) {
  // Three 100-byte frames end at 524 + 3 * 108 + 8 + 48 = 904 bytes.
  const std::vector<std::string> frames(3, std::string(100, 'q'));
  EXPECT_EQ(WriteAvi(frames, 904).size(), 904u);

  TempFolder folder("limit");
  const auto path = folder / "big.avi";
  {
    File out(path.string(), "wb");
    MjpegAviWriter writer(out, 903);
    writer.AddFrame(Bytes(frames[0]), 100);
    writer.AddFrame(Bytes(frames[1]), 100);
    try {
      writer.AddFrame(Bytes(frames[2]), 100);
      FAIL() << "third frame accepted past the limit";
    } catch (const AviFileTooLarge& e) {
      EXPECT_EQ(Utf8FromCp1250(e.what()), "Połączone nagranie przekroczyłoby 4 GB, największy rozmiar pliku AVI.");
    }
    EXPECT_EQ(writer.Frames(), 2u);
    EXPECT_EQ(writer.Length(), 524u + 2 * 108u);
  }
  EXPECT_EQ(kMaxAviFileLength, 0xFFFFFFFFull);
}

TEST(AviWriter, FinalizeChecksItsBuffers) {
  std::vector<std::uint8_t> header(kAviHeaderBufferSize), index(kAviIndexInitialSize);
  InitMjpegAvi(header.data(), index.data(), index.size());
  EXPECT_EQ(FinalizeMjpegAvi(header.data(), 523, index.data(), index.size()), 0u);
  StoreU32(index.data() + 4, 4096);  // claims more entries than the buffer holds
  EXPECT_EQ(FinalizeMjpegAvi(header.data(), header.size(), index.data(), index.size()), 0u);
  StoreU32(index.data() + 4, 32);
  EXPECT_EQ(FinalizeMjpegAvi(header.data(), header.size(), index.data(), index.size()), 40u);
  EXPECT_EQ(LoadU32(header.data() + 4), 516u + 40u);
}

TEST(AviScan, ReadsFramesAndPictureSizeOfACardRecording) {
  const std::vector<std::string> frames = {"first", "second!", std::string(3000, 'z')};
  const Scan scan = ScanOf(BuildArchiveAvi(frames, 180, 144));
  EXPECT_EQ(scan.frames, frames);
  EXPECT_EQ(LoadU32(scan.header.data() + 64), 180u);
  EXPECT_EQ(LoadU32(scan.header.data() + 68), 144u);
  EXPECT_EQ(LoadU32(scan.header.data() + 176), 180u);
  EXPECT_EQ(LoadU32(scan.header.data() + 180), 144u);
  EXPECT_EQ(LoadU32(scan.header.data() + 192), 180u * 144u * 3u);
}

TEST(AviScan, WideWidthFillsTheSixteenBitRectangleModulo) {
  const Scan scan = ScanOf(Riff(List("hdrl", Avih(70000, 20))));
  EXPECT_EQ(LoadU32(scan.header.data() + 64), 70000u);
  EXPECT_EQ(LoadU32(scan.header.data() + 176), 70000u);
  const std::string h(scan.header.begin(), scan.header.end());
  EXPECT_EQ(At16(h, 160), 4464u);
  EXPECT_EQ(At16(h, 162), 20u);
}

TEST(AviScan, SkipsOtherChunksAndNestedLists) {
  const std::string movi = ChunkBytes("00dc", "one") + ChunkBytes("01wb", "audio") +
                           List("rec ", ChunkBytes("00dc", "nested")) + ChunkBytes("ix00", "") +
                           ChunkBytes("00dc", "two!");
  const std::string file =
      Riff(ChunkBytes("JUNK", "abc") + List("INFO", ChunkBytes("ISFT", "x")) + List("movi", movi) +
           ChunkBytes("idx1", std::string(16, '\0')));
  EXPECT_EQ(ScanOf(file).frames, (std::vector<std::string>{"one", "two!"}));
}

TEST(AviScan, LastOddChunkWithoutItsPaddingByte) {
  // The RIFF ends right after an odd frame: no padding byte, nothing read past the end.
  std::string movi = ChunkBytes("00dc", "abc", /*pad=*/false);
  std::string file = "RIFF" + Le32(static_cast<std::uint32_t>(4 + 12 + movi.size())) + "AVI " + "LIST" +
                     Le32(static_cast<std::uint32_t>(4 + movi.size())) + "movi" + movi;
  EXPECT_EQ(ScanOf(file).frames, (std::vector<std::string>{"abc"}));
}

// Malformed sources, each held whole by the walk and joined from a file in both modes behind a
// good recording: the walk's checks run in one order, so all three give the same text (the
// joins naming the source first). Sizes are checked before tags, and the RIFF size before the
// form type, however short the file.
TEST(AviScan, MalformedSourcesFailAlikeInMemoryAndInBothJoinModes) {
  const auto frames = SyntheticJpegFrames(0, 2, 0.0);
  const std::string tooSmall = "Zbyt mały rozmiar bloku RIFF.", badHeader = "Niepoprawny nagłówek bloku RIFF.";
  const struct {
    const char* what;
    std::string file;
    std::string reason;  // "(no error)": joined
  } cases[] = {
      {"7 bytes", std::string("RIFF\x04\0\0", 7), tooSmall},
      {"RIFF size 0", "RIFF" + Le32(0), tooSmall},
      {"RIFF size 2", "RIFF" + Le32(2) + "AV", tooSmall},
      {"RIFF size 3, WAVE", "RIFF" + Le32(3) + "WAVE", tooSmall},
      {"RIFF size beyond the file", "RIFF" + Le32(100) + "AVI ", badHeader},
      {"RIFF size wraps", "RIFF" + Le32(0xFFFFFFFC) + "AVI ", badHeader},
      {"RIFX too long", "RIFX" + Le32(100) + "AVI ", badHeader},
      {"text", "to nie jest nagranie", badHeader},
      {"RIFX", Riff("", "RIFX"), "Nieoczekiwany znacznik głównego bloku RIFF."},
      {"WAVE", Riff("", "RIFF", "WAVE"), "Nieoczekiwany znacznik bloku AVI."},
      {"avih of 52 bytes", Riff(List("hdrl", Avih(180, 144, 52))), "Zbyt mały rozmiar bloku AVIH."},
      {"LIST size 2", Riff("LIST" + Le32(2) + "ab"), tooSmall},
      {"chunk beyond the RIFF", Riff("JUNK" + Le32(9) + "abcd"), badHeader},
      {"truncated hdrl", Riff(List("hdrl", "avih" + Le32(60) + std::string(56, '\0'))), badHeader},
      {"truncated movi", Riff(List("movi", "00dc" + Le32(50) + "short")), badHeader},
      {"frames, then a truncated chunk",
       Riff(List("hdrl", Avih(180, 144)) +
            List("movi", ChunkBytes("00dc", frames[0]) + ChunkBytes("00dc", frames[1]) + "00dc" + Le32(99) + "xx")),
       badHeader},
      {"bytes after the RIFF", Riff(List("movi", ChunkBytes("00dc", frames[0]))) + "more", "(no error)"},
  };
  TempFolder folder("malformed");
  WriteBytes(folder / "good.avi", BuildArchiveAvi(frames, 180, 144));
  const std::wstring good = WideFromUtf8((folder / "good.avi").string());
  const std::wstring bad = WideFromUtf8((folder / "bad.avi").string());
  const std::wstring out = WideFromUtf8((folder / "out.avi").string());
  struct : ExportStatusSink {
    void SetStatusText(const std::string&) override {}
    void SetProgress(std::uint32_t) override {}
  } quiet;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ScanError(c.file), c.reason);
    WriteBytes(folder / "bad.avi", c.file);
    const std::string named =
        c.reason == "(no error)" ? c.reason : "Nie udało się wczytać pliku `" + Utf8FromWide(bad) + "'.\n" + c.reason;
    for (const ExportMode mode : {kExportCopy, kExportRecompress}) {
      std::string message = "(no error)";
      try {
        JoinAviFiles(mode, {good, bad}, out, quiet);
      } catch (const std::runtime_error& e) {
        message = Utf8FromCp1250(e.what());
      }
      EXPECT_EQ(message, named) << (mode == kExportCopy ? "copy" : "recompress");
    }
  }
}

TEST(AviScan, FramesBeforeABrokenChunkAreHandedOn) {
  std::vector<std::string> seen;
  const std::string file = Riff(List("movi", ChunkBytes("00dc", "ok") + "00dc" + Le32(99) + "xx"));
  std::vector<std::uint8_t> header(kAviHeaderBufferSize);
  EXPECT_THROW(ScanAviFile(Bytes(file), file.size(), header.data(),
                           [&](const std::uint8_t* d, std::uint32_t n) { seen.emplace_back((const char*)d, n); }),
               std::runtime_error);
  EXPECT_EQ(seen, std::vector<std::string>{"ok"});
}

TEST(AviWriter, FramesTakenFromTheSourceGiveTheSameFile) {
  // A source movi with even frames, an odd frame padded with zero, an odd frame whose
  // padding byte is not zero (must come out zero), and an odd last frame without padding.
  std::string movi = ChunkBytes("00dc", "even") + ChunkBytes("00dc", "odd") + ChunkBytes("01wb", "x") +
                     "00dc" + Le32(3) + "bad" + "\x7F" + ChunkBytes("00dc", "tail", false) + "00dc" + Le32(1) + "z";
  const std::string source = "RIFF" + Le32(static_cast<std::uint32_t>(4 + 12 + movi.size())) + "AVI " + "LIST" +
                             Le32(static_cast<std::uint32_t>(4 + movi.size())) + "movi" + movi;
  const std::vector<std::string> expected = {"even", "odd", "bad", "tail", "z"};
  ASSERT_EQ(ScanOf(source).frames, expected);

  TempFolder folder("direct");
  const auto path = folder / "direct.avi";
  {
    File out(path.string(), "wb");
    MjpegAviWriter writer(out);
    std::vector<std::uint8_t> header(kAviHeaderBufferSize);
    // The source ends right after the last frame's byte: no padding byte to look at.
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[source.size()]);
    std::copy(source.begin(), source.end(), exact.get());
    const std::uint8_t* end = exact.get() + source.size();
    writer.AddFrame(Bytes(std::string("first")), 5);
    ScanAviFile(exact.get(), source.size(), header.data(),
                [&](const std::uint8_t* f, std::uint32_t n) { writer.AddSourceFrame(f, n, end); });
    writer.EndSource();
    writer.AddFrame(Bytes(std::string("last")), 4);
    writer.Finish();
  }
  std::vector<std::string> all = {"first"};
  all.insert(all.end(), expected.begin(), expected.end());
  all.push_back("last");
  EXPECT_EQ(ReadBytes(path), WriteAvi(all));
}
