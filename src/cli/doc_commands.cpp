// trevnactl commands over document files: info, check, script, package, export-json and
// import-json. Paths on the command line are UTF-8; the core takes Windows-1250 names.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/bitmap_file.h"
#include "base/file.h"
#include "base/platform.h"
#include "base/text.h"
#include "cli/registry.h"
#include "doc/area_mask.h"
#include "doc/background.h"
#include "doc/document.h"
#include "doc/document_file.h"
#include "doc/json_document.h"
#include "doc/package.h"
#include "doc/script.h"
#include "logic/validation.h"
#include "shell/pending_updates.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr int kFirstStoredColumn = 30;
constexpr int kStoredColumns = 180;

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

const char* TypeName(const Detector& d) {
  if (d.contrast) return "contrast";
  if (d.directional) return "directional";
  return "normal";
}

int ErasedCount(const Detector& d) {
  const Picture& mask = d.eraser.Read();
  if (mask.pixels.size() != Picture::kBytes) return 0;
  int count = 0;
  for (int y = 0; y < Picture::kCanvasHeight; ++y)
    for (int x = kFirstStoredColumn; x < kFirstStoredColumn + kStoredColumns; ++x)
      if (mask.IsBlack(x, y)) ++count;
  return count;
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
                  d.kind == DetectorKind::Line ? "line" : "quadrilateral", TypeName(d));
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
    std::snprintf(line, sizeof line, "    erased pixels: %d\n", ErasedCount(d));
    out += line;
  }
  out += "definitions:\n";
  for (std::size_t i = 0; i < state.outputDefinitions.size(); ++i)
    out += "  Y" + std::to_string(i + 1) + " = " + ExpressionText(state.outputDefinitions[i].Read()) + "\n";
  for (std::size_t i = 0; i < state.zDefinitions.size(); ++i) {
    if (state.zDefinitions[i]->kind == NodeKind::Undefined) continue;
    out += "  Z" + std::to_string(i + 1) + " = " + ExpressionText(state.zDefinitions[i].Read()) + "\n";
  }
  for (std::size_t i = 0; i < state.trackDefinitions.size(); ++i)
    out += std::string("  ") + static_cast<char>('A' + i) + "c = " + ExpressionText(state.trackDefinitions[i].Read()) +
           "\n";
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

// Entry names come from the file: only plain file names may be written.
bool SafeEntryName(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.size() > 255) return false;
  return name.find_first_of(std::string("/\\:\0", 4)) == std::string::npos;
}

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
  for (const PackageEntry& entry : entries)
    if (!SafeEntryName(entry.name)) Fail("Niedozwolona nazwa pliku w pakiecie programu: `" + Utf8FromCp1250(entry.name) + "'.");
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

// --- export-json ---------------------------------------------------------------------------

// Pretty JSON with every innermost array (points, vertex pairs) kept on one line.
std::string CompactInnerArrays(const std::string& pretty) {
  std::string out;
  out.reserve(pretty.size());
  bool inString = false;
  for (std::size_t i = 0; i < pretty.size(); ++i) {
    const char c = pretty[i];
    if (inString) {
      out += c;
      if (c == '\\' && i + 1 < pretty.size()) out += pretty[++i];
      else if (c == '"') inString = false;
      continue;
    }
    if (c == '"') inString = true;
    if (c == '[') {
      // Only numbers inside (no strings, arrays or objects): join it onto one line.
      const std::size_t end = pretty.find_first_of("[]{\"", i + 1);
      if (end != std::string::npos && pretty[end] == ']') {
        out += '[';
        bool space = false;
        for (std::size_t k = i + 1; k < end; ++k) {
          if (pretty[k] == ' ' || pretty[k] == '\n') {
            space = true;
            continue;
          }
          if (space && out.back() == ',') out += ' ';
          space = false;
          out += pretty[k];
        }
        out += ']';
        i = end;
        continue;
      }
    }
    out += c;
  }
  return out;
}

std::string BitmapOfPicture(const Picture& picture) {
  std::string rows;
  rows.reserve(std::size_t{Picture::kCanvasWidth} * 3 * Picture::kCanvasHeight);
  for (int y = Picture::kCanvasHeight - 1; y >= 0; --y) {
    for (int x = 0; x < Picture::kCanvasWidth; ++x) {
      const bool inside = picture.Contains(x, y) && picture.Offset(x, y) + 2 < picture.pixels.size();
      for (int b = 0; b < 3; ++b)
        rows += inside ? static_cast<char>(picture.pixels[picture.Offset(x, y) + static_cast<std::size_t>(b)])
                       : static_cast<char>(255);
    }
  }
  return BitmapFile(BitmapFormat{Picture::kCanvasWidth, Picture::kCanvasHeight, 24, 0, false}, rows);
}

