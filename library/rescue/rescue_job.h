// The rescue read: every sector of a damaged disk that can still be read,
// into an image file that is always whole, with a mapfile beside it that
// says which sectors are rescued, which failed and which were not tried.
// Run again with the same map, it reads only what is still missing.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "geometry.h"
#include "job_request.h"
#include "rescue/rescue_map.h"

namespace tessil::rescue {

// What an unreadable sector holds in the image.
enum class Fill {
  zero,
  marker,  // a text no real sector holds, with the sector's number
};

// How the passes read, in one place.
struct RescueTuning {
  // Large reads, where the disk reads cleanly, are whole cylinders up to
  // this size: a plain read's pace, on track boundaries, and small enough
  // that a failed one leaves little to trim.
  uint64_t cluster_limit = 64 * 1024;
  // The first pass jumps past a failing area by one cluster, doubling up to
  // this many clusters while it keeps failing.
  uint64_t max_skip_clusters = 16;
  // The map on disk may trail the image by this much: a crash loses at most
  // this long a stretch of work, never a sector's truth.
  std::chrono::milliseconds save_interval{1000};
};

struct RescueRequest {
  // Drive, image file and label; with job.raw_image the image is the disk's
  // sectors alone, as GNU ddrescue makes it, so that either program can go
  // on with the other's image and map.
  JobRequest job;
  RescueTuning tuning;
  std::string map;  // the mapfile; empty: the image's path and ".map"
  int retries = 2;  // passes over the sectors still bad at the end
  Fill fill = Fill::zero;
  std::string command_line;  // noted in the map's comments
};

// A job sink that also learns the disk's geometry once it is found, and
// sees the map after every read.
class RescueSink : public JobSink {
 public:
  virtual void started(const DriveInfo& drive) { (void)drive; }
  virtual void map_changed(const RescueMap& map) { (void)map; }
};

struct RescueOutcome {
  // JOB_OK once every pass ran, whether or not sectors stayed bad;
  // JOB_CANCELLED, or the code of what failed.
  JobOutcome job;
  std::string problem;  // what failed, where no result code says it all
  DriveInfo drive;
  RescueMap map;
  std::string map_path;
  bool resumed = false;   // an existing map was continued
  bool in_place = false;  // the image and its map are there and agree
  std::string label;      // the label the image holds
  // The file whose failure ended the job when it is not the image: the map.
  std::string failed_file;
};

RescueOutcome run_rescue_job(const RescueRequest& request, RescueSink& sink);

// The map's path for a request.
std::string map_path_of(const RescueRequest& request);

// Where the disk's first byte lies in the request's image.
uint64_t data_offset(const RescueRequest& request);

// The bytes an unreadable sector `sector` (its number on the disk) holds.
void fill_sector(Fill fill, uint64_t sector, std::span<std::byte> bytes);

}  // namespace tessil::rescue
