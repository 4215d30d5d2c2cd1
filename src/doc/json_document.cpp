#include "doc/json_document.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include <nlohmann/json.hpp>

#include "base/bitmap_file.h"
#include "base/platform.h"
#include "base/text.h"
#include "doc/background.h"
#include "doc/document_file.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr int kFirstStoredColumn = 30;
constexpr int kStoredColumns = 180;
constexpr std::uint32_t kMaxDetectorNumber = 32;  // the editor names A1..D32

// --- expression text -------------------------------------------------------------------------

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  ExprNode Whole(bool emptyIsUndefined) {
    if (text_.empty() && emptyIsUndefined) return ExprNode(NodeKind::Undefined);
    ExprNode node = Operand(1);
    SkipSpaces();
    if (at_ != text_.size()) Fail("unexpected character");
    return node;
  }

 private:
  [[noreturn]] void Fail(const char* what, std::size_t at) const {
    throw ExpressionSyntaxError(at + 1, std::string(what) + " at position " + std::to_string(at + 1));
  }
  [[noreturn]] void Fail(const char* what) const { Fail(what, at_); }

  bool At(char c) const { return at_ < text_.size() && text_[at_] == c; }
  bool AtDigit() const { return at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9'; }

  void SkipSpaces() {
    while (At(' ')) ++at_;
  }

  // A detector number 1..32 in decimal without leading zeros.
  std::uint32_t DetectorNumber() {
    const std::size_t start = at_;
    if (!AtDigit() || text_[at_] == '0') Fail("detector number 1..32 expected");
    std::uint32_t value = 0;
    while (AtDigit() && value <= kMaxDetectorNumber) value = value * 10 + static_cast<std::uint32_t>(text_[at_++] - '0');
    if (value > kMaxDetectorNumber) Fail("detector number 1..32 expected", start);
    return value;
  }

  ExprNode Operand(int depth) {
    SkipSpaces();
    if (at_ >= text_.size()) Fail("operand expected");
    const char c = text_[at_];
    if (c == '(') {
      if (depth >= kMaxExpressionDepth) Fail("expression nested too deeply");
      ++at_;
      ExprNode first = Operand(depth + 1);
      SkipSpaces();
      NodeKind kind;
      if (At('&')) kind = NodeKind::And;
      else if (At('|')) kind = NodeKind::Or;
      else if (At('^')) kind = NodeKind::Xor;
      else Fail("operator expected");
      ++at_;
      ExprNode second = Operand(depth + 1);
      SkipSpaces();
      if (!At(')')) Fail("')' expected");
      ++at_;
      return ExprNode(kind, std::move(first), std::move(second));
    }
    if (c == '0' || c == '1') {
      ++at_;
      return ExprNode(c == '0' ? NodeKind::Zero : NodeKind::One);
    }
    if (c >= 'A' && c <= 'D') {
      ++at_;
      const NodeKind kind = DetectorKindOfTrack(c - 'A');
      return ExprNode(kind, DetectorNumber());
    }
    Fail("operand expected");
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

// The node as the editor shows it, for messages.
std::string NodeLabel(const ExprNode& node) {
  const std::string number = std::to_string(node.number);
  switch (node.kind) {
    case NodeKind::OutputLabel: return "Y" + number;
    case NodeKind::ZLabel: return "Z" + number;
    case NodeKind::TrackLabel: return std::string(1, TrackLetter(static_cast<std::int32_t>(node.number))) + "c";
    case NodeKind::Undefined: return Cp1250FromUtf8("Nieokreślony");
    case NodeKind::Assign: return "=";
    case NodeKind::And: return "&";
    case NodeKind::Or: return "|";
    case NodeKind::Xor: return "^";
    case NodeKind::Zero: return "0";
    case NodeKind::One: return "1";
    default:
      return std::string(1, TrackLetter(DetectorKindTrack(node.kind))) + number;
  }
}

// "Y3", "Z64": a definition's name.
std::string DefinitionName(char letter, std::size_t number) {
  char text[16];
  std::snprintf(text, sizeof text, "%c%u", letter, static_cast<unsigned>(number));
  return text;
}

// The script text of a definition, or a failure naming it.
std::string DefinitionText(const ExprNode& root, bool undefinedRoot, const std::string& name) {
  if (const ExprNode* bad = UnexpressibleNode(root, undefinedRoot))
    throw std::runtime_error(Cp1250FromUtf8("Definicji ") + name + Cp1250FromUtf8(" nie można zapisać w JSON: węzeł `") +
                             NodeLabel(*bad) + Cp1250FromUtf8("' nie należy do składni skryptu."));
  return PrintExpression(root);
}

// --- export ----------------------------------------------------------------------------------

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

// The whole 240 x 144 canvas as a 24-bit bitmap; pixels a picture does not hold are white.
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
  j["type"] = DetectorTypeName(d);
  if (d.contrast && d.directional) j["directional"] = true;  // both flags: only damaged files
  j["featureThreshold"] = d.featureThreshold;
  j["threshold"] = d.threshold;
  j["angle"] = d.angle;
  j["delayMs"] = d.delay;
  j["extensionMs"] = d.extension;
  Json erased = Json::array();
  for (const CanvasPoint& p : StoredErasedPixels(d)) erased.push_back(Json::array({p.x, p.y}));
  j["erased"] = erased;
  return j;
}

// --- import ----------------------------------------------------------------------------------

[[noreturn]] void Fail(const std::string& utf8Text) { throw std::runtime_error(Cp1250FromUtf8(utf8Text)); }

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

Cow<ExprNode> Expression(const Json& value, const std::string& field, bool emptyIsUndefined) {
  const std::string text = Text(value, field);
  try {
    return Cow<ExprNode>(ParseExpressionText(text, emptyIsUndefined));
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
    // The eraser works on the whole canvas, as in the editor; the file keeps what Save keeps.
    Picture* mask = nullptr;
    for (std::size_t i = 0; i < erased.size(); ++i) {
      const std::string field = where + ".erased[" + std::to_string(i) + "]";
      const CanvasPoint p = PointOf(erased[i], field);
      if (p.x < 0 || p.x >= Picture::kCanvasWidth || p.y < 0 || p.y >= Picture::kCanvasHeight)
        BadField(field, "punkt poza obrazem 240 x 144 (kolumny 0..239, wiersze 0..143)");
      if (!mask) mask = &d.eraser.Write();
      mask->SetBlack(p.x, p.y);
    }
  }
  return d;
}

RenderState StateOfJson(const Json& j, const BitmapReader& readBitmap) {
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
      const std::string data = readBitmap(Text(file, field));
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
      state.outputDefinitions.push_back(Expression(outputs[i], "outputs[" + std::to_string(i) + "]", false));
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
      state.zDefinitions[index - 1] = Expression(value, "z." + key, true);
    }
  }

  if (j.contains("trackDefinitions")) {
    const Json& definitions = j["trackDefinitions"];
    if (!definitions.is_array() || definitions.size() > RenderState::kMaxTracks)
      BadField("trackDefinitions", "oczekiwano najwyżej czterech wyrażeń");
    for (std::size_t i = 0; i < definitions.size(); ++i)
      state.trackDefinitions.push_back(
          Expression(definitions[i], "trackDefinitions[" + std::to_string(i) + "]", true));
  }
  return state;
}

}  // namespace