Json DetectorJson(const Detector& d) {
  Json j;
  j["track"] = std::string(1, TrackLetter(d.track));
  j["number"] = d.number;
  j["kind"] = d.kind == DetectorKind::Line ? "line" : "quadrilateral";
  Json vertices = Json::array();
  for (const CanvasPoint& v : d.vertices) vertices.push_back(Json::array({v.x, v.y}));
  j["vertices"] = vertices;
  j["lineWidth"] = d.lineWidth;
  j["ladderSteps"] = d.ladderSteps;
  j["fillPercent"] = d.fillPercent;
  j["type"] = TypeName(d);
  if (d.contrast && d.directional) j["directional"] = true;  // both flags: only damaged files
  j["featureThreshold"] = d.featureThreshold;
  j["threshold"] = d.threshold;
  j["angle"] = d.angle;
  j["delayMs"] = d.delay;
  j["extensionMs"] = d.extension;
  Json erased = Json::array();
  const Picture& mask = d.eraser.Read();
  if (mask.pixels.size() == Picture::kBytes) {
    for (int y = 0; y < Picture::kCanvasHeight; ++y)
      for (int x = kFirstStoredColumn; x < kFirstStoredColumn + kStoredColumns; ++x)
        if (mask.IsBlack(x, y)) erased.push_back(Json::array({x, y}));
  }
  j["erased"] = erased;
  return j;
}

int RunExportJson(const std::string& path, const std::string& jsonPath) {
  const RenderState state = LoadState(path);
  const std::filesystem::path json = PathOf(jsonPath);
  const std::string stem = Utf8Of(json.stem());

  Json j;
  j["format"] = "trevna-document";
  j["version"] = 1;
  j["pictureWidth"] = state.pictureWidth;
  j["tracks"] = state.pictures.size();
  Json backgrounds = Json::object();
  std::vector<std::pair<std::string, std::string>> bitmaps;  // UTF-8 path, bytes
  for (std::size_t i = 0; i < state.pictures.size(); ++i) {
    const std::string letter(1, static_cast<char>('A' + i));
    const std::string name = stem + "-" + letter + ".bmp";
    backgrounds[letter] = name;
    bitmaps.emplace_back(Utf8Of(json.parent_path() / PathOf(name)),
                         BitmapOfPicture(state.pictures[i].Read()));
  }
  j["backgrounds"] = backgrounds;
  Json detectors = Json::array();
  for (const Detector& d : state.detectors) detectors.push_back(DetectorJson(d));
  j["detectors"] = detectors;
  Json outputs = Json::array();
  for (const auto& root : state.outputDefinitions) outputs.push_back(Utf8FromCp1250(ExpressionText(root.Read())));
  j["outputs"] = outputs;
  if (!state.zDefinitions.empty()) {
    Json z = Json::object();
    for (std::size_t i = 0; i < state.zDefinitions.size(); ++i)
      if (state.zDefinitions[i]->kind != NodeKind::Undefined)
        z[std::to_string(i + 1)] = ExpressionText(state.zDefinitions[i].Read());
    j["z"] = z;
  }
  Json tracks = Json::array();
  for (const auto& root : state.trackDefinitions) tracks.push_back(ExpressionText(root.Read()));
  j["trackDefinitions"] = tracks;

  if (!json.parent_path().empty()) {
    std::error_code ignored;
    std::filesystem::create_directories(json.parent_path(), ignored);
  }
  for (const auto& [bitmapPath, bytes] : bitmaps) WriteFileSafely(Narrow(bitmapPath), bytes);
  WriteFileSafely(Narrow(jsonPath), CompactInnerArrays(j.dump(2)) + "\n");
  return cli::kExitOk;
}

// --- import-json ---------------------------------------------------------------------------

[[noreturn]] void BadField(const std::string& field, const std::string& why) {
  Fail("Niepoprawne pole `" + field + "' w pliku JSON: " + why + ".");
}

std::int64_t Integer(const Json& value, const std::string& field, std::int64_t low, std::int64_t high) {
  if (!value.is_number_integer()) BadField(field, "oczekiwano liczby całkowitej");
  const std::int64_t number = value.is_number_unsigned() && value.get<std::uint64_t>() > 0x7FFFFFFFFFFFFFFFull
                                  ? high + 1
                                  : value.get<std::int64_t>();
  if (number < low || number > high)
    BadField(field, "wartość spoza zakresu " + std::to_string(low) + ".." + std::to_string(high));
  return number;
}

