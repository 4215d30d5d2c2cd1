// A small stand-in for the main frame: the editor's document, the output test state, a hidden
// main window, and a record of the panels closed. What the logic windows never ask for throws.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <vector>

#include "device/live_state.h"
#include "doc/document.h"
#include "shell/win/frame_parts.h"
#include "shell/win/win_test_support.h"
#include "support/recording_updates.h"

namespace logic_test {

class FakeEditor : public EditorPart {
 public:
  explicit FakeEditor(UpdateSink& updates) : document(updates) {}
  void Create(FrameContext&, HWND, const RECT&) override {}
  void Layout(const RECT&) override {}
  void Show(bool) override {}
  void ZoomIn() override {}
  void ZoomOut() override {}
  Document& Doc() override { return document; }
  bool Command(UINT) override { return false; }
  std::optional<CommandState> StateOf(UINT, bool) const override { return std::nullopt; }
  void DocumentReplaced() override {}
  void ServeUpdates(std::uint32_t) override {}
  Document document;
};

class FakeParameters : public ParametersPart {
 public:
  void Create(FrameContext&, int) override {}
  void Show(bool) override {}
  HWND Handle() const override { return nullptr; }
  void Bind(const Detector*) override {}
};

class FakeFrame : public FrameContext {
 public:
  FakeFrame() : editor(updates) {
    main.Create(WS_OVERLAPPEDWINDOW, 600, 0, 640, 480);
  }
  HWND MainWindow() const override { return main.window; }
  HINSTANCE Instance() const override { return GetModuleHandleW(nullptr); }
  UpdateSink& Updates() override { return updates; }
  UiQueue& Queue() override { throw Unused(); }
  device::Connection& CardConnection() override { throw Unused(); }
  device::StatusSink& Status() override { throw Unused(); }
  device::MessageSink& Messages() override { throw Unused(); }
  FileDialogs& Files() override { throw Unused(); }
  device::OutputTestState& OutputTest() override { return outputTest; }
  void PanelClosed(Panel panel) override { closed.push_back(panel); }
  EditorPart& Editor() override { return editor; }
  LivePart& Live() override { throw Unused(); }
  ParametersPart& Parameters() override { return parameters; }
  DefinitionsPart& Definitions() override { throw Unused(); }
  TuningPart& Tuning() override { throw Unused(); }
  DeviceListPart& DeviceList() override { throw Unused(); }

  Document& Doc() { return editor.document; }

  RecordingUpdates updates;
  FakeEditor editor;
  FakeParameters parameters;
  device::OutputTestState outputTest;
  RecordingWindow main;
  std::vector<Panel> closed;

 private:
  static std::logic_error Unused() { return std::logic_error("not used by the logic windows"); }
};

}  // namespace logic_test