ExprNode ParseExpressionText(std::string_view text, bool emptyIsUndefined) { return Parser(text).Whole(emptyIsUndefined); }

const ExprNode* UnexpressibleNode(const ExprNode& node, bool undefinedRoot) {
  switch (node.kind) {
    case NodeKind::Zero:
    case NodeKind::One:
      return nullptr;
    case NodeKind::Undefined:
      return undefinedRoot ? nullptr : &node;
    case NodeKind::And:
    case NodeKind::Or:
    case NodeKind::Xor:
      if (node.children.size() != 2) return &node;
      for (const ExprNode& child : node.children)
        if (const ExprNode* bad = UnexpressibleNode(child, false)) return bad;
      return nullptr;
    default:
      if (IsDetectorKind(node.kind) && node.number >= 1 && node.number <= kMaxDetectorNumber) return nullptr;
      return &node;
  }
}

std::string InvalidDetectorField(const Detector& d) {
  if (d.kind != DetectorKind::Quadrilateral && d.kind != DetectorKind::Line) return "kind";
  if (d.track < 0 || d.track >= Detector::kTracks) return "track";
  if (d.featureThreshold < 0 || d.featureThreshold >= 1000) return "featureThreshold";
  if (d.angle < 0 || d.angle >= 360) return "angle";
  if (d.fillPercent < 0 || d.fillPercent > 100) return "fillPercent";
  return std::string();
}

