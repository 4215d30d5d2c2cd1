// trevnactl commands over document files: info, check, script, package, export-json and
// import-json (the JSON form itself is the document's: doc/json_document.h). Paths on the
// command line are UTF-8; the core takes Windows-1250 names.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/file.h"
#include "base/platform.h"
#include "base/text.h"
#include "cli/registry.h"
#include "device/card_text.h"
#include "doc/document_file.h"
#include "doc/json_document.h"
#include "doc/package.h"
#include "doc/script.h"
#include "logic/validation.h"

namespace {

std::string Narrow(const std::string& utf8Path) { return Cp1250FromUtf8(utf8Path); }

std::filesystem::path PathOf(const std::string& utf8) { return platform::PathFromUtf8(utf8); }

std::string Utf8Of(const std::filesystem::path& path) { return platform::Utf8FromPath(path); }

[[noreturn]] void Fail(const std::string& utf8Text) { throw std::runtime_error(Cp1250FromUtf8(utf8Text)); }

RenderState LoadState(const std::string& utf8Path) { return ParseDocument(ReadWholeFile(Narrow(utf8Path))); }

void WriteStdout(const std::string& bytes) {
  platform::SetBinaryMode(stdout);
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0)
    Fail("Nie udało się zapisać na standardowe wyjście.");
}

// --- info ----------------------------------------------------------------------------------

int RunInfo(const std::string& path) {
  const RenderState state = LoadState(path);
  std::string out;
  char line[256];
  std::snprintf(line, sizeof line, "picture width: %d\ntracks: %zu\ndetectors: %zu\n", state.pictureWidth,
                state.pictures.size(), state.detectors.size());
  out += line;
  for (const Detector& d : state.detectors) {
    std::snprintf(line, sizeof line, "  %s: %s, %s\n", DetectorName(d.track, d.number).c_str(),
                  d.kind == DetectorKind::Line ? "line" : "quadrilateral", DetectorTypeName(d));
    out += line;
    std::snprintf(line, sizeof line,
                  "    feature threshold %d, threshold %d, angle %d, delay %d ms, extension %d ms\n",
                  d.featureThreshold, d.threshold, d.angle, d.delay, d.extension);
    out += line;
    std::snprintf(line, sizeof line, "    line width %d, ladder steps %d, fill %d %%\n", d.lineWidth, d.ladderSteps,
                  d.fillPercent);
    out += line;
    out += "    vertices";
    for (int i = 0; i < 4; ++i) {
      const CanvasPoint& v = d.vertices[static_cast<std::size_t>(i)];
      std::snprintf(line, sizeof line, " (%d,%d)%s", v.x, v.y, i < d.UsedVertices() ? "" : "*");
      out += line;
    }
    out += d.kind == DetectorKind::Line ? "  (* unused)\n" : "\n";
    std::snprintf(line, sizeof line, "    erased pixels: %d\n", static_cast<int>(StoredErasedPixels(d).size()));
    out += line;
  }
  out += "definitions:\n";
  for (std::size_t i = 0; i < state.outputDefinitions.size(); ++i)
    out += "  Y" + std::to_string(i + 1) + " = " + PrintExpression(*state.outputDefinitions[i]) + "\n";
  for (std::size_t i = 0; i < state.zDefinitions.size(); ++i) {
    if (state.zDefinitions[i]->kind == NodeKind::Undefined) continue;
    out += "  Z" + std::to_string(i + 1) + " = " + PrintExpression(*state.zDefinitions[i]) + "\n";
  }
  for (std::size_t i = 0; i < state.trackDefinitions.size(); ++i)
    out += std::string("  ") + static_cast<char>('A' + i) + "c = " + PrintExpression(*state.trackDefinitions[i]) + "\n";
  WriteStdout(Utf8FromCp1250(out));
  return cli::kExitOk;
}

// --- check ---------------------------------------------------------------------------------

class CollectedProblems : public ProblemSink {
 public:
  void ClearProblems() override { rows.clear(); }
  void AddProblem(const std::wstring& text) override { rows.push_back(text); }
  std::vector<std::wstring> rows;
};

int RunCheck(const std::string& path) {
  const RenderState state = LoadState(path);
  CollectedProblems problems;
  const bool any = ValidateProgram(state, problems);
  std::sort(problems.rows.begin(), problems.rows.end());
  std::string out;
  for (const std::wstring& row : problems.rows) out += Utf8FromWide(row) + "\n";
  WriteStdout(out);
  return any ? cli::kExitFailure : cli::kExitOk;
}

