// What the trevnactl tests share: argument lists and documents saved for a card.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/text.h"
#include "doc/document.h"
#include "doc/document_file.h"
#include "support/recording_updates.h"

namespace cli_test {

inline std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A document with detectors of the given (track, number) pairs, saved to `path`; Y1 becomes `y1`
// when given.
inline void SaveDocumentWith(const std::filesystem::path& path,
                             const std::vector<std::pair<int, unsigned>>& detectors,
                             std::optional<NodeKind> y1 = std::nullopt) {
  RecordingUpdates updates;
  Document document(updates);
  auto& state = document.NewRenderState();
  for (const auto& [track, number] : detectors) {
    Detector d;
    d.track = track;
    d.number = number;
    state.detectors.push_back(d);
  }
  if (y1 && !state.outputDefinitions.empty()) state.outputDefinitions[0] = NewDefinitionRoot(*y1);
  SaveDocument(document, Cp1250FromUtf8(path.string()));
}

}  // namespace cli_test
