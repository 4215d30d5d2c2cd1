// The device program package: one area mask bitmap per detector ("det%u.bmp"), the
// configuration text "config.txt" and the output script "compose.txt", each a file entry
// (chunk 12 holding chunk 13 with the name and chunk 14 with the bytes). The package is the
// payload of chunk 11 of the document file, and the card runs it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct RenderState;

// Chunk tags of the package.
constexpr std::uint32_t kPackageEntryTag = 12;
constexpr std::uint32_t kPackageNameTag = 13;
constexpr std::uint32_t kPackageDataTag = 14;

// The document's file name without its folder (after the last backslash or slash) and without
// its last extension (from the last full stop); the whole name when it has no full stop.
std::string DocumentAlias(const std::string& documentPath);

// "config.txt" of the revision, with the alias taken from `documentPath`.
std::string BuildConfigText(const RenderState& state, const std::string& documentPath);

// The package bytes (the payload of chunk 11) built from the revision's detectors, pictures
// and definitions; `documentPath` is the path being saved to.
std::string BuildProgramPackage(const RenderState& state, const std::string& documentPath);

struct PackageEntry {
  std::string name;  // narrow file name
  std::string data;
};

// Reads the entries of a package: every whole chunk 12 holding a chunk 13 and a chunk 14
// (other tags inside and outside are skipped, the walk stops like every chunk walk).
std::vector<PackageEntry> ReadProgramPackage(std::string_view package);
