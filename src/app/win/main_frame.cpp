#include "app/win/main_frame.h"

#include <commctrl.h>

#include <exception>
#include <stdexcept>

#include "app/win/toolbar.h"
#include "base/file.h"
#include "base/text.h"
#include "doc/document.h"
#include "doc/document_file.h"
#include "logic/validation.h"
#include "resource_ids.h"
#include "shell/win/error_box.h"

void ErrorBoxSink::ShowError(const std::string& cp1250Text) {
  ::ShowError(nullptr, cp1250Text);
}

std::optional<std::string> DownloadSaveQuestion::AskSaveFileName() {
  std::string path;
  if (!files_.ChooseFile(DocumentSaveRequest(L"Pobrany dokument.trv"), path)) return std::nullopt;
  return path;
}

MainFrame::MainFrame(PendingUpdates& updates, UiQueue& uiQueue, FrameParts parts)
    : updates_(updates),
      uiQueue_(uiQueue),
      document_(updates),
      parts_(std::move(parts)),
      tabs_(*this, *parts_.live, *parts_.editor),
      postedStatus_(uiQueue, token_.Watch<device::StatusSink>(&statusBar_)),
      postedMessages_(uiQueue, token_.Watch<device::MessageSink>(&errorBox_)),
      connection_(MakeConnection()),
      saveQuestion_(*parts_.files) {
  document_.SetObserver(this);
}

std::unique_ptr<device::Connection> MainFrame::MakeConnection() {
  if (parts_.hostKeyQuestion && !parts_.connection.hostKeyQuestion) {
    parts_.connection.hostKeyQuestion =
        std::make_shared<device::PostedHostKeyQuestion>(uiQueue_, std::weak_ptr(parts_.hostKeyQuestion));
  }
  return std::make_unique<device::Connection>(&postedStatus_, &postedMessages_, parts_.connection);
}

MainFrame::~MainFrame() {
  connection_->Stop();
  // The live workers write into the tuning window and read the device list: they stop before
  // any part goes.
  if (parts_.live) parts_.live->StopWorkers();
  token_.Revoke();
  if (window) DestroyWindow(window);
  document_.SetObserver(nullptr);
}

void MainFrame::Create(HINSTANCE instance) {
  instance_ = instance;
  CreateDescribedWindow(*this, {.className = L"MainFrame",
                                .instance = instance,
                                .classStyle = CS_OWNDC,
                                .background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                                .icon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_MAINFRAME)),
                                .classMenu = MAKEINTRESOURCEW(IDR_MAINMENU),
                                .style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                .title = L"TrevnaConf",
                                .width = CW_USEDEFAULT,
                                .height = CW_USEDEFAULT,
                                .failure = "Nie udało się utworzyć okna głównego."});
  accelerators_ = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
  connection_->Start();

  RECT layout{};
  GetClientRect(window, &layout);
  toolbar_ = CreateToolbar(window, layout);
  statusBar_.Create(window, layout);
  problems_.Create(window, instance, layout);
  tabs_.Create(window, layout);

  RECT frame{};
  GetWindowRect(window, &frame);
  const int top = frame.top + ScaledPixels(80);
  parts_.parameters->Create(*this, top);
  RECT parameters{};
  if (parts_.parameters->Handle()) GetWindowRect(parts_.parameters->Handle(), &parameters);
  parts_.definitions->Create(*this, frame.top + ScaledPixels(84) + (parameters.bottom - parameters.top));
  parts_.deviceList->Create(*this, top);
  parts_.tuning->Create(*this, top);
  parts_.definitions->Invalidate(document_.Current());
  Layout();
  UpdateTitle();
  ShowWindow(window, SW_SHOW);
  updates_.RequestUpdate(UpdateCommands | UpdatePanels);
}

void MainFrame::StopWorkers() {
  connection_->Stop();
  parts_.live->StopWorkers();
}

bool MainFrame::IsDialogTarget(HWND active) const {
  return active && (active == parts_.parameters->Handle() || active == parts_.tuning->Handle());
}

void MainFrame::ServeUpdates(std::uint32_t bits) {
  if (bits & (UpdateCommands | UpdatePanels | UpdateView)) Refresh(bits & (UpdateCommands | UpdatePanels | UpdateView));
  if (bits & UpdateCommands) Validate();
  ServeEditorUpdates(*this, bits);
}

void MainFrame::SelectRevision(const RenderState&) { FollowRevision(*this); }

void MainFrame::ShowDefinitions(const RenderState& state) { ShowRevisionDefinitions(*this, state); }

