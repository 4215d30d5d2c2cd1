// The card's live stream (TCP port 25100): per connection, pictures of tracks A..D in turn
// (type 1), each answered by the client's 64-byte reply before the next, and tuning counts
// (type 2) for the detector that the replies ask about. With the detection preview on, the
// programmed detector areas are marked on the pictures, brighter while a vehicle is inside;
// forced outputs are shown as a strip of Y1..Y8 boxes. The pictures are the shared synthetic
// road (archive/synthetic_road.h), the same traffic as in the archive recordings.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/synthetic_road.h"
#include "program_package.h"

namespace cardsim {

class Card;

void ServeStreamConnection(Card& card, int fd, const std::string& client);

// Grey levels of a marked detector area.
constexpr std::uint8_t kAreaFree = 160;
constexpr std::uint8_t kAreaOccupied = 255;

// True when vehicles cover enough of the detector's area to count as inside it.
bool AreaOccupied(const ProgramDetector& detector, const std::vector<synthetic::Vehicle>& vehicles);

// Marks the areas of the program's detectors of `track` on a 180 x 144 picture.
void MarkDetectorAreas(const Program& program, unsigned track, const std::vector<synthetic::Vehicle>& vehicles,
                       std::uint8_t* grey);

// Draws the Y1..Y8 strip along the top of the picture; bit n-1 of `forced` lights Yn.
void DrawForcedOutputs(std::uint8_t forced, std::uint8_t* grey);

}  // namespace cardsim
