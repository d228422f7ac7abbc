#include "rescue/rescue_job.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

#include "image_format.h"
#include "job_preamble.h"
#include "progress.h"
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

// The map on disk may trail the image by this much: a crash loses at most
// this long a stretch of work, never a sector's truth.
constexpr auto save_interval = std::chrono::seconds(1);

// Large reads, where the disk reads cleanly, are whole cylinders up to
// 64 KiB: a plain read's pace, on track boundaries, and small enough that a
// failed one leaves little to trim.
uint64_t cluster_bytes(const DriveInfo& info, uint64_t sector) {
  const uint64_t cylinder = uint64_t(std::max(info.sectors_per_track, 1)) *
                            uint64_t(std::max(info.tracks_per_cylinder, 1)) * sector;
  const uint64_t limit = std::max<uint64_t>(64 * 1024 / sector, 1) * sector;
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
        cluster_(cluster_bytes(outcome.drive, sector_)),
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
    if (!force && Clock::now() - last_save_ < save_interval) return true;
    last_save_ = Clock::now();
    if (const platform::Error synced = handles_.image->sync(); synced != platform::Error::none) {
      fail(JOB_HEADER_WRITE_FAILED, synced, "the image file could not be written");
      return false;
    }
    notes_.current_time = map_time_now();
    const std::string text = format_map(map_, notes_);
    if (const platform::Error saved = platform::current().replace_file(out_.map_path.c_str(), text);
        saved != platform::Error::none) {
      fail(JOB_HEADER_WRITE_FAILED, saved, "the map file could not be written");
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
              handles_.image->write_at(image_header_size + pos, data.first(good));
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
    const uint64_t max_skip = 16 * cluster_;
    for (int pass = 1; pass <= 2; ++pass) {
      map_.phase = Phase::copying;
      map_.pass = pass;
      uint64_t pos = 0;
      uint64_t skip = cluster_;
      while (const std::optional<Area> area = map_.next(Status::non_tried, pos)) {
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
    while (const std::optional<Area> area = map_.next(status, pos)) {
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

// Reads the whole small file at `path` into `text`; not_found when there
// is none.
platform::Error read_text(const std::string& path, std::string& text) {
  platform::Error error = platform::Error::none;
  const std::unique_ptr<platform::ImageFile> file =
      platform::current().open_image(path.c_str(), platform::ImageMode::read, error);
  if (!file) return error;
  std::array<std::byte, 4096> chunk;
  for (;;) {
    const platform::ReadResult got = file->read(chunk);
    text.append(reinterpret_cast<const char*>(chunk.data()), got.count);
    if (got.failed()) return got.error;
    if (got.count < chunk.size()) return platform::Error::none;
  }
}

// True when `path` opens and holds at least one byte.
bool holds_data(const std::string& path) {
  platform::Error error = platform::Error::none;
  const std::unique_ptr<platform::ImageFile> file =
      platform::current().open_image(path.c_str(), platform::ImageMode::read, error);
  std::array<std::byte, 1> byte;
  return file && file->read(byte).count > 0;
}

// The fill of every sector in [pos, pos + size), written in place.
platform::Error write_fill(platform::ImageFile& image, Fill fill, uint64_t sector_size,
                           uint64_t pos, uint64_t size) {
  std::vector<std::byte> block(sector_size);
  for (uint64_t at = pos; at < pos + size; at += sector_size) {
    fill_sector(fill, at / sector_size, block);
    if (const platform::Error put = image.write_at(image_header_size + at, block);
        put != platform::Error::none)
      return put;
  }
  return platform::Error::none;
}

// A new image: the header, then the fill for every sector, so that the file
// has its whole size from the start.
platform::Error create_image(platform::ImageFile& image, const RescueRequest& request,
                             const DriveInfo& info) {
  ImageHeader header = header_of(info);
  set_label(header, request.job.label);
  if (const platform::Error put = image.write(encode_header(header)); put != platform::Error::none)
    return put;
  const uint64_t sector_size = uint64_t(info.bytes_per_sector);
  std::vector<std::byte> block(sector_size);
  for (uint64_t sector = 0; sector < info.size / sector_size; ++sector) {
    fill_sector(request.fill, sector, block);
    if (const platform::Error put = image.write(block); put != platform::Error::none) return put;
  }
  return platform::Error::none;
}

// An image that an earlier run left: the drive's geometry in its header, and
// its whole size, or the map's rescued sectors would not be in it.
bool check_image(platform::ImageFile& image, const DriveInfo& info, RescueOutcome& out) {
  HeaderBytes bytes{};
  const platform::ReadResult got = image.read(bytes);
  if (got.count < bytes.size() || !same_geometry(decode_header(bytes), header_of(info))) {
    out.job = outcome(JOB_GEOMETRY_MISMATCH, got.error);
    out.problem = "the image file does not hold this disk's geometry";
    return false;
  }
  // Its size as the file system tells it, or else as far as it reads.
  uint64_t length = 0;
  if (const std::optional<uint64_t> size = image.size()) {
    length = *size > bytes.size() ? *size - bytes.size() : 0;
  } else {
    std::vector<std::byte> chunk(64 * 1024);
    for (;;) {
      const platform::ReadResult data = image.read(chunk);
      length += data.count;
      if (data.failed()) {
        out.job = outcome(JOB_HEADER_READ_FAILED, data.error);
        out.problem = "the image file could not be read";
        return false;
      }
      if (data.count < chunk.size()) break;
    }
  }
  if (length < info.size) {
    out.job = outcome(JOB_GEOMETRY_MISMATCH, platform::Error::none);
    out.problem = "the image file is shorter than the disk";
    return false;
  }
  return true;
}

// Finds the map an earlier run left, or starts a new one.
bool load_map(RescueOutcome& out) {
  std::string text;
  const platform::Error read = read_text(out.map_path, text);
  if (read == platform::Error::not_found) {
    out.map = RescueMap(out.drive.size);
    return true;
  }
  std::string error;
  std::optional<RescueMap> map =
      read == platform::Error::none ? parse_map(text, error) : std::nullopt;
  if (!map) {
    out.job = outcome(JOB_IMAGE_OPEN_FAILED,
                      read == platform::Error::none ? platform::Error::other : read);
    out.problem = "the map file " + out.map_path +
                  " cannot be used: " + (error.empty() ? "it cannot be read" : error);
    return false;
  }
  if (map->size() > out.drive.size) {
    out.job = outcome(JOB_GEOMETRY_MISMATCH, platform::Error::none);
    out.problem = "the map file " + out.map_path + " describes a larger disk";
    return false;
  }
  // ddrescue may have mapped only the start of the disk.
  map->extend_to(out.drive.size);
  out.map = std::move(*map);
  out.resumed = true;
  return true;
}

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
  const uint64_t sector_size = uint64_t(std::max(drive.info.bytes_per_sector, 0));
  if (sector_size == 0 || drive.info.size % sector_size != 0) {
    out.job = outcome(JOB_NO_MEDIA, platform::Error::other);
    out.problem = "the disk's geometry has no whole sectors";
    return out;
  }
  platform::Platform& os = platform::current();
  if (out.map_path == request.job.image || os.is_drive(drive.device_path, out.map_path.c_str())) {
    out.job = outcome(JOB_IMAGE_CREATE_FAILED, platform::Error::other);
    out.problem = "the map file cannot be the image file or the drive";
    return out;
  }
  if (!load_map(out)) return out;

  JobHandles handles;
  platform::Error error = platform::Error::none;
  // The drive first: a drive that cannot be opened leaves no new image.
  if (!handles.open_drive(drive, platform::DriveAccess::read, error)) {
    out.job = outcome(JOB_DRIVE_OPEN_FAILED, error);
    return out;
  }
  if (out.resumed) {
    if (!handles.open_image(request.job, drive, platform::ImageMode::update, error)) {
      out.job = outcome(JOB_IMAGE_OPEN_FAILED, error);
      out.problem = "the map's image file " + request.job.image + " cannot be opened";
      return out;
    }
    if (!check_image(*handles.image, drive.info, out)) return out;
    // What is not rescued gets this run's fill.
    for (const Area& area : out.map.areas()) {
      if (area.status == Status::rescued) continue;
      error = write_fill(*handles.image, request.fill, sector_size, area.pos, area.size);
      if (error != platform::Error::none) {
        out.job = outcome(JOB_HEADER_WRITE_FAILED, error);
        return out;
      }
    }
  } else {
    // Without its map an earlier rescue's image cannot be continued, and
    // starting afresh would empty it: a mistyped --map must not cost that.
    if (holds_data(request.job.image)) {
      out.job = outcome(JOB_IMAGE_CREATE_FAILED, platform::Error::other);
      out.problem = "the image file " + request.job.image + " exists but the map " + out.map_path +
                    " does not; name its map, or remove the image";
      return out;
    }
    if (!handles.open_image(request.job, drive, platform::ImageMode::create, error)) {
      out.job = outcome(JOB_IMAGE_CREATE_FAILED, error);
      return out;
    }
    if ((error = create_image(*handles.image, request, drive.info)) != platform::Error::none) {
      out.job = outcome(JOB_HEADER_WRITE_FAILED, error);
      return out;
    }
  }

  sink.started(out.drive);
  Rescuer rescuer(request, out, handles, sink);
  if (rescuer.save(true)) rescuer.run();
  // Whatever stopped the run, image and map are left agreeing.
  const bool saved = rescuer.save(true);
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

void fill_sector(Fill fill, uint64_t sector, std::span<std::byte> bytes) {
  if (fill == Fill::zero) {
    std::fill(bytes.begin(), bytes.end(), std::byte{0});
    return;
  }
  char text[48];
  const int n =
      std::snprintf(text, sizeof text, "<<TESSIL: UNREADABLE SECTOR %08" PRIu64 ">>\n", sector);
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<std::byte>(text[i % static_cast<std::size_t>(n)]);
}

}  // namespace tessil::rescue
