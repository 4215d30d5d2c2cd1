// The one place where the program's windows are put together for the main frame.
//
// PLACEHOLDERS: the classes and functions named Placeholder* below stand in for windows that are
// built in other subsystems (src/doc/win, src/logic/win, src/device/win, src/archive/win). Each
// is replaced here, and only here, by the real window when it exists.
#include "shell/win/application_parts.h"

#include <commdlg.h>

#include <memory>
#include <string>

#include "base/text.h"
#include "device/live_state.h"
#include "doc/document.h"
#include "shell/win/frame_dialogs.h"
#include "shell/win/shell_launcher.h"

namespace {

// A plain child window for a tab's view.
HWND PlaceholderView(HWND parent, const RECT& area, HINSTANCE instance) {
  return CreateWindowExW(WS_EX_CLIENTEDGE, L"Static", L"", WS_CHILD | WS_CLIPSIBLINGS | SS_WHITERECT, area.left,
                         area.top, area.right - area.left, area.bottom - area.top, parent, nullptr, instance,
                         nullptr);
}

class PlaceholderTab {
 protected:
  void CreateView(FrameContext& frame, HWND parent, const RECT& area) {
    view_ = PlaceholderView(parent, area, frame.Instance());
  }
  void PlaceView(const RECT& area) {
    MoveWindow(view_, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
  }
  void ShowView(bool visible) { ShowWindow(view_, visible ? SW_SHOW : SW_HIDE); }
  HWND view_ = nullptr;
};

class PlaceholderEditor : public EditorPart, PlaceholderTab {
 public:
  explicit PlaceholderEditor(UpdateSink& updates) : document_(updates) {}
  void Create(FrameContext& frame, HWND parent, const RECT& area) override { CreateView(frame, parent, area); }
  void Layout(const RECT& area) override { PlaceView(area); }
  void Show(bool visible) override { ShowView(visible); }
  void ZoomIn() override {}
  void ZoomOut() override {}
  Document& Doc() override { return document_; }
  bool Command(UINT) override { return false; }
  void UpdateMenu(HMENU) override {}
  void DocumentReplaced() override {}
  void ServeUpdates(std::uint32_t) override {}

 private:
  Document document_;
};

class PlaceholderLive : public LivePart, PlaceholderTab {
 public:
  void Create(FrameContext& frame, HWND parent, const RECT& area) override { CreateView(frame, parent, area); }
  void Layout(const RECT& area) override { PlaceView(area); }
  void Show(bool visible) override { ShowView(visible); }
  void ZoomIn() override {}
  void ZoomOut() override {}
  bool DetectionPreview() const override { return preview_; }
  void SetDetectionPreview(bool on) override { preview_ = on; }
  void SelectAddress(std::uint32_t) override {}
  std::vector<Picture> CurrentPictures() const override { return {}; }
  void StopWorkers() override {}

 private:
  bool preview_ = false;
};

template <class Part>
class PlaceholderFloating : public Part {
 public:
  void Create(FrameContext&, int) override {}
  void Show(bool) override {}
  HWND Handle() const override { return nullptr; }
};

class PlaceholderParameters : public PlaceholderFloating<ParametersPart> {
 public:
  void Bind(const Detector*) override {}
};

class PlaceholderDefinitions : public PlaceholderFloating<DefinitionsPart> {
 public:
  void Invalidate(const RenderState&) override {}
};

class PlaceholderTuning : public PlaceholderFloating<TuningPart> {
 public:
  void Bind(const Detector*) override {}
  device::TuningTarget& Target() override { return target_; }

 private:
  device::TuningState target_;
};

class PlaceholderDeviceList : public PlaceholderFloating<DeviceListPart> {
 public:
  std::uint32_t SelectedAddress() const override { return 0; }
};

// The unsaved-changes question and the standard open and save dialogs, without an owner.
class PlaceholderFileDialogs : public FileDialogs {
 public:
  SaveAnswer AskYesNoCancel(const std::wstring& text, const std::wstring& title) override {
    switch (MessageBoxW(GetActiveWindow(), text.c_str(), title.c_str(), MB_YESNOCANCEL | MB_ICONQUESTION)) {
      case IDYES:
        return SaveAnswer::Yes;
      case IDNO:
        return SaveAnswer::No;
      default:
        return SaveAnswer::Cancel;
    }
  }
  bool ChooseFile(const FileRequest& request, std::string& path) override {
    std::wstring filter = request.filterName + L'\0' + request.pattern + L'\0' + L'\0';
    std::wstring name = request.proposedName;
    name.resize(static_cast<std::size_t>(request.nameBufferLength), L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = GetActiveWindow();
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = name.data();
    ofn.nMaxFile = static_cast<DWORD>(name.size());
    ofn.lpstrInitialDir = request.initialFolder.c_str();
    ofn.lpstrDefExt = request.defaultExtension.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_ENABLESIZING |
                (request.save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
    if (!(request.save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return false;
    path = Cp1250FromWide(name.c_str());
    return true;
  }
};

}  // namespace

void PlaceholderLoginDialog(FrameContext&) {}
void PlaceholderPasswordDialog(FrameContext&) {}
void PlaceholderNetworkDialog(FrameContext&) {}
void PlaceholderArchiveDialog(FrameContext&) {}
void PlaceholderExportDialog(FrameContext&) {}
void PlaceholderMediumDialog(FrameContext&) {}
void PlaceholderOutputTestDialog(FrameContext&) {}

FrameParts MakeApplicationParts(PendingUpdates& updates) {
  FrameParts parts;
  parts.editor = std::make_unique<PlaceholderEditor>(updates);
  parts.live = std::make_unique<PlaceholderLive>();
  parts.parameters = std::make_unique<PlaceholderParameters>();
  parts.definitions = std::make_unique<PlaceholderDefinitions>();
  parts.tuning = std::make_unique<PlaceholderTuning>();
  parts.deviceList = std::make_unique<PlaceholderDeviceList>();
  parts.dialogs = std::make_unique<AppFrameDialogs>(std::make_unique<Win32ShellLauncher>());
  parts.files = std::make_unique<PlaceholderFileDialogs>();
  parts.shell = std::make_unique<Win32ShellLauncher>();
  return parts;
}
