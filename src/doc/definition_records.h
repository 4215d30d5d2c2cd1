// Binary form of the output definitions: one definition record (tag 8) per definition, each
// holding the node record (tag 9) of its root with the children's records nested inside.
//
//   definition record: tag 8, length, family (4 output, 8 Z, 13 track), index, root node record
//   node record:       tag 9, length, kind, number, child count (0 or 2), child node records
//
// All values are 32-bit little-endian; each length counts the record's 8 header bytes.
#pragma once

#include <string>
#include <string_view>

#include "doc/render_state.h"

constexpr std::uint32_t kDefinitionRecordTag = 8;
constexpr std::uint32_t kNodeRecordTag = 9;

// Appends all output definitions (index 1..8), every Z definition (1..64, Undefined ones
// included) and every track definition (index 0 upwards). Rectangles and the selection are not
// written.
void WriteDefinitions(const RenderState& state, std::string& out);

// Fills `state` from a sequence of records, record by record until fewer than 4 bytes remain.
// An incomplete outer record (short header, length below 8, fewer bytes than announced) ends the
// reading with success; records with other tags are skipped. A malformed definition record
// fails: short payload, unknown family or index out of range, a short or malformed node record
// (tag not 9, kind 14 or above, child count other than 2 for operators or 0 for the other kinds,
// payload not used up exactly, nesting deeper than kMaxExpressionDepth). Returns false on
// failure; the state may then be partly filled.
bool ReadDefinitions(std::string_view records, RenderState& state);
