// The portable part of the archive medium dialog "Przygotowanie nośnika archiwum" (dialog
// 116): the sample size at a quality, the bit rate and recording time labels, the drive
// check and the settings file "archcfg.txt". The Win32 dialog implements ArchiveMediumUi and
// forwards its commands here.
#pragma once

#include <cstdint>
#include <string>

#include "archive/sample_picture.h"

struct ArchiveMediumState {
  std::uint32_t quality = 95;    // trackbar position, 0 to 99
  std::uint32_t cameras = 2;     // 1 or 2
  std::uint32_t capacity = 0;    // whole decimal gigabytes
  std::uint32_t sampleSize = 0;  // the sample compressed at `quality`, in bytes
  std::wstring mediumPath;       // file-system path of the chosen medium
  std::uint32_t archiveDays = 0; // last computed recording time in days
};

// The two labels: 1026 "Przepływność: %u kbps" and 1028 "Czas zapisu: ...".
struct ArchiveLabels {
  std::wstring bitRate;
  std::wstring recordingTime;
};

// Recomputes the labels from sample size, cameras and capacity, and sets archive days
// (kept as they were when the bit rate is 0 and the time is "∞").
ArchiveLabels RecomputeArchiveLabels(ArchiveMediumState& state);

// Compresses the sample at `quality` and decodes it again, as the preview does. Returns
// the compressed length (0 when encoding fails); `decoded`, when given, receives the
// decoded 180 x 144 grey picture (left untouched when decoding fails).
std::uint32_t CompressSample(const SampleImage& sample, std::uint32_t quality, SampleImage* decoded = nullptr);

// Drive number 0..25 from the path's first letter (a/A = 0); any other start throws
// "Niepoprawna ścieżka dostępu do nośnika".
int DriveNumberFromPath(const std::wstring& path);

// Writes the two lines of "archcfg.txt" to `filePath`, each ending in CR LF on every
// platform. Throws the File open/write texts.
void WriteArchiveConfig(const std::wstring& filePath, std::uint32_t archiveDays, std::uint32_t quality);

// Medium path + "\archcfg.txt" (appended unchanged; natively with "/").
std::wstring ArchiveConfigPath(const std::wstring& mediumPath);

// What saving asks of the dialog.
class ArchiveMediumUi {
 public:
  enum class Answer { Yes, No, Cancel };
  virtual ~ArchiveMediumUi() = default;
  // "Sformatować nośnik?" titled "Zapisz konfigurację", question icon, Yes/No/Cancel.
  virtual Answer AskFormat() = 0;
  // SHFormatDrive(dialog, drive, SHFMT_ID_DEFAULT, SHFMT_OPT_FULL); returns its result.
  virtual std::uint32_t FormatDrive(int drive) = 0;
  // "Nośnik został przygotowany." titled "Zapisz konfigurację", information icon.
  virtual void ShowPrepared(const std::wstring& text) = 0;
};

// "Zapisz konfigurację": checks the path, asks about formatting, formats when asked, writes
// the settings file and reports. Returns false when the question was cancelled (nothing
// written). Throws "Nie wybrano nośnika", "Niepoprawna ścieżka dostępu do nośnika",
// "Formatowanie nie powiodło się" or a File text.
bool SaveArchiveConfiguration(const ArchiveMediumState& state, ArchiveMediumUi& ui);

// SHFormatDrive's failure results: SHFMT_ERROR, SHFMT_CANCEL, SHFMT_NOFORMAT.
constexpr std::uint32_t kFormatError = 0xFFFFFFFF;
constexpr std::uint32_t kFormatCancel = 0xFFFFFFFE;
constexpr std::uint32_t kFormatNoFormat = 0xFFFFFFFD;