std::int32_t Int32(const Json& object, const char* key, const std::string& where, std::int32_t fallback) {
  if (!object.contains(key)) return fallback;
  return static_cast<std::int32_t>(Integer(object[key], where + "." + key, INT32_MIN, INT32_MAX));
}

std::string Text(const Json& value, const std::string& field) {
  if (!value.is_string()) BadField(field, "oczekiwano tekstu");
  return value.get<std::string>();
}

Cow<ExprNode> Expression(const Json& value, const std::string& field) {
  const std::string text = Text(value, field);
  try {
    return Cow<ExprNode>(ParseExpressionText(text));
  } catch (const ExpressionSyntaxError& e) {
    Fail("Błąd składni w polu `" + field + "' na pozycji " + std::to_string(e.Position()) + ": \"" + text + "\".");
  }
}

std::int32_t TrackOfLetter(const std::string& letter, const std::string& field) {
  if (letter.size() != 1 || letter[0] < 'A' || letter[0] > 'D') BadField(field, "oczekiwano litery toru A..D");
  return letter[0] - 'A';
}

CanvasPoint PointOf(const Json& value, const std::string& field) {
  if (!value.is_array() || value.size() != 2) BadField(field, "oczekiwano pary [x, y]");
  return CanvasPoint{static_cast<std::int32_t>(Integer(value[0], field + "[0]", INT32_MIN, INT32_MAX)),
                     static_cast<std::int32_t>(Integer(value[1], field + "[1]", INT32_MIN, INT32_MAX))};
}

Detector DetectorOf(const Json& j, const std::string& where) {
  if (!j.is_object()) BadField(where, "oczekiwano obiektu");
  Detector d;
  if (!j.contains("track")) BadField(where + ".track", "brak pola");
  d.track = TrackOfLetter(Text(j["track"], where + ".track"), where + ".track");
  if (j.contains("number")) d.number = static_cast<std::uint32_t>(Integer(j["number"], where + ".number", 0, UINT32_MAX));
  if (j.contains("kind")) {
    const std::string kind = Text(j["kind"], where + ".kind");
    if (kind == "quadrilateral") d.kind = DetectorKind::Quadrilateral;
    else if (kind == "line") d.kind = DetectorKind::Line;
    else BadField(where + ".kind", "oczekiwano \"quadrilateral\" lub \"line\"");
  }
  if (j.contains("vertices")) {
    const Json& vertices = j["vertices"];
    if (!vertices.is_array() || vertices.size() != 4) BadField(where + ".vertices", "oczekiwano czterech punktów");
    for (std::size_t i = 0; i < 4; ++i)
      d.vertices[i] = PointOf(vertices[i], where + ".vertices[" + std::to_string(i) + "]");
  }
  d.lineWidth = Int32(j, "lineWidth", where, d.lineWidth);
  d.ladderSteps = Int32(j, "ladderSteps", where, d.ladderSteps);
  d.fillPercent = Int32(j, "fillPercent", where, d.fillPercent);
  if (j.contains("type")) {
    const std::string type = Text(j["type"], where + ".type");
    if (type == "contrast") d.contrast = true;
    else if (type == "directional") d.directional = true;
    else if (type != "normal") BadField(where + ".type", "oczekiwano \"normal\", \"directional\" lub \"contrast\"");
  }
  if (j.contains("directional")) {
    if (!j["directional"].is_boolean()) BadField(where + ".directional", "oczekiwano true lub false");
    d.directional = d.directional || j["directional"].get<bool>();
  }
  d.featureThreshold = Int32(j, "featureThreshold", where, d.featureThreshold);
  d.threshold = Int32(j, "threshold", where, d.threshold);
  d.angle = Int32(j, "angle", where, d.angle);
  d.delay = Int32(j, "delayMs", where, d.delay);
  d.extension = Int32(j, "extensionMs", where, d.extension);
  const std::string invalid = InvalidDetectorField(d);
  if (!invalid.empty()) BadField(where + "." + invalid, "wartość spoza zakresu");
  if (j.contains("erased")) {
    const Json& erased = j["erased"];
    if (!erased.is_array()) BadField(where + ".erased", "oczekiwano listy punktów");
    Picture* mask = nullptr;
    for (std::size_t i = 0; i < erased.size(); ++i) {
      const std::string field = where + ".erased[" + std::to_string(i) + "]";
      const CanvasPoint p = PointOf(erased[i], field);
      if (p.x < kFirstStoredColumn || p.x >= kFirstStoredColumn + kStoredColumns || p.y < 0 ||
          p.y >= Picture::kCanvasHeight)
        BadField(field, "punkt poza kolumnami 30..209 lub wierszami 0..143");
      if (!mask) mask = &d.eraser.Write();
      mask->SetBlack(p.x, p.y);
    }
  }
  return d;
}

