// The detector clipboard of the editor: one detector (a copy, eraser mask included) and whether
// it is full. It is not part of the document.
#pragma once

#include "doc/detector.h"

class Document;

class DetectorClipboard {
 public:
  // Copies the selected detector of the current revision; with nothing selected the clipboard
  // becomes empty. Makes no revision.
  void Copy(const Document& document);
  // With a full clipboard and a current track that has a picture: one revision in which a copy
  // of the clipboard detector, moved to `currentTrack`, is appended and selected. Returns
  // whether it pasted.
  bool Paste(Document& document, int currentTrack);
  // With a selected detector: one revision without it, nothing selected. Returns whether it
  // deleted.
  static bool Delete(Document& document);

  bool Full() const { return full_; }
  const Detector& Held() const { return detector_; }
  bool CanPaste() const { return full_; }
  // Copy and delete are enabled exactly when a detector is selected.
  static bool CanCopy(const Document& document);

 private:
  Detector detector_;
  bool full_ = false;
};
