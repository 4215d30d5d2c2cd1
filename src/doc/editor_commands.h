// The commands of the detector editor that change the document or the editor's settings,
// without any window: settings (line width, ladder, fill), zoom, tools, inserting detectors,
// the clipboard, undo and redo, and the ends of the mouse gestures (vertex drag, move, direction,
// eraser stroke and its brush). The view converts client points to canvas points and calls these.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "doc/clipboard.h"
#include "doc/document.h"
#include "doc/update_sink.h"

// The commands are those of the menus, toolbar and accelerators. Their numbers are defined once,
// for the resources, in resources/resource_ids.h, which this portable engine does not see; the
// detector editor's window (doc/win/main_view.cpp) asserts at compile time that each number
// below is the one defined there.
enum EditorCommand : std::uint32_t {
  kCommandZoomIn = 40002,
  kCommandZoomOut = 40003,
  kCommandLineWidth1 = 40004,  // .. 40007 "&4 piksele"
  kCommandLineWidth4 = 40007,
  kCommandEvenFill = 40008,    // "&Równomiernie 20%"
  kCommandLadder1 = 40009,     // .. 40014 "&6 stopni drabinki"
  kCommandLadder6 = 40014,
  kCommandEraserTool = 40015,
  kCommandPointerTool = 40016,
  kCommandInsertQuadrilateral = 40017,
  kCommandBackgroundFromFile = 40018,
  kCommandDelete = 40019,      // "&Usuń\tCtrl+Del"
  kCommandInsertLine = 40022,
  kCommandInsertQuadrilateralAtPoint = 40023,
  kCommandInsertLineAtPoint = 40024,
  kCommandBackgroundFromLive = 40160,
  kCommandNoFill = 40164,      // "&Brak"
  kCommandDirectionTool = 40166,
  kCommandMoveTool = 40180,
  kCommandCopy = 57634,
  kCommandPaste = 57637,
  kCommandUndo = 57643,
  kCommandRedo = 57644,
};

// Every command whose menu item and toolbar button the editor greys or checks (zoom has no state).
inline constexpr std::array<EditorCommand, 27> kEditorStateCommands = {
    kCommandUndo, kCommandRedo, kCommandCopy, kCommandPaste, kCommandDelete,
    kCommandLineWidth1, EditorCommand(kCommandLineWidth1 + 1), EditorCommand(kCommandLineWidth1 + 2),
    kCommandLineWidth4, kCommandNoFill, kCommandLadder1, EditorCommand(kCommandLadder1 + 1),
    EditorCommand(kCommandLadder1 + 2), EditorCommand(kCommandLadder1 + 3), EditorCommand(kCommandLadder1 + 4),
    kCommandLadder6, kCommandEvenFill, kCommandPointerTool, kCommandEraserTool, kCommandMoveTool,
    kCommandDirectionTool, kCommandInsertQuadrilateral, kCommandInsertLine, kCommandInsertQuadrilateralAtPoint,
    kCommandInsertLineAtPoint, kCommandBackgroundFromFile, kCommandBackgroundFromLive};

enum class EditorTool : int { Pointer = 0, Eraser = 1, Move = 2, Direction = 3 };

// Angle of a direction drag from (x1, y1) to (x2, y2) in client coordinates (y downwards):
// down 0, right 90, up 180, left 270. No angle when the points are equal.
std::optional<std::int32_t> DirectionAngle(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);

// A vertex clamped to the visible picture of `state`: x to its visible columns, y to 0..143.
CanvasPoint ClampVertex(const RenderState& state, CanvasPoint point);

class DetectorEditor {
 public:
  static constexpr int kMaxZoom = 6;

  DetectorEditor(Document& document, UpdateSink& updates);

  Document& GetDocument() { return document_; }
  DetectorClipboard& Clipboard() { return clipboard_; }

  int Zoom() const { return zoom_; }
  EditorTool Tool() const { return tool_; }
  std::int32_t LineWidthSetting() const { return lineWidth_; }
  std::int32_t LadderSetting() const { return ladderSteps_; }
  std::int32_t FillSetting() const { return fillPercent_; }
  int CurrentTrack() const { return currentTrack_; }

  // Runs a command of the table above. `contextPoint` is the canvas point of the last right
  // click, used by the insert-at-point commands. Returns whether the command is the editor's
  // (background commands are not: they belong to the background loader).
  bool RunCommand(std::uint32_t command, CanvasPoint contextPoint = {});
  // Menu state: enabled and checked items.
  bool IsEnabled(std::uint32_t command, bool contextMenu = false) const;
  bool IsChecked(std::uint32_t command) const;

  // Makes `track` (-1 none) current; a change clears the selection without a revision.
  void SetCurrentTrack(int track);
  // Selects detector `index` (-1 none) of the current revision without a revision; its line
  // width, ladder steps and fill percent become the settings.
  void Select(std::int32_t index);
  // Takes the settings from the current revision's selected detector (after a new revision,
  // undo and redo).
  void FollowSelection();

  // Inserts a detector of `kind` on the current track and selects it; at `point` its bounding
  // box's top-left corner moves there (each vertex clamped). Returns whether it inserted.
  bool InsertDetector(DetectorKind kind, std::optional<CanvasPoint> point);

  // End of a vertex drag by (dx, dy) canvas pixels: one revision when non-zero; the vertex is
  // clamped and the detector's erasures are dropped.
  bool MoveVertex(int vertex, std::int32_t dx, std::int32_t dy);
  // End of a move by (dx, dy): all four vertices, each clamped; erasures dropped.
  bool MoveSelected(std::int32_t dx, std::int32_t dy);
  // End of a direction drag between two client points: one revision storing the angle (kept
  // when the points are equal). Returns whether a detector was selected.
  bool EndDirectionDrag(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);

  // An eraser stroke: Begin makes one revision, Erase paints canvas pixels of the selected
  // detector's eraser mask black (returns whether a pixel changed), End forgets the revision.
  void BeginEraseStroke();
  bool Erase(CanvasPoint pixel);
  // The eraser's brush: the 9 x 9 screen pixels centred on (x, y), given in screen pixels from
  // the top-left corner of the current track's picture shown `zoom` times enlarged. Each of them
  // erases the canvas pixel under it (clamped to the visible picture, so a brush over the edge
  // erases the edge). Nothing without a current track. Returns whether any pixel changed.
  static constexpr int kBrushSize = 9;
  bool EraseBrush(std::int32_t x, std::int32_t y, int zoom);
  void EndEraseStroke() { erasing_ = false; }
  bool Erasing() const { return erasing_; }

 private:
  void ChangeLineWidth(std::int32_t width);
  void ChangeLadderAndFill(std::int32_t ladder, std::int32_t fill);
  void SetTool(EditorTool tool);

  Document& document_;
  UpdateSink& updates_;
  DetectorClipboard clipboard_;
  int zoom_ = 1;
  EditorTool tool_ = EditorTool::Pointer;
  std::int32_t lineWidth_ = 1;
  std::int32_t ladderSteps_ = 2;
  std::int32_t fillPercent_ = 0;
  int currentTrack_ = 0;
  bool erasing_ = false;
  std::uint64_t eraserStamp_ = 0;  // the document's stamp of the stroke's revision
};
