// The document file (".trv"): chunk 2 with the current revision, chunk 7 with its output
// definitions and chunk 11 with the device program package, in this order. The same bytes are
// what the card keeps as its program.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "doc/render_state.h"

class Document;
class File;

// Chunk tags of the document file.
namespace doc_tags {
constexpr std::uint32_t kState = 2;
constexpr std::uint32_t kDefinitions = 7;
constexpr std::uint32_t kPackage = 11;
constexpr std::uint32_t kPictureWidth = 6;
constexpr std::uint32_t kDetector = 1;
constexpr std::uint32_t kPicture = 5;
constexpr std::uint32_t kMainFields = 3;
constexpr std::uint32_t kThreshold = 10;
constexpr std::uint32_t kTiming = 15;
constexpr std::uint32_t kEraser = 4;
}  // namespace doc_tags

// The three top-level chunks of a file, each whole (header included).
struct DocumentChunks {
  std::string state;        // chunk 2
  std::string definitions;  // chunk 7
  std::string package;      // chunk 11
  std::string Joined() const { return state + definitions + package; }
};

// Builds every byte of the file for the revision; `path` gives the package's alias.
DocumentChunks SerializeDocument(const RenderState& state, const std::string& path);
// The whole chunk 2 (the revision) and the whole chunk 7 (its definitions) alone.
std::string SerializeStateChunk(const RenderState& state);
std::string SerializeDefinitionsChunk(const RenderState& state);

// What a file may demand of the reader: at most kMaxLoadedDetectors detectors (far above the 4
// tracks x 16 a card can run; a file with more is refused with the load failure text), and
// vertex coordinates are clamped to +-kVertexLimit (the canvas is 240 x 144).
constexpr std::size_t kMaxLoadedDetectors = 256;
constexpr std::int32_t kVertexLimit = 4096;

// Reads a file's bytes into a revision (the rules of LoadDocument). Throws the load failure
// text "Nie udało sie wczytać dokumentu." (Windows-1250) when the bytes are refused.
RenderState ParseDocument(std::string_view bytes);

// The payload of the first whole chunk 11 (the stored package), or nothing when there is none.
bool FindStoredPackage(std::string_view bytes, std::string_view& package);

// How a save writes one chunk into the open temporary file; the default writes it whole with
// File::Write. Tests pass one that fails.
using ChunkWriter = std::function<void(File& file, std::string_view chunk)>;

// Writes the current revision to `path` (Windows-1250). All bytes are built first, written to
// a temporary file beside the target, flushed, and then put in place of the target in one
// step, so a failure at any point leaves the previous file as it was. On success the
// document's path becomes `path` and its modified flag is cleared; on failure nothing of the
// document changes and the text is "Nie udało się zapisać do pliku `path'." (or the open text
// when the temporary file cannot be made).
void SaveDocument(Document& document, const std::string& path, const ChunkWriter& writer = {});

// Reads the file at `path`; on success the history becomes the one loaded revision, with the
// path set and modified cleared. On failure the document is untouched.
void LoadDocument(Document& document, const std::string& path);

// A new document: one new revision, no path, not modified.
void NewDocument(Document& document);

// Reads a whole file (File helper texts; an empty file fails with the read text).
std::string ReadWholeFile(const std::string& path);

// Writes bytes to `path` the safe way SaveDocument does (temporary file, flush, replace).
void WriteFileSafely(const std::string& path, std::string_view bytes);
