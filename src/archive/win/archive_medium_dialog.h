// The archive medium dialog "Przygotowanie nośnika archiwum" (dialog 116): the medium and its
// size, the cameras, the JPEG quality with a preview of the sample picture at that quality, the
// bit rate and recording time, and "Zapisz konfigurację" (format, then write "archcfg.txt").
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "archive/archive_medium.h"
#include "archive/sample_picture.h"
#include "shell/win/window.h"

// The medium the folder browser returned.
struct MediumChoice {
  std::wstring path;         // file-system path
  std::wstring displayName;  // the browser's display name
  int iconIndex = 0;         // index in the system's large image list
};

// The shell's parts of the dialog: the folder browser, the size query, the format dialog and
// the two message boxes of saving. The Win32 implementation calls the real API; tests fake it.
class MediumShell {
 public:
  virtual ~MediumShell() = default;
  // "Wybierz nośnik": file-system folders only, no "new folder" button. False when cancelled.
  virtual bool BrowseForMedium(HWND owner, MediumChoice& choice) = 0;
  // Total bytes of the volume holding `path`; nothing when the query fails.
  virtual std::optional<std::uint64_t> TotalBytes(const std::wstring& path) = 0;
  // "Sformatować nośnik?" titled "Zapisz konfigurację", question icon, Yes / No / Cancel.
  virtual ArchiveMediumUi::Answer AskFormat(HWND owner) = 0;
  // SHFormatDrive(owner, drive, SHFMT_ID_DEFAULT, SHFMT_OPT_FULL).
  virtual std::uint32_t FormatDrive(HWND owner, int drive) = 0;
  // Information box titled "Zapisz konfigurację".
  virtual void ShowPrepared(HWND owner, const std::wstring& text) = 0;
};

class Win32MediumShell final : public MediumShell {
 public:
  bool BrowseForMedium(HWND owner, MediumChoice& choice) override;
  std::optional<std::uint64_t> TotalBytes(const std::wstring& path) override;
  ArchiveMediumUi::Answer AskFormat(HWND owner) override;
  std::uint32_t FormatDrive(HWND owner, int drive) override;
  void ShowPrepared(HWND owner, const std::wstring& text) override;
};

// The sample picture for the preview: bitmap resource 115 of `instance` (each grey value from
// the blue channel), or the generated picture when the program carries no such bitmap.
SampleImage LoadSamplePicture(HINSTANCE instance);

class ArchiveMediumDialog final : public Dialog, private ArchiveMediumUi {
 public:
  explicit ArchiveMediumDialog(MediumShell& shell);

  INT_PTR RunModal(HWND owner);
  HWND CreateModeless(HWND owner);  // tests; closing destroys it

  INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) override;

  const ArchiveMediumState& State() const { return state_; }
  const SampleImage& Sample() const { return sample_; }
  // Preview placement: three times the sample, from the control's top left corner.
  static constexpr int kPreviewScale = 3;

 private:
  void OnInit();
  void OnClose();
  void OnChooseMedium();
  void OnCameras(std::uint32_t cameras);
  void OnSave();
  void UpdateLabels();
  void DrawPreview(const DRAWITEMSTRUCT& item);
  void DrawIcon(const DRAWITEMSTRUCT& item) const;
  void FitPreview();

  // ArchiveMediumUi
  Answer AskFormat() override;
  std::uint32_t FormatDrive(int drive) override;
  void ShowPrepared(const std::wstring& text) override;

  MediumShell& shell_;
  ArchiveMediumState state_;
  SampleImage sample_{};
  SampleImage preview_{};  // the sample after the JPEG round trip at the current quality
  int iconIndex_ = 0;      // the chosen medium's entry in the system's large image list
  bool modal_ = false;
};

// What the main frame calls: opens "Przygotowanie nośnika archiwum" owned by `owner`.
void RunMediumDialog(HWND owner, MediumShell& shell);
void RunMediumDialog(HWND owner);  // with the real shell