const char* DetectorTypeName(const Detector& d) {
  if (d.contrast) return "contrast";
  if (d.directional) return "directional";
  return "normal";
}

std::vector<CanvasPoint> StoredErasedPixels(const Detector& d) {
  std::vector<CanvasPoint> points;
  const Picture& mask = d.eraser.Read();
  if (mask.pixels.size() != Picture::kBytes) return points;
  for (int y = 0; y < Picture::kCanvasHeight; ++y)
    for (int x = kFirstStoredColumn; x < kFirstStoredColumn + kStoredColumns; ++x)
      if (mask.IsBlack(x, y)) points.push_back({x, y});
  return points;
}

JsonDocument DocumentToJson(const RenderState& state, const std::string& utf8Stem) {
  JsonDocument document;
  Json j;
  j["format"] = "trevna-document";
  j["version"] = 1;
  j["pictureWidth"] = state.pictureWidth;
  j["tracks"] = state.pictures.size();
  Json backgrounds = Json::object();
  for (std::size_t i = 0; i < state.pictures.size(); ++i) {
    const std::string letter(1, static_cast<char>('A' + i));
    const std::string name = utf8Stem + "-" + letter + ".bmp";
    backgrounds[letter] = name;
    document.bitmaps.push_back({name, BitmapOfPicture(state.pictures[i].Read())});
  }
  j["backgrounds"] = backgrounds;
  Json detectors = Json::array();
  for (const Detector& d : state.detectors) detectors.push_back(DetectorJson(d));
  j["detectors"] = detectors;
  Json outputs = Json::array();
  for (std::size_t i = 0; i < state.outputDefinitions.size(); ++i)
    outputs.push_back(DefinitionText(*state.outputDefinitions[i], false, DefinitionName('Y', i + 1)));
  j["outputs"] = outputs;
  if (!state.zDefinitions.empty()) {
    Json z = Json::object();
    for (std::size_t i = 0; i < state.zDefinitions.size(); ++i)
      if (state.zDefinitions[i]->kind != NodeKind::Undefined)
        z[std::to_string(i + 1)] = DefinitionText(*state.zDefinitions[i], false, DefinitionName('Z', i + 1));
    j["z"] = z;
  }
  Json tracks = Json::array();
  for (std::size_t t = 0; t < state.trackDefinitions.size(); ++t)
    tracks.push_back(DefinitionText(*state.trackDefinitions[t], true,
                                    std::string(1, TrackLetter(static_cast<std::int32_t>(t))) + "c"));
  j["trackDefinitions"] = tracks;
  document.text = CompactInnerArrays(j.dump(2)) + "\n";
  return document;
}

RenderState DocumentFromJson(std::string_view text, const BitmapReader& readBitmap, const std::string& sourceName) {
  Json j;
  try {
    j = Json::parse(text);
  } catch (const Json::parse_error& e) {
    throw std::runtime_error(Cp1250FromUtf8("Niepoprawny plik JSON `") + sourceName + "': " + Cp1250FromUtf8(e.what()));
  }
  return StateOfJson(j, readBitmap);
}

void ExportJsonFile(const RenderState& state, const std::string& jsonPath) {
  const std::filesystem::path json = platform::PathFromUtf8(Utf8FromCp1250(jsonPath));
  const JsonDocument document = DocumentToJson(state, platform::Utf8FromPath(json.stem()));
  const std::filesystem::path folder = json.parent_path();
  if (!folder.empty()) {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
  }
  for (const JsonDocument::Bitmap& bitmap : document.bitmaps)
    WriteFileSafely(Cp1250FromUtf8(platform::Utf8FromPath(folder / platform::PathFromUtf8(bitmap.name))), bitmap.bytes);
  WriteFileSafely(jsonPath, document.text);
}

RenderState ImportJsonFile(const std::string& jsonPath) {
  const std::string text = ReadWholeFile(jsonPath);
  const std::filesystem::path folder = platform::PathFromUtf8(Utf8FromCp1250(jsonPath)).parent_path();
  return DocumentFromJson(
      text,
      [&folder](const std::string& utf8Name) {
        const std::filesystem::path relative = platform::PathFromUtf8(utf8Name);
        const std::filesystem::path path = relative.is_absolute() ? relative : folder / relative;
        return ReadBitmapFile(Cp1250FromUtf8(platform::Utf8FromPath(path)));
      },
      jsonPath);
}
