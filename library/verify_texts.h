// How a verify's differences are told, in the same words by the window and
// the command-line program. Header-only: the window does not link the
// library.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "outcomes.h"
#include "standard_formats.h"

namespace tessil {

// How many differing sectors a verify lists by their address.
inline constexpr std::size_t listed_differences = 5;

// "3 sectors differ, first at C/H/S 0/0/1 (sector 0), 0/1/2 (sector 19)"
inline std::string describe_differences(uint64_t count, std::span<const SectorAddress> first) {
  std::string text = std::to_string(count) + (count == 1 ? " sector differs" : " sectors differ");
  for (std::size_t i = 0; i < first.size() && i < listed_differences; ++i) {
    text += i == 0 ? ", first at C/H/S " : ", ";
    const SectorAddress& a = first[i];
    text += std::to_string(a.cylinder) + "/" + std::to_string(a.head) + "/" +
            std::to_string(a.sector) + " (sector " + std::to_string(a.number) + ")";
  }
  return text;
}

}  // namespace tessil
