// Editing commands of the output definition editor, applied to the node that the revision's
// SelectionPath selects. Command numbers are those of the editor's pop-up menu.
#pragma once

#include <cstdint>

#include "doc/render_state.h"

class Document;

enum DefinitionCommand : std::uint32_t {
  kCommandMakeOr = 40027,         // "&Suma"
  kCommandMakeAnd = 40028,        // "&Iloczyn"
  kCommandMakeZero = 40029,       // "&Zero"
  kCommandMakeOne = 40030,        // "&Jeden"
  kCommandDetectorFirst = 40031,  // "A1" .. "A32", "B1" .. "B32", "C1" .. "C32", "D1" .. "D32"
  kCommandDetectorLast = 40158,
  kCommandMakeUndefined = 40159,  // "Nieokreślony"
  kCommandMakeXor = 40171,        // "&Alternatywa wykluczająca"
  kCommandReset = 40172,          // "&Resetuj wyrażenie"
};

// The command that names detector `number` (1..32) of `track` (0..3).
std::uint32_t DetectorCommand(int track, std::uint32_t number);

// Applies a command to the selected node of `state` (the revision the edit works on). Returns
// whether the state changed. Nothing happens without a selected node, for command numbers
// outside the table, for "Nieokreślony" on anything but the root of a Z definition (the only
// place the menu offers it), and for an operator that would make the tree deeper than
// kMaxExpressionDepth.
bool ApplyDefinitionCommand(RenderState& state, std::uint32_t command);

// The editor's command step: with an empty selection nothing happens (returns false);
// otherwise the document makes a new revision (one undo step even when the command changes
// nothing) and the command is applied to it. Returns whether a revision was made.
bool RunDefinitionCommand(Document& document, std::uint32_t command);
