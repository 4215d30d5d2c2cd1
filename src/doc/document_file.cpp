#include "doc/document_file.h"

#include <stdexcept>

#include "base/chunk.h"
#include "base/file.h"
#include "base/text.h"
#include "doc/document.h"
#include "doc/package.h"
#include "doc/definition_records.h"

namespace {

constexpr int kStoredFirstColumn = 30;
constexpr int kStoredColumns = 180;
constexpr int kRows = Picture::kCanvasHeight;
constexpr std::size_t kStoredPictureBytes = std::size_t{kStoredColumns} * kRows;  // 25,920

[[noreturn]] void LoadFailure() { throw std::runtime_error(Cp1250FromUtf8("Nie udało sie wczytać dokumentu.")); }

bool IsCanvas(const Picture& picture) {
  return picture.width == Picture::kCanvasWidth && picture.height == Picture::kCanvasHeight &&
         picture.pixels.size() == Picture::kBytes;
}

// --- writing -------------------------------------------------------------------------------

void AppendDetector(std::string& out, const Detector& d) {
  const std::size_t detector = BeginChunk(out, doc_tags::kDetector);

  const std::size_t main = BeginChunk(out, doc_tags::kMainFields);
  for (const CanvasPoint& v : d.vertices) {
    AppendI32(out, v.x);
    AppendI32(out, v.y);
  }
  AppendI32(out, d.ladderSteps);
  AppendI32(out, d.lineWidth);
  AppendI32(out, static_cast<std::int32_t>(d.kind));
  AppendU32(out, d.contrast ? 1 : 0);
  AppendI32(out, d.track);
  AppendU32(out, d.number);
  AppendI32(out, d.featureThreshold);
  AppendU32(out, d.directional ? 1 : 0);
  AppendI32(out, d.angle);
  AppendI32(out, d.fillPercent);
  EndChunk(out, main);

  const std::size_t threshold = BeginChunk(out, doc_tags::kThreshold);
  AppendI32(out, d.threshold);
  EndChunk(out, threshold);

  const std::size_t timing = BeginChunk(out, doc_tags::kTiming);
  AppendI32(out, d.delay);
  AppendI32(out, d.extension);
  EndChunk(out, timing);

  const std::size_t eraser = BeginChunk(out, doc_tags::kEraser);
  AppendU32(out, 0);
  const Picture& mask = d.eraser.Read();
  if (d.eraser.Identity() != WhitePicture().get() && IsCanvas(mask)) {
    for (int y = 0; y < kRows; ++y) {
      const std::uint8_t* p = mask.pixels.data() + mask.Offset(kStoredFirstColumn, y);
      for (int x = 0; x < kStoredColumns; ++x, p += 3) {
        if (p[0] == 0 && p[1] == 0 && p[2] == 0) {
          out += static_cast<char>(x);
          out += static_cast<char>(y);
        }
      }
    }
  }
  EndChunk(out, eraser);

  EndChunk(out, detector);
}

void AppendPicture(std::string& out, std::uint32_t index, const Picture& picture) {
  const std::size_t chunk = BeginChunk(out, doc_tags::kPicture);
  AppendU32(out, index);
  AppendU32(out, kStoredColumns);
  AppendU32(out, kRows);
  AppendU32(out, 1);
  AppendU32(out, 0);
  const std::size_t at = out.size();
  out.resize(at + kStoredPictureBytes);
  char* grey = out.data() + at;
  if (IsCanvas(picture)) {
    for (int y = 0; y < kRows; ++y) {
      const std::uint8_t* p = picture.pixels.data() + picture.Offset(kStoredFirstColumn, y);
      for (int x = 0; x < kStoredColumns; ++x, p += 3)
        *grey++ = static_cast<char>((unsigned{p[0]} + p[1] + p[2]) / 3);
    }
  } else {
    for (int y = 0; y < kRows; ++y) {
      for (int x = kStoredFirstColumn; x < kStoredFirstColumn + kStoredColumns; ++x) {
        *grey++ = picture.Contains(x, y) && picture.Offset(x, y) + 2 < picture.pixels.size()
                      ? static_cast<char>(picture.Grey(x, y))
                      : static_cast<char>(255);
      }
    }
  }
  EndChunk(out, chunk);
}

// --- reading -------------------------------------------------------------------------------

void ParseMainFields(std::string_view payload, Detector& d) {
  PayloadReader reader(payload);
  std::int32_t values[18];
  for (std::int32_t& value : values)
    if (!reader.I32(value)) LoadFailure();
  auto clamp = [](std::int32_t v) { return v < -kVertexLimit ? -kVertexLimit : v > kVertexLimit ? kVertexLimit : v; };
  for (std::size_t i = 0; i < 4; ++i) d.vertices[i] = CanvasPoint{clamp(values[i * 2]), clamp(values[i * 2 + 1])};
  auto u = [&](int i) { return static_cast<std::uint32_t>(values[i]); };
  if (u(10) > 1 || u(11) > 1 || u(12) >= 4 || u(14) >= 1000 || u(15) > 1 || u(16) >= 360) LoadFailure();
  if (values[17] < 0 || values[17] > 100) LoadFailure();
  d.ladderSteps = values[8];
  d.lineWidth = values[9];
  d.kind = static_cast<DetectorKind>(values[10]);
  d.contrast = values[11] != 0;
  d.track = values[12];
  d.number = u(13);
  d.featureThreshold = values[14];
  d.directional = values[15] != 0;
  d.angle = values[16];
  d.fillPercent = values[17];
}

void ParseEraser(std::string_view payload, Detector& d) {
  PayloadReader reader(payload);
  std::uint32_t first = 0;
  if (!reader.U32(first) || first != 0) LoadFailure();
  if (reader.Remaining() % 2 != 0) LoadFailure();
  Picture* mask = nullptr;
  const std::string_view pairs = reader.Rest();
  for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
    const auto x = static_cast<std::uint8_t>(pairs[i]), y = static_cast<std::uint8_t>(pairs[i + 1]);
    if (x >= kStoredColumns || y >= kRows) continue;
    if (!mask) mask = &d.eraser.Write();
    mask->SetBlack(x + kStoredFirstColumn, y);
  }
}

