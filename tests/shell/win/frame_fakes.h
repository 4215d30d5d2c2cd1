// Fakes of the windows the main frame owns (frame_parts.h), of its modal questions and of the
// shell, recording what the frame asked of them in one log. The views and floating windows are
// real windows, so their visibility is what a user would see.
#pragma once

#include <windows.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "device/connection.h"
#include "device/discovery.h"
#include "device/live_state.h"
#include "doc/document.h"
#include "doc/editor_commands.h"
#include "doc/file_commands.h"
#include "app/win/main_frame.h"

namespace frame_test {

using Log = std::vector<std::string>;

inline HWND MakeView(HWND parent, const RECT& area) {
  return CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_CLIPSIBLINGS | SS_BLACKRECT, area.left, area.top,
                         area.right - area.left, area.bottom - area.top, parent, nullptr, GetModuleHandleW(nullptr),
                         nullptr);
}

class FakeEditor : public EditorPart {
 public:
  explicit FakeEditor(Log& log) : log_(log) {}
  void Create(FrameContext&, HWND parent, const RECT& area) override { view = MakeView(parent, area); }
  void Layout(const RECT& area) override {
    MoveWindow(view, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
  }
  void Show(bool visible) override { ShowWindow(view, visible ? SW_SHOW : SW_HIDE); }
  void ZoomIn() override { log_.push_back("editor.ZoomIn"); }
  void ZoomOut() override { log_.push_back("editor.ZoomOut"); }
  bool Command(UINT id) override {
    // The editor's own identifiers; anything else is not the editor's.
    const bool own = std::find(kEditorStateCommands.begin(), kEditorStateCommands.end(), id) != kEditorStateCommands.end();
    log_.push_back((own ? "editor.Command " : "editor.Refused ") + std::to_string(id));
    return own;
  }
  std::optional<CommandState> StateOf(UINT, bool) const override { return std::nullopt; }
  void DocumentReplaced() override { log_.push_back("editor.DocumentReplaced"); }
  void FollowSelection() override { ++follows; }
  void ServeUpdates(std::uint32_t bits) override { log_.push_back("editor.ServeUpdates " + std::to_string(bits)); }

  HWND view = nullptr;
  int follows = 0;  // FollowSelection calls

 private:
  Log& log_;
};

class FakeLive : public LivePart {
 public:
  explicit FakeLive(Log& log) : log_(log) {}
  void Create(FrameContext&, HWND parent, const RECT& area) override { view = MakeView(parent, area); }
  void Layout(const RECT& area) override {
    MoveWindow(view, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
  }
  void Show(bool visible) override { ShowWindow(view, visible ? SW_SHOW : SW_HIDE); }
  void ZoomIn() override { log_.push_back("live.ZoomIn"); }
  void ZoomOut() override { log_.push_back("live.ZoomOut"); }
  bool DetectionPreview() const override { return preview; }
  void SetDetectionPreview(bool on) override {
    preview = on;
    log_.push_back(on ? "live.Preview on" : "live.Preview off");
  }
  void SelectAddress(std::uint32_t) override {}
  std::vector<Picture> CurrentPictures() const override { return {}; }
  void StopWorkers() override { log_.push_back("live.StopWorkers"); }

  HWND view = nullptr;
  bool preview = false;

 private:
  Log& log_;
};

// A floating window: a real captioned tool window owned by the main window.
template <class Part>
class FakeFloating : public Part {
 public:
  void Create(FrameContext& frame, int top) override {
    window = CreateWindowExW(WS_EX_TOOLWINDOW, L"Static", L"", WS_POPUP | WS_CAPTION, 10, top, 160, 120,
                             frame.MainWindow(), nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  void Show(bool visible) override { ShowWindow(window, visible ? SW_SHOWNOACTIVATE : SW_HIDE); }
  HWND Handle() const override { return window; }
  bool Visible() const { return IsWindowVisible(window) != FALSE; }
  HWND window = nullptr;
};

// Bound to the selected detector: the last one (null for none) and how often.
struct BindRecord {
  const Detector* last = nullptr;
  int binds = 0;
  void Bind(const Detector* detector) {
    last = detector;
    ++binds;
  }
};
class FakeParameters : public FakeFloating<ParametersPart> {
 public:
  void Bind(const Detector* detector) override { bound.Bind(detector); }
  BindRecord bound;
};
class FakeDefinitions : public FakeFloating<DefinitionsPart> {
 public:
  void Invalidate(const RenderState& state) override { shown.push_back(&state); }
  std::vector<const RenderState*> shown;  // the revisions handed over, in order
};
class FakeTuning : public FakeFloating<TuningPart> {
 public:
  void Bind(const Detector* detector) override { bound.Bind(detector); }
  BindRecord bound;
  device::TuningTarget& Target() override { return state; }
  device::TuningState state;
};
class FakeDeviceList : public FakeFloating<DeviceListPart> {
 public:
  std::uint32_t SelectedAddress() const override { return 0; }
  device::DeviceList& Devices() override { return devices_; }

 private:
  device::DeviceList devices_{nullptr};
};

// Records the dialog opened; the login dialog opens the card it is given, as the real one does
// after the user confirms.
class FakeDialogs : public FrameDialogs {
 public:
  explicit FakeDialogs(Log& log) : log_(log) {}
  void Login(FrameContext& frame) override {
    log_.push_back("dialog.Login");
    if (cardAddress) frame.CardConnection().PostOpen(cardAddress, user, password);
  }
  void ChangePassword(FrameContext&) override { log_.push_back("dialog.ChangePassword"); }
  void Network(FrameContext&) override { log_.push_back("dialog.Network"); }
  void ArchiveDownload(FrameContext&) override { log_.push_back("dialog.ArchiveDownload"); }
  void Export(FrameContext&) override { log_.push_back("dialog.Export"); }
  void Medium(FrameContext&) override { log_.push_back("dialog.Medium"); }
  void OutputTest(FrameContext& frame) override {
    log_.push_back("dialog.OutputTest");
    frame.OutputTest().Open();
    frame.OutputTest().SetMask(5);
  }
  void About(FrameContext&) override { log_.push_back("dialog.About"); }

  std::uint32_t cardAddress = 0;
  std::string user, password;

 private:
  Log& log_;
};

// Answers the unsaved-changes question from a queue (Cancel when empty) and the file dialogs
// with `path` (cancel when empty).
class FakeFiles : public FileDialogs {
 public:
  explicit FakeFiles(Log& log) : log_(log) {}
  SaveAnswer AskYesNoCancel(const std::wstring&, const std::wstring&) override {
    log_.push_back("files.Ask");
    if (answers.empty()) return SaveAnswer::Cancel;
    const SaveAnswer a = answers.front();
    answers.pop_front();
    return a;
  }
  bool ChooseFile(const FileRequest& request, std::string& chosen) override {
    log_.push_back(request.save ? "files.ChooseSave" : "files.ChooseOpen");
    offered = request.proposedName;
    if (path.empty()) return false;
    chosen = path;
    return true;
  }
  std::deque<SaveAnswer> answers;
  std::string path;
  std::wstring offered;  // the name the last dialog proposed

 private:
  Log& log_;
};

class FakeShell : public ShellLauncher {
 public:
  explicit FakeShell(Log& log) : log_(log) {}
  void Open(HWND, const std::wstring& target) override {
    const auto slash = target.rfind(L'\\');
    std::string tail;
    for (wchar_t c : target.substr(slash == std::wstring::npos ? 0 : slash)) tail += static_cast<char>(c);
    log_.push_back("shell.Open " + tail);
  }

 private:
  Log& log_;
};

// The fakes together, with direct access for the tests.
struct FakeBundle {
  FakeEditor* editor = nullptr;
  FakeLive* live = nullptr;
  FakeParameters* parameters = nullptr;
  FakeDefinitions* definitions = nullptr;
  FakeTuning* tuning = nullptr;
  FakeDeviceList* deviceList = nullptr;
  FakeDialogs* dialogs = nullptr;
  FakeFiles* files = nullptr;
};

inline FrameParts MakeFakeParts(Log& log, FakeBundle& out, device::ConnectionOptions connection = {}) {
  FrameParts parts;
  auto editor = std::make_unique<FakeEditor>(log);
  auto live = std::make_unique<FakeLive>(log);
  auto parameters = std::make_unique<FakeParameters>();
  auto definitions = std::make_unique<FakeDefinitions>();
  auto tuning = std::make_unique<FakeTuning>();
  auto deviceList = std::make_unique<FakeDeviceList>();
  auto dialogs = std::make_unique<FakeDialogs>(log);
  auto files = std::make_unique<FakeFiles>(log);
  out = {editor.get(), live.get(), parameters.get(), definitions.get(), tuning.get(), deviceList.get(),
         dialogs.get(), files.get()};
  parts.editor = std::move(editor);
  parts.live = std::move(live);
  parts.parameters = std::move(parameters);
  parts.definitions = std::move(definitions);
  parts.tuning = std::move(tuning);
  parts.deviceList = std::move(deviceList);
  parts.dialogs = std::move(dialogs);
  parts.files = std::move(files);
  parts.shell = std::make_unique<FakeShell>(log);
  parts.connection = std::move(connection);
  return parts;
}

}  // namespace frame_test
