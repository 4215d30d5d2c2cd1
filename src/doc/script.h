// The output script ("compose.txt") that the card evaluates.
#pragma once

#include <string>

#include "doc/render_state.h"

// "Y<i> = <expr>\n" for every output definition, then "Z<i> = <expr>\n" for every Z definition
// that is not Undefined, then "<letter>c = <expr>\n" for every track definition that is not One.
std::string PrintScript(const RenderState& state);
