// A small stand-in for the main frame in the editor's and the logic windows' tests: a host
// window (its own hidden one unless the test gives one), the document, whose events it hands on
// to the parts as the main frame does, recorded update requests served the way the main loop
// serves them, file dialogs that answer from a queue, live pictures set by the test, recording
// panels and the output test state. What these windows never ask for throws.
#pragma once

#include <windows.h>

#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "device/live_state.h"
#include "doc/document.h"
#include "doc/file_commands.h"
#include "doc/render_state.h"
#include "shell/win/frame_parts.h"
#include "shell/win/win_test_support.h"
#include "support/recording_updates.h"

namespace trevna_test {

class FakeFileDialogs : public FileDialogs {
 public:
  std::deque<std::string> paths;  // answers of ChooseFile; empty = cancelled
  std::vector<FileRequest> requests;
  SaveAnswer AskYesNoCancel(const std::wstring&, const std::wstring&) override { return SaveAnswer::No; }
  bool ChooseFile(const FileRequest& request, std::string& path) override {
    requests.push_back(request);
    if (paths.empty()) return false;
    path = paths.front();
    paths.pop_front();
    return true;
  }
};

class FakeLive : public LivePart {
 public:
  std::vector<Picture> pictures;
  void Create(FrameContext&, HWND, const RECT&) override {}
  void Layout(const RECT&) override {}
  void Show(bool) override {}
  void ZoomIn() override {}
  void ZoomOut() override {}
  bool DetectionPreview() const override { return false; }
  void SetDetectionPreview(bool) override {}
  void SelectAddress(std::uint32_t) override {}
  std::vector<Picture> CurrentPictures() const override { return pictures; }
  void StopWorkers() override {}
};

// Records what the editor binds: the detector shown (copied) or none.
class RecordingBinder : public ParametersPart, public TuningPart, public DefinitionsPart {
 public:
  int binds = 0;
  bool bound = false;
  Detector last;
  int definitionsShown = 0;
  void Bind(const Detector* detector) override {
    ++binds;
    bound = detector != nullptr;
    if (detector) last = *detector;
  }
  void Invalidate(const RenderState&) override { ++definitionsShown; }
  device::TuningTarget& Target() override { throw std::logic_error("no tuning target in this test"); }
  void Create(FrameContext&, int) override {}
  void Show(bool) override {}
  HWND Handle() const override { return nullptr; }
};

// The editor of windows tested without it: does nothing.
class NoEditor : public EditorPart {
 public:
  void Create(FrameContext&, HWND, const RECT&) override {}
  void Layout(const RECT&) override {}
  void Show(bool) override {}
  void ZoomIn() override {}
  void ZoomOut() override {}
  bool Command(UINT) override { return false; }
  std::optional<CommandState> StateOf(UINT, bool) const override { return std::nullopt; }
  void DocumentReplaced() override {}
  void FollowSelection() override {}
  void ServeUpdates(std::uint32_t) override {}
};

class FakeFrame : public FrameContext, private DocumentObserver {
 public:
  explicit FakeFrame(HWND host = nullptr)
      : host_(host ? host : ownHost_.Create(WS_OVERLAPPEDWINDOW, 600, 0, 640, 480)) {
    document.SetObserver(this);
  }
  ~FakeFrame() override { document.SetObserver(nullptr); }

  RecordingUpdates updates;
  Document document{updates};
  FakeFileDialogs files;
  FakeLive live;
  RecordingBinder binder;
  NoEditor noEditor;
  EditorPart* editor = &noEditor;
  ParametersPart* parameters = &binder;
  device::OutputTestState outputTest;
  std::vector<Panel> closed;

  // The main loop's idle work: serve the requested bits until none are left.
  void Serve() {
    for (int round = 0; round < 16; ++round) {
      const std::uint32_t bits = updates.Take();
      if (!bits) break;
      ServeEditorUpdates(*this, bits);
    }
  }

  HWND MainWindow() const override { return host_; }
  HINSTANCE Instance() const override { return GetModuleHandleW(nullptr); }
  UpdateSink& Updates() override { return updates; }
  Document& Doc() override { return document; }
  UiQueue& Queue() override { throw std::logic_error("no UI queue in this test"); }
  device::Connection& CardConnection() override { throw std::logic_error("no connection in this test"); }
  device::StatusSink& Status() override { throw std::logic_error("no status bar in this test"); }
  device::MessageSink& Messages() override { throw std::logic_error("no message box in this test"); }
  FileDialogs& Files() override { return files; }
  device::OutputTestState& OutputTest() override { return outputTest; }
  void PanelClosed(Panel panel) override { closed.push_back(panel); }
  EditorPart& Editor() override { return *editor; }
  LivePart& Live() override { return live; }
  ParametersPart& Parameters() override { return *parameters; }
  DefinitionsPart& Definitions() override { return binder; }
  TuningPart& Tuning() override { return binder; }
  DeviceListPart& DeviceList() override { throw std::logic_error("no device list in this test"); }

 private:
  void SelectRevision(const RenderState&) override { FollowRevision(*this); }
  void ShowDefinitions(const RenderState& state) override { ShowRevisionDefinitions(*this, state); }

  RecordingWindow ownHost_;
  HWND host_;
};

}  // namespace trevna_test
