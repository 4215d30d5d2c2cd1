#include "doc/definition_records.h"

#include "base/chunk.h"

namespace {

bool StoresNumber(NodeKind kind) {
  switch (kind) {
    case NodeKind::DetectorA:
    case NodeKind::DetectorB:
    case NodeKind::OutputLabel:
    case NodeKind::ZLabel:
    case NodeKind::DetectorC:
    case NodeKind::DetectorD:
    case NodeKind::TrackLabel:
      return true;
    default:
      return false;
  }
}

void WriteNode(const ExprNode& node, std::string& out) {
  const std::size_t begin = BeginChunk(out, kNodeRecordTag);
  AppendU32(out, static_cast<std::uint32_t>(node.kind));
  AppendU32(out, StoresNumber(node.kind) ? node.number : 0);
  const bool op = IsOperator(node.kind);
  AppendU32(out, op ? 2 : 0);
  if (op) {
    // An operator always has two operands; a missing one is written as its neutral leaf so
    // that the record stays readable.
    for (std::size_t i = 0; i < 2; ++i) {
      if (i < node.children.size())
        WriteNode(node.children[i], out);
      else
        WriteNode(ExprNode(node.kind == NodeKind::Or ? NodeKind::Zero : NodeKind::One), out);
    }
  }
  EndChunk(out, begin);
}

void WriteDefinition(DefinitionFamily family, std::uint32_t index, const ExprNode& root, std::string& out) {
  const std::size_t begin = BeginChunk(out, kDefinitionRecordTag);
  AppendU32(out, static_cast<std::uint32_t>(family));
  AppendU32(out, index);
  WriteNode(root, out);
  EndChunk(out, begin);
}

// Reads one node record that must fill `bytes` from its start; `depth` counts the levels above.
bool ReadNode(std::string_view& bytes, int depth, ExprNode& node) {
  if (depth >= kMaxExpressionDepth) return false;
  if (bytes.size() < 8) return false;
  const std::uint32_t tag = LoadU32(bytes.data());
  const std::uint32_t length = LoadU32(bytes.data() + 4);
  if (length < 8 || bytes.size() < length) return false;
  if (tag != kNodeRecordTag) return false;
  PayloadReader payload(bytes.substr(8, length - 8));
  bytes.remove_prefix(length);

  std::uint32_t kind = 0, number = 0, childCount = 0;
  if (!payload.U32(kind) || !payload.U32(number) || !payload.U32(childCount)) return false;
  if (kind >= kNodeKindCount) return false;
  node.kind = static_cast<NodeKind>(kind);
  // Kinds without a number always hold 0 in memory, as the writer stores them.
  node.number = StoresNumber(node.kind) ? number : 0;
  // Operators are drawn and printed with exactly two operands, leaves with none.
  if (childCount != (IsOperator(node.kind) ? 2u : 0u)) return false;
  if (childCount == 2) {
    node.children.resize(2);
    std::string_view rest = payload.Rest();
    for (ExprNode& child : node.children)
      if (!ReadNode(rest, depth + 1, child)) return false;
    return rest.empty();
  }
  return payload.Remaining() == 0;
}

bool ReadDefinition(std::string_view payload, RenderState& state) {
  PayloadReader reader(payload);
  std::uint32_t family = 0, index = 0;
  if (!reader.U32(family) || !reader.U32(index)) return false;
  Cow<ExprNode>* slot = nullptr;
  switch (family) {
    case static_cast<std::uint32_t>(DefinitionFamily::Output):
      if (index < 1 || index > RenderState::kOutputCount) return false;
      if (state.outputDefinitions.size() < RenderState::kOutputCount)
        state.outputDefinitions.resize(RenderState::kOutputCount, NewDefinitionRoot(NodeKind::One));
      slot = &state.outputDefinitions[index - 1];
      break;
    case static_cast<std::uint32_t>(DefinitionFamily::Z):
      if (index < 1 || index > RenderState::kZCount) return false;
      if (state.zDefinitions.empty())
        state.zDefinitions.assign(RenderState::kZCount, NewDefinitionRoot(NodeKind::Undefined));
      slot = &state.zDefinitions[index - 1];
      break;
    case static_cast<std::uint32_t>(DefinitionFamily::Track):
      if (index >= RenderState::kMaxTracks) return false;
      if (state.trackDefinitions.size() < index + 1)
        state.trackDefinitions.resize(index + 1, NewDefinitionRoot(NodeKind::One));
      slot = &state.trackDefinitions[index];
      break;
    default:
      return false;
  }
  ExprNode root;
  std::string_view rest = reader.Rest();
  if (!ReadNode(rest, 0, root)) return false;
  // Bytes after the root node inside the record are ignored.
  slot->Assign(std::move(root));
  return true;
}

}  // namespace

void WriteDefinitions(const RenderState& state, std::string& out) {
  for (std::size_t i = 0; i < state.outputDefinitions.size(); ++i)
    WriteDefinition(DefinitionFamily::Output, static_cast<std::uint32_t>(i + 1), *state.outputDefinitions[i], out);
  for (std::size_t i = 0; i < state.zDefinitions.size(); ++i)
    WriteDefinition(DefinitionFamily::Z, static_cast<std::uint32_t>(i + 1), *state.zDefinitions[i], out);
  for (std::size_t i = 0; i < state.trackDefinitions.size(); ++i)
    WriteDefinition(DefinitionFamily::Track, static_cast<std::uint32_t>(i), *state.trackDefinitions[i], out);
}

bool ReadDefinitions(std::string_view records, RenderState& state) {
  ChunkWalker walker(records);
  Chunk chunk;
  while (walker.Next(chunk)) {
    if (chunk.tag != kDefinitionRecordTag) continue;
    if (!ReadDefinition(chunk.payload, state)) return false;
  }
  return true;
}
