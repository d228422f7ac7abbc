#include "rescue/rescue_job.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <vector>

#include "image_format.h"
#include "job_preamble.h"
#include "outcomes.h"
#include "platform/error_words.h"
#include "progress.h"
#include "rescue/rescue_start.h"
#include "trace.h"

namespace tessil::rescue {

namespace {

using Clock = std::chrono::steady_clock;

JobOutcome outcome(int32_t code, platform::Error reason) {
  JobOutcome result;
  result.code = code;
  result.reason = reason;
  return result;
}

// Whole cylinders up to the tuning's limit.
uint64_t cluster_bytes(const DriveInfo& info, uint64_t sector, const RescueTuning& tuning) {
  const uint64_t cylinder = uint64_t(std::max(info.sectors_per_track, 1)) *
                            uint64_t(std::max(info.tracks_per_cylinder, 1)) * sector;
  const uint64_t limit = std::max<uint64_t>(tuning.cluster_limit / sector, 1) * sector;
  return cylinder > limit ? limit : limit / cylinder * cylinder;
}

class Rescuer {
 public:
  Rescuer(const RescueRequest& request, RescueOutcome& outcome, JobHandles& handles,
          RescueSink& sink)
      : request_(request),
        out_(outcome),
        map_(outcome.map),
        handles_(handles),
        sink_(sink),
        sector_(uint64_t(outcome.drive.bytes_per_sector)),
        cluster_(cluster_bytes(outcome.drive, sector_, request.tuning)),
        track_(uint64_t(std::max(outcome.drive.sectors_per_track, 1)) * sector_),
        buffer_(cluster_) {
    notes_.command_line = request.command_line;
    notes_.start_time = map_time_now();
  }

  void run() {
    copy();
    trim();
    scrape();
    retry();
    if (!halted()) {
      map_.phase = Phase::finished;
      map_.current_pos = 0;
      map_.pass = 1;
    }
  }

  // Makes the image durable, then the map that describes it: the map never
  // claims a sector the image does not hold.
  bool save(bool force) {
    if (!force && Clock::now() - last_save_ < request_.tuning.save_interval) return true;
    last_save_ = Clock::now();
    if (const platform::Error synced = handles_.image->sync(); synced != platform::Error::none) {
      fail(JOB_HEADER_WRITE_FAILED, synced, "the image file could not be written");
      return false;
    }
    notes_.current_time = map_time_now();
    const std::string text = format_map(map_, notes_);
    if (const platform::Error saved = request_.job.os().replace_file(out_.map_path.c_str(), text);
        saved != platform::Error::none) {
      out_.failed_file = out_.map_path;
      fail(outcome::map_not_written, saved,
           "it could not be written: " + std::string(platform::error_words(saved)));
      return false;
    }
    return true;
  }

  bool halted() const { return cancelled_ || failed_; }
  bool cancelled() const { return cancelled_; }

 private:
  void fail(int32_t code, platform::Error reason, std::string problem) {
    if (failed_) return;
    failed_ = true;
    out_.job = outcome(code, reason);
    out_.problem = std::move(problem);
  }

  bool stop() {
    if (!halted() && sink_.cancel_requested()) cancelled_ = true;
    return halted();
  }

  // Reads [pos, pos + size) and puts what it read into the image, marked
  // rescued. Returns the bytes read before the first failure.
  uint64_t read(uint64_t pos, uint64_t size) {
    map_.current_pos = pos;
    const std::span<std::byte> data = std::span(buffer_).first(size);
    const platform::ReadResult got = handles_.disk->read_at(pos, data);
    // A medium that ends early failed where it ended.
    const uint64_t good = std::min<uint64_t>(got.count / sector_ * sector_, size);
    if (good > 0) {
      if (const platform::Error put =
              handles_.image->write_at(data_offset(request_) + pos, data.first(good));
          put != platform::Error::none) {
        fail(JOB_HEADER_WRITE_FAILED, put, "the image file could not be written");
        return 0;
      }
      map_.set(pos, good, Status::rescued);
    }
    report();
    return good;
  }

  void report() {
    const uint64_t pending = map_.bytes(Status::non_tried) + map_.bytes(Status::non_trimmed) +
                             map_.bytes(Status::non_scraped);
    const uint64_t done = map_.size() - pending;
    sink_.progress({progress_percent(map_.size(), done), done, map_.size()});
    sink_.map_changed(map_);
    save(false);
  }