void MainFrame::PathChanged(const std::string&) { UpdateTitle(); }

void MainFrame::Validate() {
  hasErrors_ = ValidateProgram(document_, problems_);
}

CommandState MainFrame::StateOf(UINT id) const {
  const bool connected = connection_->IsConnected();
  switch (id) {
    case IDM_FILE_SAVE:
      return {document_.Modified(), false};
    case IDM_VIEW_PARAMETERS:
      return {true, parametersVisible_};
    case IDM_VIEW_DEFINITIONS:
      return {true, definitionsVisible_};
    case IDM_VIEW_DEVICE_LIST:
      return {true, deviceListVisible_};
    case IDM_VIEW_TUNING:
      return {true, tuningVisible_};
    case IDM_VIEW_DETECTION_PREVIEW:
      return {true, parts_.live->DetectionPreview()};
    case IDM_CONNECTION_OPEN:
      return {!connected, false};
    case IDM_CONNECTION_CLOSE:
      // An opening under way (a card that does not answer) can be given up too.
      return {connected || connection_->PendingRequest() == device::ConnectionRequest::Open, false};
    case IDM_DEVICE_PROGRAM:
    case IDM_DEVICE_DOWNLOAD_PROGRAM:
    case IDM_DEVICE_RESTART:
    case IDM_ARCHIVE_DOWNLOAD:
    case IDM_DEVICE_PASSWORD:
    case IDM_DEVICE_NETWORK:
      return {connected, false};
    default:
      return parts_.editor->StateOf(id).value_or(CommandState{});
  }
}

void MainFrame::Refresh(std::uint32_t bits) {
  if (bits & (UpdateCommands | UpdateView)) {
    ApplyToolbarStates(toolbar_, [this](UINT id) { return StateOf(id); });
  }
  if (bits & UpdatePanels) {
    const bool configuration = tabs_.CurrentTab() == 1;
    parts_.definitions->Show(definitionsVisible_ && configuration);
    parts_.parameters->Show(parametersVisible_ && configuration);
    parts_.deviceList->Show(deviceListVisible_ && !configuration);
    parts_.tuning->Show(tuningVisible_);
  }
}

void MainFrame::UpdateTitle() {
  if (!window) return;
  const std::string& path = document_.Path();
  const std::wstring title = path.empty() ? L"TrevnaConf" : WideFromCp1250(path) + L" - TrevnaConf";
  wchar_t current[1024] = {};
  GetWindowTextW(window, current, 1024);
  if (title != current) SetWindowTextW(window, title.c_str());
}

bool MainFrame::PanelWanted(Panel panel) const {
  switch (panel) {
    case Panel::Definitions:
      return definitionsVisible_;
    case Panel::Parameters:
      return parametersVisible_;
    case Panel::DeviceList:
      return deviceListVisible_;
    case Panel::Tuning:
      return tuningVisible_;
  }
  return false;
}

void MainFrame::PanelClosed(Panel panel) {
  switch (panel) {
    case Panel::Definitions:
      definitionsVisible_ = false;
      break;
    case Panel::Parameters:
      parametersVisible_ = false;
      break;
    case Panel::DeviceList:
      deviceListVisible_ = false;
      break;
    case Panel::Tuning:
      tuningVisible_ = false;
      break;
  }
  updates_.RequestUpdate(UpdatePanels);
}

void MainFrame::TogglePanel(bool& flag) {
  flag = !flag;
  updates_.RequestUpdate(UpdatePanels);
}

void MainFrame::NewCommand() {
  if (!AskToSave(document_, *parts_.files)) return;
  NewDocument(document_);
  parts_.editor->DocumentReplaced();
}

bool MainFrame::ProgramCard() {
  Document& doc = document_;
  hasErrors_ = ValidateProgram(doc, problems_);
  if (hasErrors_) {
    ::ShowError(nullptr, Cp1250FromUtf8("Program zawiera błędy. Usuń je i spróbuj ponownie."));
    return false;
  }
  if (!connection_->IsConnected()) return false;
  if (!SaveCommand(doc, *parts_.files)) return false;
  try {
    std::string data = File(doc.Path(), "rb").ReadAll();
    if (!connection_->SlotFree()) return false;
    return connection_->PostUploadProgram(std::move(data));
  } catch (const std::exception& e) {
    ::ShowError(nullptr, e.what());
    return false;
  }
}

