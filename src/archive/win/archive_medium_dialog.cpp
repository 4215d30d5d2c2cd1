#include "archive/win/archive_medium_dialog.h"

#include <commctrl.h>
#include <commoncontrols.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "base/text.h"
#include "resource_ids.h"
#include "shell/win/gdi.h"

namespace {

constexpr int kPreviewWidth = kSampleWidth * ArchiveMediumDialog::kPreviewScale;
constexpr int kPreviewHeight = kSampleHeight * ArchiveMediumDialog::kPreviewScale;
constexpr std::size_t kMediumLabelLength = 300;
// IID_IImageList (the import library of the cross build does not carry it).
constexpr GUID kImageListInterface = {0x46eb5926, 0x582e, 0x4017, {0x9f, 0xdf, 0xe8, 0x99, 0x8d, 0xaa, 0x09, 0x50}};

std::wstring SaveTitle() { return WideFromUtf8("Zapisz konfigurację"); }

BITMAPINFO TopDown32(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

// "%s, %u GB" with the medium's display name, at most 300 characters.
std::wstring MediumLabel(const std::wstring& displayName, std::uint32_t gigabytes) {
  std::wstring label = displayName + L", " + std::to_wstring(gigabytes) + L" GB";
  if (label.size() > kMediumLabelLength) label.resize(kMediumLabelLength);
  return label;
}

}  // namespace

SampleImage LoadSamplePicture(HINSTANCE instance) {
  BitmapHandle bitmap(LoadBitmapW(instance, MAKEINTRESOURCEW(IDB_SAMPLE_PICTURE)));
  BITMAP shape{};
  if (bitmap && GetObjectW(bitmap.Get(), sizeof shape, &shape) == sizeof shape &&
      shape.bmWidth == static_cast<LONG>(kSampleWidth) && shape.bmHeight == static_cast<LONG>(kSampleHeight)) {
    std::vector<std::uint8_t> bits(std::size_t{kSampleWidth} * kSampleHeight * 4);
    BITMAPINFO info = TopDown32(kSampleWidth, kSampleHeight);
    WindowDc screen(nullptr);
    if (GetDIBits(screen.Get(), bitmap.Get(), 0, kSampleHeight, bits.data(), &info, DIB_RGB_COLORS) ==
        static_cast<int>(kSampleHeight)) {
      return SampleFromBitmapBits(bits.data(), 4, kSampleWidth * 4, false);
    }
  }
  return SamplePicture();
}

bool Win32MediumShell::BrowseForMedium(HWND owner, MediumChoice& choice) {
  const std::wstring title = WideFromUtf8("Wybierz nośnik");
  wchar_t displayName[MAX_PATH] = L"";
  BROWSEINFOW browse{};
  browse.hwndOwner = owner;
  browse.pszDisplayName = displayName;
  browse.lpszTitle = title.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NONEWFOLDERBUTTON;
  PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&browse);
  if (!item) return false;
  wchar_t path[MAX_PATH] = L"";
  const bool found = SHGetPathFromIDListW(item, path);
  CoTaskMemFree(item);  // the shell allocator's memory
  if (!found) return false;
  choice.path = path;
  choice.displayName = displayName;
  choice.iconIndex = browse.iImage;
  return true;
}

std::optional<std::uint64_t> Win32MediumShell::TotalBytes(const std::wstring& path) {
  ULARGE_INTEGER total{};
  if (!GetDiskFreeSpaceExW(path.c_str(), nullptr, &total, nullptr)) return std::nullopt;
  return total.QuadPart;
}

ArchiveMediumUi::Answer Win32MediumShell::AskFormat(HWND owner) {
  const std::wstring question = WideFromUtf8("Sformatować nośnik?");
  switch (MessageBoxW(owner, question.c_str(), SaveTitle().c_str(), MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDYES:
      return ArchiveMediumUi::Answer::Yes;
    case IDNO:
      return ArchiveMediumUi::Answer::No;
    default:
      return ArchiveMediumUi::Answer::Cancel;
  }
}

std::uint32_t Win32MediumShell::FormatDrive(HWND owner, int drive) {
  return SHFormatDrive(owner, static_cast<UINT>(drive), SHFMT_ID_DEFAULT, SHFMT_OPT_FULL);
}

void Win32MediumShell::ShowPrepared(HWND owner, const std::wstring& text) {
  MessageBoxW(owner, text.c_str(), SaveTitle().c_str(), MB_OK | MB_ICONINFORMATION);
}

ArchiveMediumDialog::ArchiveMediumDialog(MediumShell& shell) : shell_(shell) {}

INT_PTR ArchiveMediumDialog::RunModal(HWND owner) {
  modal_ = true;
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ARCHIVE_MEDIUM), owner,
                         &Dialog::SharedDialogProc, reinterpret_cast<LPARAM>(static_cast<Dialog*>(this)));
}

