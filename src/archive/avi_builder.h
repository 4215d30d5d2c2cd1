// Builds an archive recording in memory as the card writes one: "RIFF" "AVI ", a "hdrl" list
// with "avih" (picture size) and one "strl", a "movi" list of "00dc" JPEG frames and an
// "idx1" index. For the card simulator's recordings, tests, benchmarks and fuzz seeds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

std::string BuildArchiveAvi(const std::vector<std::string>& frames, std::uint32_t width, std::uint32_t height);

// Frames of a synthetic road (see synthetic_road.h): `count` JPEG pictures of `track` at
// 6.25 per second starting at `startSeconds`, grey, at `quality`.
std::vector<std::string> SyntheticJpegFrames(std::uint32_t track, std::uint32_t count, double startSeconds,
                                             int quality = 90, std::uint32_t width = 180, std::uint32_t height = 144);
