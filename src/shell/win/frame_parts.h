// The windows that the main frame owns, seen through what the frame and its neighbours ask of
// them. Each subsystem's window class implements its part (src/<subsystem>/win/); the frame's
// tests replace them with fakes. A part reaches the frame, the document and the other parts only
// through FrameContext, so no window needs another window's class, nor the application's.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "base/picture.h"
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
  // The one document of the run. The frame owns it and is its only observer: it hands the
  // document's events on to the parts (EditorPart::FollowSelection, DefinitionsPart::Invalidate)
  // and binds the parameters and tuning windows to the selected detector when it serves
  // UpdateView.
  virtual Document& Doc() = 0;
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

// The detector editor (MainView) on tab 1. It edits the frame's document.
class EditorPart : public TabPart {
 public:
  // The editor's commands (tools, line widths, fills, clipboard, undo / redo, inserts,
  // backgrounds; zoom comes through ZoomIn / ZoomOut). False for an identifier it does not own.
  virtual bool Command(UINT id) = 0;
  // The state of one of the editor's commands (its menu item, context-menu item and toolbar
  // button alike); none for an identifier whose state is not the editor's. `contextMenu`: the
  // context menu's insert items stay enabled without a current track.
  virtual std::optional<CommandState> StateOf(UINT id, bool contextMenu = false) const = 0;
  // After New / Open: shows track A, relayouts and repaints.
  virtual void DocumentReplaced() = 0;
  // A new revision became current (edit, undo, redo, New, Open): the editor's line width,
  // ladder and fill settings follow its selected detector.
  virtual void FollowSelection() = 0;
  // UpdateView (repaint) and UpdateViewSize (size and scroll range).
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
  // Lays out and draws the definitions of `state`: at the start, after New / Open, undo and redo.
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

// What a frame does with its document's events and with the view's update requests; the main
// frame and every other host of the parts alike.
// A new revision became current: the editor's settings follow its selected detector.
void FollowRevision(FrameContext& frame);
// Undo, redo, New or Open made another revision current: the definitions window shows it.
void ShowRevisionDefinitions(FrameContext& frame, const RenderState& state);
// UpdateView / UpdateViewSize: binds the parameters and tuning windows to the selected detector,
// then has the editor resize and redraw.
void ServeEditorUpdates(FrameContext& frame, std::uint32_t bits);