HWND ArchiveMediumDialog::CreateModeless(HWND owner) {
  modal_ = false;
  return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ARCHIVE_MEDIUM), owner,
                            &Dialog::SharedDialogProc, reinterpret_cast<LPARAM>(static_cast<Dialog*>(this)));
}

INT_PTR ArchiveMediumDialog::DialogProc(HWND, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInit();
      return TRUE;
    case WM_HSCROLL:
      if (reinterpret_cast<HWND>(lparam) != GetDlgItem(dialog, IDC_MEDIUM_QUALITY)) return FALSE;
      state_.quality = static_cast<std::uint32_t>(SendMessageW(reinterpret_cast<HWND>(lparam), TBM_GETPOS, 0, 0));
      InvalidateRect(GetDlgItem(dialog, IDC_MEDIUM_PREVIEW), nullptr, FALSE);
      return TRUE;
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      if (item.CtlID == IDC_MEDIUM_PREVIEW) DrawPreview(item);
      if (item.CtlID == IDC_MEDIUM_ICON) DrawIcon(item);
      return TRUE;
    }
    case WM_COMMAND:
      if (HIWORD(wparam) != BN_CLICKED) return FALSE;
      switch (LOWORD(wparam)) {
        case IDC_MEDIUM_CHOOSE:
          OnChooseMedium();
          return TRUE;
        case IDC_MEDIUM_ONE_CAMERA:
          OnCameras(1);
          return TRUE;
        case IDC_MEDIUM_TWO_CAMERAS:
          OnCameras(2);
          return TRUE;
        case IDC_MEDIUM_SAVE:
          OnSave();
          return TRUE;
        case IDCANCEL:
          OnClose();
          return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      OnClose();
      return TRUE;
  }
  return FALSE;
}

void ArchiveMediumDialog::OnInit() {
  CheckDlgButton(dialog, IDC_MEDIUM_TWO_CAMERAS, BST_CHECKED);
  CheckDlgButton(dialog, IDC_MEDIUM_ONE_CAMERA, BST_UNCHECKED);
  sample_ = LoadSamplePicture(GetModuleHandleW(nullptr));
  preview_ = sample_;
  const HWND trackbar = GetDlgItem(dialog, IDC_MEDIUM_QUALITY);
  SendMessageW(trackbar, TBM_SETRANGE, TRUE, MAKELPARAM(0, 99));
  SendMessageW(trackbar, TBM_SETPOS, TRUE, static_cast<LPARAM>(state_.quality));
  SendMessageW(trackbar, TBM_SETTICFREQ, 10, 0);
  FitPreview();
}

// Gives the preview a client area of exactly three times the sample and makes the dialog
// wide and tall enough for it, whatever the dialog font's size.
void ArchiveMediumDialog::FitPreview() {
  const HWND preview = GetDlgItem(dialog, IDC_MEDIUM_PREVIEW);
  RECT frame{0, 0, kPreviewWidth, kPreviewHeight};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(preview, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(preview, GWL_EXSTYLE)));
  RECT placed;
  GetWindowRect(preview, &placed);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&placed), 2);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  SetWindowPos(preview, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);

  const HWND trackbar = GetDlgItem(dialog, IDC_MEDIUM_QUALITY);
  RECT track;
  GetWindowRect(trackbar, &track);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&track), 2);
  SetWindowPos(trackbar, nullptr, 0, 0, placed.left + width - track.left, track.bottom - track.top,
               SWP_NOMOVE | SWP_NOZORDER);

  RECT margin{0, 0, 7, 7};
  MapDialogRect(dialog, &margin);
  RECT client;
  GetClientRect(dialog, &client);
  const int needRight = placed.left + width + margin.right;
  const int needBottom = placed.top + height + margin.bottom;
  if (needRight != client.right || needBottom != client.bottom) {
    RECT outer{0, 0, needRight, needBottom};
    AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(dialog, GWL_EXSTYLE)));
    SetWindowPos(dialog, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top, SWP_NOMOVE | SWP_NOZORDER);
  }
}