Detector ParseDetector(std::string_view payload) {
  Detector d;
  ChunkWalker walker(payload);
  Chunk chunk;
  while (walker.Next(chunk)) {
    PayloadReader reader(chunk.payload);
    switch (chunk.tag) {
      case doc_tags::kMainFields:
        ParseMainFields(chunk.payload, d);
        break;
      case doc_tags::kThreshold:
        if (!reader.I32(d.threshold)) LoadFailure();
        break;
      case doc_tags::kTiming:
        if (!reader.I32(d.delay) || !reader.I32(d.extension)) LoadFailure();
        break;
      case doc_tags::kEraser:
        ParseEraser(chunk.payload, d);
        break;
      default:
        break;
    }
  }
  return d;
}

void ParsePicture(std::string_view payload, RenderState& state) {
  PayloadReader reader(payload);
  std::uint32_t index = 0;
  if (!reader.U32(index) || index >= RenderState::kMaxTracks) LoadFailure();
  if (index >= state.pictures.size()) state.pictures.resize(index + 1, SharedWhitePicture());
  std::uint32_t width = 0, height = 0, format1 = 0, format2 = 0;
  if (!reader.U32(width) || !reader.U32(height) || !reader.U32(format1) || !reader.U32(format2)) LoadFailure();
  if (width != kStoredColumns || height != kRows || format1 != 1 || format2 != 0) LoadFailure();
  if (reader.Remaining() != kStoredPictureBytes) LoadFailure();
  Picture& picture = state.pictures[index].Write();
  if (!IsCanvas(picture)) picture = Picture{};
  const auto* grey = reinterpret_cast<const std::uint8_t*>(reader.Rest().data());
  for (int y = 0; y < kRows; ++y) {
    std::uint8_t* p = picture.pixels.data() + picture.Offset(kStoredFirstColumn, y);
    for (int x = 0; x < kStoredColumns; ++x, p += 3) p[0] = p[1] = p[2] = *grey++;
  }
}

