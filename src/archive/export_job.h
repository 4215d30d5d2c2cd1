// The export job: joins archive recordings (AVI files of JPEG frames) into one new AVI
// file, copying every frame unchanged or recompressing it (grey frames become colour
// frames, quality 98).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/export_ui.h"
#include "archive/jpeg_codec.h"
#include "archive/mjpeg_avi_writer.h"

enum ExportMode : std::uint32_t {
  kExportNone = 0,
  kExportCopy = 1,
  kExportRecompress = 2,
};

constexpr int kRecompressQuality = 98;

struct ExportOptions {
  // The largest output file; tests lower it to reach the limit without writing 4 GiB.
  std::uint64_t sizeLimit = kMaxAviFileLength;
  // Threads that recompress frames (0: one per processor). The output does not depend on it.
  unsigned threads = 0;
};

// Joins `sources` (in this order) into `outputPath` in copy or recompress mode: steps 3 to 5
// of the job, without any dialog. Shows "Eksportowanie..." and i * 100 / n before source i.
// Throws std::runtime_error with the system's text. Before anything is written, an output
// that is one of the sources (the same file under another spelling or a hard link included)
// is refused, and every source is checked to be a readable, non-empty regular file that
// starts as an AVI file. The output is written under a temporary name beside it and replaces
// it only once finished: after any failure the earlier file at `outputPath` (if any) is as
// it was and no temporary file is left.
void JoinAviFiles(ExportMode mode, const std::vector<std::wstring>& sources, const std::wstring& outputPath,
                  ExportStatusSink& status, const ExportOptions& options = {});

// One job as the dialog's worker runs it: nothing when there are no sources, otherwise
// asks for the output file (a cancel ends the job) and joins.
void RunExport(ExportMode mode, const std::vector<std::wstring>& sources, ExportView& view,
               const ExportOptions& options = {});

// Recompresses one frame: decode, grey to RGB, encode at quality 98. Throws
// "Nie powiodła się dekompresja JPEG.", "Nie powiodła się konwersja z Y do RGB." or
// "Nie powiodła się ponowna kompresja do JPEG.".
struct JpegBytes {
  HeapBytes data;
  std::uint32_t length = 0;
};
JpegBytes RecompressFrame(const std::uint8_t* frame, std::uint32_t length);

// Texts of the job (Windows-1250).
std::string ExportingText();    // "Eksportowanie..."
std::string ExportDoneText();   // "Zrobione"
std::string ExportReadyText();  // "Gotowy"
// "Nie udało się wczytać pliku `" + name + "'.\n" + message
std::string SourceFailedText(const std::string& sourceName, const std::string& message);
