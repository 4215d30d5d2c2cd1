// The top-level window. It owns the document, everything the user sees (toolbar, tabs with the
// live view and the detector editor, diagnostics list, status bar, four floating tool windows)
// and the Connection worker, routes every command, keeps the menu's check marks and greyed items
// in step, and shows or hides the floating windows. It is the document's one observer and hands
// its events on to the parts and the title. The windows of the subsystems come in through
// FrameParts (shell/win/frame_parts.h), so tests give it fakes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/win/problems_view.h"
#include "app/win/status_bar.h"
#include "app/win/tab_view.h"
#include "base/ui_queue.h"
#include "device/connection.h"
#include "device/live_state.h"
#include "device/posted_sinks.h"
#include "doc/document.h"
#include "doc/file_commands.h"
#include "shell/pending_updates.h"
#include "shell/win/frame_parts.h"
#include "shell/win/main_loop.h"
#include "shell/win/shell_launcher.h"
#include "shell/win/window.h"

// The modal dialogs the frame's commands open, each owned by the main window. Implemented with
// the dialogs of each subsystem (application_parts.h); frame tests record the calls.
class FrameDialogs {
 public:
  virtual ~FrameDialogs() = default;
  virtual void Login(FrameContext& frame) = 0;            // 118, posts Open itself
  virtual void ChangePassword(FrameContext& frame) = 0;   // 119
  virtual void Network(FrameContext& frame) = 0;          // 120
  virtual void ArchiveDownload(FrameContext& frame) = 0;  // 112
  virtual void Export(FrameContext& frame) = 0;           // 113
  virtual void Medium(FrameContext& frame) = 0;           // 116
  virtual void OutputTest(FrameContext& frame) = 0;       // 121; the state is closed after it
  virtual void About(FrameContext& frame) = 0;            // 122
};

// Everything the frame owns but does not make itself.
struct FrameParts {
  std::unique_ptr<EditorPart> editor;
  std::unique_ptr<LivePart> live;
  std::unique_ptr<ParametersPart> parameters;
  std::unique_ptr<DefinitionsPart> definitions;
  std::unique_ptr<TuningPart> tuning;
  std::unique_ptr<DeviceListPart> deviceList;
  std::unique_ptr<FrameDialogs> dialogs;
  std::unique_ptr<FileDialogs> files;
  std::unique_ptr<ShellLauncher> shell;  // the manual
  // The UI-thread answer to "the card's host key changed"; the connection asks it through the UI
  // queue. Null: the options' own question (or none) stays.
  std::shared_ptr<device::HostKeyQuestion> hostKeyQuestion;
  device::ConnectionOptions connection;
};

// The error box of the workers and the frame's commands: no owner, the error icon.
class ErrorBoxSink : public device::MessageSink {
 public:
  void ShowError(const std::string& cp1250Text) override;
};

// The save dialog of "download program", asked on the UI thread for the worker.
class DownloadSaveQuestion : public device::SaveFileQuestion {
 public:
  explicit DownloadSaveQuestion(FileDialogs& files) : files_(files) {}
  std::optional<std::string> AskSaveFileName() override;

 private:
  FileDialogs& files_;
};

class MainFrame : public Window, public LoopClient, public FrameContext, private DocumentObserver {
 public:
  // `updates` and `uiQueue` outlive the frame. Every part must be present. The document is built
  // with `updates` (a new document) and lives as long as the frame, longer than every part.
  MainFrame(PendingUpdates& updates, UiQueue& uiQueue, FrameParts parts);
  ~MainFrame() override;

  // Registers the class and creates the main window, its children and the floating windows,
  // and starts the connection worker; shows the window (SW_SHOW). Throws on failure.
  void Create(HINSTANCE instance);

  // Stops the connection worker, then the live part's workers, each waiting for its thread.
  void StopWorkers();

  // Runs one command of the table; false for an identifier the frame does not handle.
  bool Command(UINT id);
  // The toolbar's buttons (UpdateCommands, UpdateView) and the floating windows (UpdatePanels).
  void Refresh(std::uint32_t bits);
  // The state of command `id` in the main menu and on the toolbar alike: the frame's own rules
  // (Save, the floating windows' and the detection preview's check marks, the card commands),
  // the editor's for its commands, enabled and unchecked for the rest.
  CommandState StateOf(UINT id) const;
  // "TrevnaConf", or the document's path + " - TrevnaConf": set at Create and whenever the
  // document's path changes, nowhere else.
  void UpdateTitle();
  // The program command (40020): validation, connection, save, read back, upload request.
  // True when the upload was requested.
  bool ProgramCard();

  LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override;

  // LoopClient
  HWND MainWindow() const override { return window; }
  HACCEL Accelerators() const override { return accelerators_; }
  bool IsDialogTarget(HWND active) const override;
  void ServeUpdates(std::uint32_t bits) override;

  // FrameContext
  HINSTANCE Instance() const override { return instance_; }
  UpdateSink& Updates() override { return updates_; }
  Document& Doc() override { return document_; }
  UiQueue& Queue() override { return uiQueue_; }
  device::Connection& CardConnection() override { return *connection_; }
  // The status bar and the error box themselves: for the UI thread. Workers report through
  // posting adapters (device/posted_sinks.h), as the connection does.
  device::StatusSink& Status() override { return statusBar_; }
  device::MessageSink& Messages() override { return errorBox_; }
  FileDialogs& Files() override { return *parts_.files; }
  device::OutputTestState& OutputTest() override { return outputTest_; }
  void PanelClosed(Panel panel) override;
  EditorPart& Editor() override { return *parts_.editor; }
  LivePart& Live() override { return *parts_.live; }
  ParametersPart& Parameters() override { return *parts_.parameters; }
  DefinitionsPart& Definitions() override { return *parts_.definitions; }
  TuningPart& Tuning() override { return *parts_.tuning; }
  DeviceListPart& DeviceList() override { return *parts_.deviceList; }

  // What the user sees, for tests.
  StatusBar& StatusView() { return statusBar_; }
  ProblemsView& Problems() { return problems_; }
  TabView& Tabs() { return tabs_; }
  HWND Toolbar() const { return toolbar_; }
  bool PanelWanted(Panel panel) const;
  bool HasErrors() const { return hasErrors_; }

 private:
  void Layout();
  void InitMenu(HMENU menu);
  void TogglePanel(bool& flag);
  void NewCommand();
  void Validate();
  std::unique_ptr<device::Connection> MakeConnection();

  // DocumentObserver: the document's events, handed on.
  void SelectRevision(const RenderState& state) override;
  void ShowDefinitions(const RenderState& state) override;
  void PathChanged(const std::string& path) override;

  PendingUpdates& updates_;
  UiQueue& uiQueue_;
  Document document_;  // before the parts, which keep references to it
  FrameParts parts_;
  HINSTANCE instance_ = nullptr;
  TabView tabs_;
  StatusBar statusBar_;
  ErrorBoxSink errorBox_;
  // Workers report to the status bar and the error box through the UI queue, only while the
  // frame lives (the token is revoked at WM_DESTROY).
  LifetimeToken token_;
  device::PostedStatusSink postedStatus_;
  device::PostedMessageSink postedMessages_;
  std::unique_ptr<device::Connection> connection_;
  device::OutputTestState outputTest_;
  DownloadSaveQuestion saveQuestion_;
  HACCEL accelerators_ = nullptr;
  HWND toolbar_ = nullptr;
  ProblemsView problems_;
  bool definitionsVisible_ = true;
  bool parametersVisible_ = true;
  bool deviceListVisible_ = true;
  bool tuningVisible_ = false;
  bool hasErrors_ = false;
};