// --- package -------------------------------------------------------------------------------

int RunPackage(const std::string& path, const std::string& outDir, bool rebuild) {
  const std::string bytes = ReadWholeFile(Narrow(path));
  std::string package;
  if (rebuild) {
    package = BuildProgramPackage(ParseDocument(bytes), Narrow(path));
  } else {
    std::string_view stored;
    if (!FindStoredPackage(bytes, stored))
      Fail("Dokument `" + path + "' nie zawiera pakietu programu (użyj --rebuild).");
    package = std::string(stored);
  }
  const std::vector<PackageEntry> entries = ReadProgramPackage(package);
  // Entry names come from the file: only names that stay plain files in the folder, on Windows
  // too (no device names such as CON or COM1), are written, and nothing is written otherwise.
  for (const PackageEntry& entry : entries)
    if (!card::IsSafeFileName(entry.name))
      Fail("Niedozwolona nazwa pliku w pakiecie programu: `" + Utf8FromCp1250(card::Printable(entry.name)) + "'.");
  std::error_code error;
  std::filesystem::create_directories(PathOf(outDir), error);
  for (const PackageEntry& entry : entries) {
    const std::string target = Utf8Of(PathOf(outDir) / PathOf(Utf8FromCp1250(entry.name)));
    File file(Narrow(target), "wb");
    file.Write(entry.data);
    file.Close();
  }
  return cli::kExitOk;
}

// --- export-json / import-json ------------------------------------------------------------

int RunExportJson(const std::string& path, const std::string& jsonPath) {
  ExportJsonFile(LoadState(path), Narrow(jsonPath));
  return cli::kExitOk;
}

int RunImportJson(const std::string& jsonPath, const std::string& path) {
  const RenderState state = ImportJsonFile(Narrow(jsonPath));
  // Written as Save writes the document, with the alias of the target's name.
  WriteFileSafely(Narrow(path), SerializeDocument(state, Narrow(path)).Joined());
  return cli::kExitOk;
}

// --- registration ----------------------------------------------------------------------------

struct DocOptions {
  std::string document;
  std::string second;
  bool rebuild = false;
};

const bool registeredInfo = cli::RegisterCommand(
    "info", "Shows a readable summary of a document file (.trv)", [](CLI::App& app) -> cli::Run {
      auto options = std::make_shared<DocOptions>();
      app.add_option("DOC", options->document, "Document file")->required();
      return [options] { return RunInfo(options->document); };
    });

const bool registeredCheck = cli::RegisterCommand(
    "check", "Lists the program validation problems of a document (exit 1 when there are any)",
    [](CLI::App& app) -> cli::Run {
      auto options = std::make_shared<DocOptions>();
      app.add_option("DOC", options->document, "Document file")->required();
      return [options] { return RunCheck(options->document); };
    });

const bool registeredScript = cli::RegisterCommand(
    "script", "Writes the output script (compose.txt) of a document to stdout", [](CLI::App& app) -> cli::Run {
      auto options = std::make_shared<DocOptions>();
      app.add_option("DOC", options->document, "Document file")->required();
      return [options] {
        WriteStdout(PrintScript(LoadState(options->document)));
        return cli::kExitOk;
      };
    });

const bool registeredPackage = cli::RegisterCommand(
    "package", "Writes the files of a document's program package into a folder", [](CLI::App& app) -> cli::Run {
      auto options = std::make_shared<DocOptions>();
      app.add_option("DOC", options->document, "Document file")->required();
      app.add_option("OUTDIR", options->second, "Folder for the package files")->required();
      app.add_flag("--rebuild", options->rebuild, "Build the package from the document's content");
      return [options] { return RunPackage(options->document, options->second, options->rebuild); };
    });

const bool registeredExport = cli::RegisterCommand(
    "export-json", "Writes a document as JSON with one background bitmap per track", [](CLI::App& app) -> cli::Run {
      auto options = std::make_shared<DocOptions>();
      app.add_option("DOC", options->document, "Document file")->required();
      app.add_option("OUT", options->second, "JSON file to write")->required();
      return [options] { return RunExportJson(options->document, options->second); };
    });

const bool registeredImport = cli::RegisterCommand(
    "import-json", "Builds and saves a document file from JSON", [](CLI::App& app) -> cli::Run {
      auto options = std::make_shared<DocOptions>();
      app.add_option("IN", options->second, "JSON file to read")->required();
      app.add_option("OUT", options->document, "Document file to write")->required();
      return [options] { return RunImportJson(options->second, options->document); };
    });

}  // namespace