void ArchiveMediumDialog::OnClose() {
  if (modal_) {
    EndDialog(dialog, 2);
  } else {
    DestroyWindow(dialog);
  }
}

void ArchiveMediumDialog::OnChooseMedium() {
  MediumChoice choice;
  if (!shell_.BrowseForMedium(dialog, choice)) return;
  state_.mediumPath = choice.path;
  // A volume whose size cannot be read counts as empty: the recording time shows 0 hours.
  state_.capacity = static_cast<std::uint32_t>(shell_.TotalBytes(choice.path).value_or(0) / 1000000000ull);
  SetDlgItemTextW(dialog, IDC_MEDIUM_NAME, MediumLabel(choice.displayName, state_.capacity).c_str());
  iconIndex_ = choice.iconIndex;
  InvalidateRect(GetDlgItem(dialog, IDC_MEDIUM_ICON), nullptr, TRUE);
  UpdateLabels();
}

void ArchiveMediumDialog::OnCameras(std::uint32_t cameras) {
  if (state_.cameras == cameras) return;
  state_.cameras = cameras;
  UpdateLabels();
}

void ArchiveMediumDialog::OnSave() {
  SaveArchiveConfiguration(state_, *this);  // failures are shown by the dialog procedure
}

void ArchiveMediumDialog::UpdateLabels() {
  const ArchiveLabels labels = RecomputeArchiveLabels(state_);
  SetDlgItemTextW(dialog, IDC_MEDIUM_BIT_RATE, labels.bitRate.c_str());
  SetDlgItemTextW(dialog, IDC_MEDIUM_TIME, labels.recordingTime.c_str());
}

void ArchiveMediumDialog::DrawPreview(const DRAWITEMSTRUCT& item) {
  const std::uint32_t length = CompressSample(sample_, state_.quality, &preview_);
  if (length == 0) return;  // the picture stays undrawn and the labels as they were
  state_.sampleSize = length;
  UpdateLabels();
  std::vector<std::uint32_t> pixels(preview_.size());
  for (std::size_t i = 0; i < preview_.size(); ++i) pixels[i] = preview_[i] * 0x010101u;
  const BITMAPINFO info = TopDown32(kSampleWidth, kSampleHeight);
  SetStretchBltMode(item.hDC, COLORONCOLOR);
  StretchDIBits(item.hDC, item.rcItem.left, item.rcItem.top, kPreviewWidth, kPreviewHeight, 0, 0, kSampleWidth,
                kSampleHeight, pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
}

void ArchiveMediumDialog::DrawIcon(const DRAWITEMSTRUCT& item) const {
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
  if (state_.mediumPath.empty()) return;  // no medium chosen yet: no icon
  // The system's large image list through its own interface: its handle belongs to the shell's
  // copy of the common controls, which need not be the one this program's calls reach.
  IImageList* large = nullptr;
  if (FAILED(SHGetImageList(SHIL_LARGE, kImageListInterface, reinterpret_cast<void**>(&large))) || !large) return;
  HICON icon = nullptr;
  if (SUCCEEDED(large->GetIcon(iconIndex_, ILD_TRANSPARENT, &icon)) && icon) {
    DrawIconEx(item.hDC, item.rcItem.left, item.rcItem.top, icon, 0, 0, 0, nullptr, DI_NORMAL);
    DestroyIcon(icon);
  }
  large->Release();
}

ArchiveMediumUi::Answer ArchiveMediumDialog::AskFormat() { return shell_.AskFormat(dialog); }

std::uint32_t ArchiveMediumDialog::FormatDrive(int drive) { return shell_.FormatDrive(dialog, drive); }

void ArchiveMediumDialog::ShowPrepared(const std::wstring& text) { shell_.ShowPrepared(dialog, text); }

void RunMediumDialog(HWND owner, MediumShell& shell) {
  ArchiveMediumDialog dialog(shell);
  dialog.RunModal(owner);
}

void RunMediumDialog(HWND owner) {
  Win32MediumShell shell;
  RunMediumDialog(owner, shell);
}
