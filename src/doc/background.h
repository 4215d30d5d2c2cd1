// Background pictures: the checks that a bitmap file must pass, importing its pixels into a
// canvas picture, and the backgrounds taken from a file or from the live pictures.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "doc/picture.h"

class Document;
class FileDialogs;

// What an accepted bitmap holds: its width (180, 192 or 240) and its pixel rows (bottom-up,
// width x 3 bytes each, no padding), a view into the checked file.
struct AcceptedBitmap {
  std::int32_t width = 0;
  std::string_view pixels;
};

// Checks an uncompressed 24-bit bitmap file in the fixed order of the system, throwing the
// first failure's text (Windows-1250) as std::runtime_error.
AcceptedBitmap CheckBitmap(std::string_view file);

// Fills canvas columns (240 - width) / 2 onwards of `picture` with the grey of the file's
// pixels, (7 x blue + 72 x green + 21 x red) / 100; other columns keep their values.
// `pixelData` holds 144 rows of width x 3 bytes, bottom row first.
void ImportBitmap(Picture& picture, const std::uint8_t* pixelData, std::int32_t width);

// Reads and checks the bitmap file and returns it whole (the File helper's own texts on open
// and read failures, the check texts otherwise).
std::string ReadBitmapFile(const std::string& path);

// The command "&Tło z pliku": asks for a bitmap file, checks it and imports it into the
// picture of `track` of a new revision. Does nothing without a picture for `track` or when the
// dialog is cancelled; failures throw before any revision is made. Returns whether it changed
// the document.
bool LoadBackgroundFromFile(Document& document, std::int32_t track, FileDialogs& dialogs);

// The command "Tł&o z podglądu wideo": one new revision whose pictures are copies of the live
// pictures of the same tracks (width, height and all pixel bytes). Tracks without a live
// picture keep theirs.
void BackgroundFromLiveVideo(Document& document, const std::vector<Picture>& livePictures);
