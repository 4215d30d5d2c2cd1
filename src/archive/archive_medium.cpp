#include "archive/archive_medium.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <stdexcept>

#include "archive/jpeg_codec.h"
#include "base/file.h"
#include "base/platform.h"
#include "base/text.h"

namespace {

[[noreturn]] void Fail(const char* utf8) { throw std::runtime_error(Cp1250FromUtf8(utf8)); }

std::wstring Format(const char* utf8Format, std::uint32_t a) {
  char text[128];
  std::snprintf(text, sizeof text, utf8Format, a);
  return WideFromUtf8(text);
}

}  // namespace

ArchiveLabels RecomputeArchiveLabels(ArchiveMediumState& state) {
  // The card's recording rate folded into one constant: the bit rate is the sample's size
  // times the cameras times 57.6 (32-bit arithmetic, as the card's own estimate does).
  const std::uint32_t a = state.sampleSize * state.cameras * 5760;
  const std::uint32_t b = a / 100;
  ArchiveLabels labels;
  labels.bitRate = Format("Przepływność: %u kbps", (b + 999) / 1000);
  if (b == 0) {
    labels.recordingTime = WideFromUtf8("Czas zapisu: ∞");
    return labels;
  }
  const std::uint64_t bytesPerHour = std::uint64_t{b / 8} * 3600;
  const auto hours = static_cast<std::uint32_t>(std::uint64_t{state.capacity} * 1000000000ull / bytesPerHour);
  state.archiveDays = hours / 24;
  if (hours < 48) {
    labels.recordingTime = Format("Czas zapisu: %u godz.", hours);
  } else {
    char text[128];
    std::snprintf(text, sizeof text, "Czas zapisu: %u %s", state.archiveDays, "dni");
    labels.recordingTime = WideFromUtf8(text);
  }
  return labels;
}

std::uint32_t CompressSample(const SampleImage& sample, std::uint32_t quality, SampleImage* decoded) {
  std::uint8_t* jpeg = nullptr;
  std::uint32_t length = 0;
  if (!EncodeJpeg(sample.data(), kSampleWidth, kSampleHeight, 1, static_cast<int>(quality), &jpeg, &length)) return 0;
  HeapBytes owned(jpeg);
  RawImage image;
  if (DecodeJpeg(jpeg, length, image)) {
    HeapBytes pixels(image.pixels);
    if (decoded && image.width == kSampleWidth && image.height == kSampleHeight && image.components == 1)
      std::copy(image.pixels, image.pixels + decoded->size(), decoded->begin());
  }
  return length;
}

int DriveNumberFromPath(const std::wstring& path) {
  const wchar_t first = path.empty() ? L'\0' : path[0];
  if (first >= L'a' && first <= L'z') return first - L'a';
  if (first >= L'A' && first <= L'Z') return first - L'A';
  Fail("Niepoprawna ścieżka dostępu do nośnika");
}

std::wstring ArchiveConfigPath(const std::wstring& mediumPath) {
  return mediumPath + platform::PathSeparator() + L"archcfg.txt";
}

void WriteArchiveConfig(const std::wstring& filePath, std::uint32_t archiveDays, std::uint32_t quality) {
  // Binary mode with explicit CR LF: the card reads the same bytes whichever system wrote them.
  File file(filePath, "wb");
  file.Print("archive_days = %u\r\n", archiveDays);
  file.Print("archive_quality = %u\r\n", quality);
  file.Close();
}

bool SaveArchiveConfiguration(const ArchiveMediumState& state, ArchiveMediumUi& ui) {
  if (state.mediumPath.empty()) Fail("Nie wybrano nośnika");
  const int drive = DriveNumberFromPath(state.mediumPath);
  switch (ui.AskFormat()) {
    case ArchiveMediumUi::Answer::Cancel:
      return false;
    case ArchiveMediumUi::Answer::Yes: {
      const std::uint32_t result = ui.FormatDrive(drive);
      if (result == kFormatError || result == kFormatCancel || result == kFormatNoFormat)
        Fail("Formatowanie nie powiodło się");
      break;
    }
    case ArchiveMediumUi::Answer::No:
      break;
  }
  WriteArchiveConfig(ArchiveConfigPath(state.mediumPath), state.archiveDays, state.quality);
  ui.ShowPrepared(WideFromUtf8("Nośnik został przygotowany."));
  return true;
}
