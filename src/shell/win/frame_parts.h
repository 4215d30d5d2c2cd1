// The windows that the main frame owns, seen through what the frame and its neighbours ask of
// them. Each subsystem's window class implements its part (src/<subsystem>/win/); the frame's
// tests replace them with fakes. A part reaches the frame and the other parts only through
// FrameContext, so no window needs another window's class.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "doc/picture.h"
#include "shell/win/command_state.h"

class Document;
class RenderState;
struct Detector;
class UiQueue;
class UpdateSink;
class FileDialogs;
namespace device {
class StatusSink;
class MessageSink;
class Connection;
class DeviceList;
class TuningTarget;
class OutputTestState;
}  // namespace device

// The floating windows whose visibility the frame keeps in a flag.
enum class Panel { Definitions, Parameters, DeviceList, Tuning };

class EditorPart;
class LivePart;
class ParametersPart;
class DefinitionsPart;
class TuningPart;
class DeviceListPart;

// What every part may ask of the frame. Lives as long as the frame.
class FrameContext {
 public:
  virtual ~FrameContext() = default;
  virtual HWND MainWindow() const = 0;
  virtual HINSTANCE Instance() const = 0;
  virtual UpdateSink& Updates() = 0;  // PendingUpdates of the main loop
  virtual UiQueue& Queue() = 0;       // workers' reports (device/sinks.h)
  virtual device::Connection& CardConnection() = 0;
  virtual device::StatusSink& Status() = 0;    // the status bar
  virtual device::MessageSink& Messages() = 0;  // the error box owned by the main window
  virtual FileDialogs& Files() = 0;      // open / save dialogs and the unsaved-changes question
  // The forced outputs: written by the output test dialog, read by the live stream worker.
  virtual device::OutputTestState& OutputTest() = 0;
  // The close box of a floating window: clears the frame's flag for it (the window hides itself).
  virtual void PanelClosed(Panel panel) = 0;
  virtual EditorPart& Editor() = 0;
  virtual LivePart& Live() = 0;
  virtual ParametersPart& Parameters() = 0;
  virtual DefinitionsPart& Definitions() = 0;
  virtual TuningPart& Tuning() = 0;
  virtual DeviceListPart& DeviceList() = 0;
};

// A view on one tab, inside its own scroll view.
class TabPart {
 public:
  virtual ~TabPart() = default;
  virtual void Create(FrameContext& frame, HWND parent, const RECT& area) = 0;
  virtual void Layout(const RECT& area) = 0;
  virtual void Show(bool visible) = 0;
  virtual void ZoomIn() = 0;
  virtual void ZoomOut() = 0;
};

// The detector editor (MainView) on tab 1. It owns the one document for the whole run.
class EditorPart : public TabPart {
 public:
  virtual Document& Doc() = 0;
  // The editor's commands (tools, line widths, fills, clipboard, undo / redo, inserts,
  // backgrounds; zoom comes through ZoomIn / ZoomOut). False for an identifier it does not own.
  virtual bool Command(UINT id) = 0;
  // The state of one of the editor's commands (its menu item, context-menu item and toolbar
  // button alike); none for an identifier whose state is not the editor's. `contextMenu`: the
  // context menu's insert items stay enabled without a current track.
  virtual std::optional<CommandState> StateOf(UINT id, bool contextMenu = false) const = 0;
  // After New / Open: shows track A, relayouts and repaints.
  virtual void DocumentReplaced() = 0;
  // UpdateView (repaint, which rebinds the parameters and tuning windows to the selected
  // detector) and UpdateViewSize (size and scroll range).
  virtual void ServeUpdates(std::uint32_t bits) = 0;
};

// The live view (LiveView) on tab 0, with the live stream and discovery workers.
class LivePart : public TabPart {
 public:
  virtual bool DetectionPreview() const = 0;
  virtual void SetDetectionPreview(bool on) = 0;
  // The card chosen in the device list (0 = none): the live stream follows it.
  virtual void SelectAddress(std::uint32_t address) = 0;
  // The four pictures as last received, for "background from live video".
  virtual std::vector<Picture> CurrentPictures() const = 0;
  // Stops the live stream, then the discovery worker, each waiting for its thread.
  virtual void StopWorkers() = 0;
};

// A floating tool window; the frame creates it once and shows or hides it.
class FloatingPart {
 public:
  virtual ~FloatingPart() = default;
  // `top` is the screen y the frame computed; x follows the window's own rule.
  virtual void Create(FrameContext& frame, int top) = 0;
  virtual void Show(bool visible) = 0;
  virtual HWND Handle() const = 0;
};

// Detector parameters (Inspector, dialog 106).
class ParametersPart : public FloatingPart {
 public:
  // The detector selected in the editor, or none (null). Valid until the next Bind.
  virtual void Bind(const Detector* detector) = 0;
};

// Output definitions (ComposerFrame).
class DefinitionsPart : public FloatingPart {
 public:
  // Lays out and draws the definitions of `state`: after New / Open, undo and redo.
  virtual void Invalidate(const RenderState& state) = 0;
};

// Detector tuning (TuningFrame).
class TuningPart : public FloatingPart {
 public:
  virtual void Bind(const Detector* detector) = 0;
  // For the live stream worker: tuning requests and counts.
  virtual device::TuningTarget& Target() = 0;
};

// Device list (Explorer, dialog 108).
class DeviceListPart : public FloatingPart {
 public:
  // The address of the selected item, 0 when none (for the login dialog).
  virtual std::uint32_t SelectedAddress() const = 0;
  // The list's addresses, which the live view's discovery worker adds to. Exists from
  // construction (the live view starts its worker before this window is created).
  virtual device::DeviceList& Devices() = 0;
};

// The modal dialogs the frame's commands open, each owned by the main window. Implemented with
// the dialogs of each subsystem; frame tests record the calls.
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