  // Large reads over what nobody tried yet. The first pass jumps ahead past
  // a failing area, farther each time it keeps failing, so that the good
  // parts of the disk come first; the second reads what it jumped over.
  void copy() {
    const uint64_t max_skip = request_.tuning.max_skip_clusters * cluster_;
    for (int pass = 1; pass <= 2; ++pass) {
      map_.phase = Phase::copying;
      map_.pass = pass;
      uint64_t pos = 0;
      uint64_t skip = cluster_;
      while (const std::optional<Area> area = map_.next(Status::non_tried, pos, cluster_)) {
        if (stop()) return;
        // Reads end on cluster boundaries, which fall on the disk's tracks.
        const uint64_t boundary = (area->pos / cluster_ + 1) * cluster_;
        const uint64_t size = std::min(area->end(), boundary) - area->pos;
        const uint64_t good = read(area->pos, size);
        if (halted()) return;
        pos = area->pos + size;
        if (good == size) {
          skip = cluster_;
          continue;
        }
        map_.set(area->pos + good, size - good, Status::non_trimmed);
        if (pass == 1) {
          pos += skip;
          skip = std::min(skip * 2, max_skip);
        }
      }
    }
    // The large reads that failed, again a track at a time: on a floppy a
    // track is one turn of the disk where sector by sector is a turn each,
    // so only the tracks that hold a bad sector are left to trim.
    if (track_ <= sector_) return;  // trimming does it sector by sector
    map_.pass = 3;
    uint64_t pos = 0;
    while (const std::optional<Area> area = map_.next(Status::non_trimmed, pos)) {
      pos = area->end();
      if (area->size <= track_) continue;
      for (uint64_t at = area->pos; at < area->end();) {
        if (stop()) return;
        const uint64_t size = std::min(area->end(), (at / track_ + 1) * track_) - at;
        read(at, size);  // what fails stays non-trimmed
        if (halted()) return;
        at += size;
      }
    }
  }

  // Sector by sector inwards from both edges of every failed area, up to
  // the first bad sector on each side; what lies between is left to scrape.
  void trim() {
    map_.phase = Phase::trimming;
    map_.pass = 1;
    uint64_t pos = 0;
    while (const std::optional<Area> area = map_.next(Status::non_trimmed, pos)) {
      uint64_t begin = area->pos;
      uint64_t end = area->end();
      bool edge_bad = false;
      while (begin < end && !edge_bad) {
        if (stop()) return;
        edge_bad = read(begin, sector_) == 0;
        if (halted()) return;
        if (edge_bad) map_.set(begin, sector_, Status::bad);
        begin += sector_;
      }
      edge_bad = false;
      while (end > begin && !edge_bad) {
        if (stop()) return;
        edge_bad = read(end - sector_, sector_) == 0;
        if (halted()) return;
        if (edge_bad) map_.set(end - sector_, sector_, Status::bad);
        end -= sector_;
      }
      map_.set(begin, end - begin, Status::non_scraped);
      pos = area->end();
    }
  }

  // Every sector between the edges, one at a time.
  void scrape() {
    map_.phase = Phase::scraping;
    map_.pass = 1;
    each_sector(Status::non_scraped);
  }

  void retry() {
    for (int pass = 1; pass <= request_.retries && !halted(); ++pass) {
      if (map_.bytes(Status::bad) == 0) return;
      map_.phase = Phase::retrying;
      map_.pass = pass;
      each_sector(Status::bad);
    }
  }

  // One read of each sector of `status`; a failure leaves it bad.
  void each_sector(Status status) {
    uint64_t pos = 0;
    while (const std::optional<Area> area = map_.next(status, pos, sector_)) {
      if (stop()) return;
      const bool failed = read(area->pos, sector_) == 0;
      if (halted()) return;
      if (failed) map_.set(area->pos, sector_, Status::bad);
      pos = area->pos + sector_;
    }
  }

  const RescueRequest& request_;
  RescueOutcome& out_;
  RescueMap& map_;
  JobHandles& handles_;
  RescueSink& sink_;
  uint64_t sector_;
  uint64_t cluster_;
  uint64_t track_;
  std::vector<std::byte> buffer_;
  MapNotes notes_;
  Clock::time_point last_save_{};
  bool cancelled_ = false;
  bool failed_ = false;
};

}  // namespace

RescueOutcome run_rescue_job(const RescueRequest& request, RescueSink& sink) {
  RescueOutcome out;
  out.map_path = map_path_of(request);
  const JobDrive drive = find_job_drive(request.job);
  out.drive = drive.info;
  if (!has_disk(drive)) {
    out.job = outcome(JOB_NO_MEDIA, drive.reason);
    return out;
  }
  JobHandles handles;
  NewImage image(request.job.os());
  if (!start_rescue(request, drive, out, handles, sink, image)) return out;

  sink.started(out.drive);
  Rescuer rescuer(request, out, handles, sink);
  // A new image is put in place after its first map, never before.
  const bool placed = rescuer.save(true) && publish_image(request, image, out);
  if (placed) rescuer.run();
  // Whatever stopped the run, image and map are left agreeing.
  const bool saved = placed && rescuer.save(true);
  const platform::Error finished = handles.image->finish();
  handles.image.reset();
  if (saved && finished != platform::Error::none) {
    out.job = outcome(JOB_HEADER_WRITE_FAILED, finished);
    out.problem = "the image file could not be written";
  }
  const uint64_t done = out.map.size() - out.map.bytes(Status::non_tried) -
                        out.map.bytes(Status::non_trimmed) - out.map.bytes(Status::non_scraped);
  sink.progress({100, done, out.map.size()});
  if (out.job.code == JOB_OK && rescuer.cancelled())
    out.job = outcome(JOB_CANCELLED, platform::Error::none);
  trace("rescue: %" PRIu64 " bytes rescued, %" PRIu64 " not\n", out.map.bytes(Status::rescued),
        out.map.size() - out.map.bytes(Status::rescued));
  return out;
}

std::string map_path_of(const RescueRequest& request) {
  return request.map.empty() ? request.job.image + ".map" : request.map;
}

uint64_t data_offset(const RescueRequest& request) {
  return request.job.raw_image ? 0 : image_header_size;
}

}  // namespace tessil::rescue