RenderState StateOfJson(const Json& j, const std::filesystem::path& folder) {
  if (!j.is_object()) Fail("Plik JSON nie zawiera obiektu dokumentu.");
  if (!j.contains("format") || !j["format"].is_string() || j["format"].get<std::string>() != "trevna-document")
    BadField("format", "oczekiwano \"trevna-document\"");
  if (!j.contains("version") || Integer(j["version"], "version", 1, 1) != 1) BadField("version", "oczekiwano 1");

  RenderState state;
  state.pictureWidth = static_cast<std::int32_t>(Integer(j.value("pictureWidth", Json(180)), "pictureWidth", 180, 240));
  if (state.pictureWidth != 180 && state.pictureWidth != 192 && state.pictureWidth != 240)
    BadField("pictureWidth", "oczekiwano 180, 192 lub 240");
  const auto tracks = static_cast<std::size_t>(Integer(j.value("tracks", Json(2)), "tracks", 0, 4));
  state.pictures.assign(tracks, SharedWhitePicture());

  if (j.contains("backgrounds")) {
    const Json& backgrounds = j["backgrounds"];
    if (!backgrounds.is_object()) BadField("backgrounds", "oczekiwano obiektu");
    for (const auto& [letter, file] : backgrounds.items()) {
      const std::string field = "backgrounds." + letter;
      const std::int32_t track = TrackOfLetter(letter, field);
      if (static_cast<std::size_t>(track) >= tracks) BadField(field, "tor spoza liczby torów");
      const std::filesystem::path relative = PathOf(Text(file, field));
      const std::string bitmapPath = Utf8Of(relative.is_absolute() ? relative : folder / relative);
      const std::string data = ReadBitmapFile(Narrow(bitmapPath));
      const AcceptedBitmap bitmap = CheckBitmap(data);
      ImportBitmap(state.pictures[static_cast<std::size_t>(track)].Write(),
                   reinterpret_cast<const std::uint8_t*>(bitmap.pixels.data()), bitmap.width);
    }
  }

  if (j.contains("detectors")) {
    const Json& detectors = j["detectors"];
    if (!detectors.is_array()) BadField("detectors", "oczekiwano listy");
    for (std::size_t i = 0; i < detectors.size(); ++i)
      state.detectors.push_back(DetectorOf(detectors[i], "detectors[" + std::to_string(i) + "]"));
  }

  if (j.contains("outputs")) {
    const Json& outputs = j["outputs"];
    if (!outputs.is_array() || (outputs.size() != 0 && outputs.size() != RenderState::kOutputCount))
      BadField("outputs", "oczekiwano 8 wyrażeń albo pustej listy");
    for (std::size_t i = 0; i < outputs.size(); ++i)
      state.outputDefinitions.push_back(Expression(outputs[i], "outputs[" + std::to_string(i) + "]"));
  }

  if (j.contains("z")) {
    const Json& z = j["z"];
    if (!z.is_object()) BadField("z", "oczekiwano obiektu");
    state.zDefinitions.assign(RenderState::kZCount, NewDefinitionRoot(NodeKind::Undefined));
    for (const auto& [key, value] : z.items()) {
      std::size_t index = 0;
      const bool digits = !key.empty() && key.size() <= 2 && key.find_first_not_of("0123456789") == std::string::npos;
      if (digits) index = std::stoul(key);
      if (!digits || index < 1 || index > RenderState::kZCount || key[0] == '0') BadField("z." + key, "oczekiwano numeru 1..64");
      state.zDefinitions[index - 1] = Expression(value, "z." + key);
    }
  }

  if (j.contains("trackDefinitions")) {
    const Json& definitions = j["trackDefinitions"];
    if (!definitions.is_array() || definitions.size() > RenderState::kMaxTracks)
      BadField("trackDefinitions", "oczekiwano najwyżej czterech wyrażeń");
    for (std::size_t i = 0; i < definitions.size(); ++i)
      state.trackDefinitions.push_back(Expression(definitions[i], "trackDefinitions[" + std::to_string(i) + "]"));
  }
  return state;
}

int RunImportJson(const std::string& jsonPath, const std::string& path) {
  const std::string text = ReadWholeFile(Narrow(jsonPath));
  Json j;
  try {
    j = Json::parse(text);
  } catch (const Json::parse_error& e) {
    Fail("Niepoprawny plik JSON `" + jsonPath + "': " + e.what());
  }
  RenderState state = StateOfJson(j, PathOf(jsonPath).parent_path());
  PendingUpdates updates;
  Document document(updates);
  document.Replace(std::move(state), std::string());
  SaveDocument(document, Narrow(path));
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
