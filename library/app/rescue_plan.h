// Before a rescue reads anything: the image, its map and its report kept
// apart, an image that goes on found with its map (or with what a plain read
// that failed left in it), and the kind and label an image keeps. Both
// front ends plan a rescue here, so that it goes on from the same files in
// the same way whichever started it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "rescue/rescue_job.h"

namespace tessil::app {

struct DiskRescueRequest {
  char letter = 0;
  std::string image;
  std::string label;
  std::string map;          // empty: IMAGE.map
  std::optional<bool> raw;  // asked for; nothing: an image's own kind, a new one's by its name
  bool afresh = false;      // image, map and report replaced
  bool report = true;       // IMAGE.json beside the image
  // The image holds what a plain read got before it failed, though no report
  // says so: the window knows, having just run that read. A map beside it
  // is older and is replaced.
  bool after_failed_read = false;
  int retries = 2;
  rescue::Fill fill = rescue::Fill::zero;
  std::string command_line;  // noted in the map's comments
};

struct RescuePlan {
  // Why the rescue cannot run, when it cannot; then `code` says whose fault
  // it is: 0 the request's, else the outcome of the file that failed.
  std::string refusal;
  int32_t code = 0;
  std::string map_path;
  std::string report_path;
  bool raw = false;      // the kind the image is or will be
  std::string label;     // the label the image keeps
  bool resumed = false;  // an image is there to go on with

  bool refused() const { return !refusal.empty(); }
};

// Checks the request's files and makes them ready: removes them when it
// starts afresh, and writes the map of a failed read's image. Touches
// nothing when it refuses for the request's sake.
RescuePlan plan_rescue(const DiskRescueRequest& request);

// The map of `image` when its report IMAGE.json records a plain read that
// failed: the bytes the image holds of the disk, rescued, and the rest not
// tried. Nothing when the report records no such read, or no longer
// describes the file.
std::optional<std::string> map_of_failed_read(const std::string& image);

// The map of an image that holds the first `data_bytes` of a disk in whole
// sectors of `sector_size`, the rest not tried.
std::string map_of_partial_image(uint64_t data_bytes, uint64_t sector_size);

}  // namespace tessil::app
