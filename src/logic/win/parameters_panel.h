// The detector parameters panel (dialog 106 "Parametry detektora"): a floating modeless dialog
// that shows the detector selected in the editor and changes it through the document's setters
// of the selected detector, each change one undo step.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "resource_ids.h"
#include "shell/win/frame_parts.h"
#include "shell/win/window.h"

// A seconds box's text for a value in milliseconds: "%u.%u" (whole seconds and tenths).
std::wstring SecondsText(std::int32_t milliseconds);
// The milliseconds of a seconds text, none when it is not valid: at most 4 characters, at most
// 2 digits, one separator ("." or ","), then at most 1 digit; the empty text is 0.
std::optional<std::int32_t> ParseSeconds(const std::wstring& text);

class Inspector : public Dialog, public ParametersPart {
 public:
  // FloatingPart: creates the dialog hidden, owned by the main window, at the main window's
  // right edge less its width and 20, and the given screen y; bound to no detector. The
  // detector's values are changed in `frame.Doc()`.
  void Create(FrameContext& frame, int top) override;
  void Show(bool visible) override;
  HWND Handle() const override { return dialog; }

  // ParametersPart: shows the detector (or none) and enables what applies to its type.
  void Bind(const Detector* detector) override;

  INT_PTR DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  // A delay or extension box with the last valid text typed or shown in it.
  struct SecondsField {
    int id = 0;
    std::wstring remembered;
    bool typed = false;  // the remembered text is the user's, kept while it stands for the value
  };

  void OnCommand(int id, int code);
  void ShowSeconds(SecondsField& field, std::int32_t milliseconds);
  void SetText(int id, const std::wstring& text);
  std::wstring Text(int id) const;
  void Enable(int id, bool enabled);

  FrameContext* frame_ = nullptr;
  SecondsField delay_{IDC_PARAMETERS_DELAY, {}};
  SecondsField extension_{IDC_PARAMETERS_EXTENSION, {}};
  bool binding_ = false;  // notifications caused by Bind's own texts change nothing
};