bool MainFrame::Command(UINT id) {
  EditorPart& editor = *parts_.editor;
  Document& doc = document_;
  device::Connection& card = *connection_;
  switch (id) {
    case IDM_FILE_NEW:
      NewCommand();
      return true;
    case IDM_FILE_OPEN:
      if (OpenCommand(doc, *parts_.files)) editor.DocumentReplaced();
      return true;
    case IDM_FILE_SAVE:
      SaveCommand(doc, *parts_.files);
      return true;
    case IDM_FILE_SAVE_AS:
      SaveAsCommand(doc, *parts_.files);
      return true;
    case IDM_APP_EXIT:
      SendMessageW(window, WM_CLOSE, 0, 0);
      return true;
    case IDM_ZOOM_IN:
    case IDM_ZOOM_OUT:
      return tabs_.Command(id);
    case IDM_VIEW_PARAMETERS:
      TogglePanel(parametersVisible_);
      return true;
    case IDM_VIEW_DEFINITIONS:
      TogglePanel(definitionsVisible_);
      return true;
    case IDM_VIEW_DEVICE_LIST:
      TogglePanel(deviceListVisible_);
      return true;
    case IDM_VIEW_TUNING:
      TogglePanel(tuningVisible_);
      return true;
    case IDM_VIEW_DETECTION_PREVIEW:
      parts_.live->SetDetectionPreview(!parts_.live->DetectionPreview());
      return true;
    case IDM_CONNECTION_OPEN:
      parts_.dialogs->Login(*this);
      return true;
    case IDM_CONNECTION_CLOSE:
      // Never dropped: it interrupts whatever the connection is doing, an opening included.
      card.Post(device::ConnectionRequest::Close);
      return true;
    case IDM_DEVICE_PROGRAM:
      ProgramCard();
      return true;
    case IDM_DEVICE_DOWNLOAD_PROGRAM:
      if (card.IsConnected() && card.SlotFree()) {
        card.PostDownloadProgram(std::make_shared<device::PostedSaveFileQuestion>(
            uiQueue_, token_.Watch<device::SaveFileQuestion>(&saveQuestion_)));
      }
      return true;
    case IDM_DEVICE_RESTART:
      if (card.IsConnected() && card.SlotFree()) card.Post(device::ConnectionRequest::RestartDevice);
      return true;
    case IDM_ARCHIVE_DOWNLOAD:
      parts_.dialogs->ArchiveDownload(*this);
      return true;
    case IDM_ARCHIVE_EXPORT:
      parts_.dialogs->Export(*this);
      return true;
    case IDM_ARCHIVE_MEDIUM:
      parts_.dialogs->Medium(*this);
      return true;
    case IDM_DEVICE_PASSWORD:
      parts_.dialogs->ChangePassword(*this);
      return true;
    case IDM_DEVICE_NETWORK:
      parts_.dialogs->Network(*this);
      return true;
    case IDM_OUTPUT_TEST:
      parts_.dialogs->OutputTest(*this);
      outputTest_.Close();
      return true;
    case IDM_HELP_MANUAL:
      parts_.shell->Open(window, ManualPath());
      return true;
    case IDM_HELP_ABOUT:
      parts_.dialogs->About(*this);
      return true;
    default:
      // Tools, line widths, fills, clipboard, undo / redo, inserts and backgrounds.
      return editor.Command(id);
  }
}

void MainFrame::InitMenu(HMENU menu) {
  ApplyMenuStates(menu, [this](UINT id) { return StateOf(id); });
}

void MainFrame::Layout() {
  if (!toolbar_) return;  // children not created yet
  RECT layout{};
  GetClientRect(window, &layout);
  RECT bar{};
  GetWindowRect(toolbar_, &bar);
  const int toolbarHeight = bar.bottom - bar.top;
  MoveWindow(toolbar_, 0, 0, layout.right, toolbarHeight, TRUE);
  layout.top += toolbarHeight;
  statusBar_.Layout(layout);
  problems_.Layout(layout);
  tabs_.Layout(layout);
}

LRESULT MainFrame::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      Command(LOWORD(wparam));
      return 0;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header->hwndFrom == tabs_.Handle() && header->code == TCN_SELCHANGE) tabs_.SelectionChanged();
      return 0;
    }
    case WM_INITMENU:
      InitMenu(reinterpret_cast<HMENU>(wparam));
      return 0;
    case WM_SIZE:
      Layout();
      return 0;
    case WM_CLOSE:
      if (AskToSave(document_, *parts_.files)) DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      DestroyToolbarImages(toolbar_);  // the toolbar does not own its image list
      token_.Revoke();
      PostQuitMessage(0);
      return 0;
    default:
      return Window::WindowProc(hwnd, message, wparam, lparam);
  }
}