void ParseState(std::string_view payload, RenderState& state) {
  ChunkWalker walker(payload);
  Chunk chunk;
  while (walker.Next(chunk)) {
    switch (chunk.tag) {
      case doc_tags::kPictureWidth: {
        PayloadReader reader(chunk.payload);
        std::int32_t width = 0;
        if (!reader.I32(width) || (width != 180 && width != 192 && width != 240)) LoadFailure();
        state.pictureWidth = width;
        break;
      }
      case doc_tags::kDetector:
        if (state.detectors.size() >= kMaxLoadedDetectors) LoadFailure();
        state.detectors.push_back(ParseDetector(chunk.payload));
        break;
      case doc_tags::kPicture:
        ParsePicture(chunk.payload, state);
        break;
      default:
        break;
    }
  }
}

void WriteSafely(const std::string& path, const std::string_view* parts, std::size_t count,
                 const ChunkWriter& writer) {
  ReplacingFile file(path);
  try {
    for (std::size_t i = 0; i < count; ++i) {
      if (writer) writer(file.Out(), parts[i]);
      else file.Write(parts[i]);
    }
    file.Commit();
  } catch (const std::runtime_error&) {
    throw std::runtime_error(WriteFailedText(path));  // the temporary file goes with `file`
  }
}

}  // namespace

std::string SerializeStateChunk(const RenderState& state) {
  std::string s;
  s.reserve(state.detectors.size() * 160 + state.pictures.size() * (kStoredPictureBytes + 32) + 64);
  const std::size_t stateChunk = BeginChunk(s, doc_tags::kState);
  const std::size_t width = BeginChunk(s, doc_tags::kPictureWidth);
  AppendI32(s, state.pictureWidth);
  EndChunk(s, width);
  for (const Detector& d : state.detectors) AppendDetector(s, d);
  for (std::size_t i = 0; i < state.pictures.size(); ++i)
    AppendPicture(s, static_cast<std::uint32_t>(i), state.pictures[i].Read());
  EndChunk(s, stateChunk);
  return s;
}

std::string SerializeDefinitionsChunk(const RenderState& state) {
  std::string out;
  const std::size_t definitions = BeginChunk(out, doc_tags::kDefinitions);
  WriteDefinitions(state, out);
  EndChunk(out, definitions);
  return out;
}

DocumentChunks SerializeDocument(const RenderState& state, const std::string& path) {
  DocumentChunks chunks;
  chunks.state = SerializeStateChunk(state);
  chunks.definitions = SerializeDefinitionsChunk(state);
  AppendChunk(chunks.package, doc_tags::kPackage, BuildProgramPackage(state, path));
  return chunks;
}

RenderState ParseDocument(std::string_view bytes) {
  RenderState state;
  bool haveState = false;
  ChunkWalker walker(bytes);
  Chunk chunk;
  while (walker.Next(chunk)) {
    if (chunk.tag == doc_tags::kState) {
      if (haveState) continue;
      ParseState(chunk.payload, state);
      haveState = true;
    } else if (chunk.tag == doc_tags::kDefinitions) {
      if (!haveState) continue;
      if (!ReadDefinitions(chunk.payload, state)) LoadFailure();
    }
  }
  if (!haveState) LoadFailure();
  return state;
}

bool FindStoredPackage(std::string_view bytes, std::string_view& package) {
  ChunkWalker walker(bytes);
  Chunk chunk;
  while (walker.Next(chunk)) {
    if (chunk.tag == doc_tags::kPackage) {
      package = chunk.payload;
      return true;
    }
  }
  return false;
}

void SaveDocument(Document& document, const std::string& path, const ChunkWriter& writer) {
  const DocumentChunks chunks = SerializeDocument(document.Current(), path);
  const std::string_view parts[] = {chunks.state, chunks.definitions, chunks.package};
  WriteSafely(path, parts, 3, writer);
  document.MarkSaved(path);
}

std::string ReadWholeFile(const std::string& path) {
  File file(path, "rb");
  std::string bytes = file.ReadAll();
  if (bytes.empty()) file.FailRead();
  return bytes;
}

void LoadDocument(Document& document, const std::string& path) {
  const std::string bytes = ReadWholeFile(path);
  document.Replace(ParseDocument(bytes), path);
}

void NewDocument(Document& document) { document.Replace(RenderState::New(), std::string()); }

void WriteFileSafely(const std::string& path, std::string_view bytes) { WriteSafely(path, &bytes, 1, {}); }
