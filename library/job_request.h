// What a job is asked to do, and where it reports while it runs. The C entry
// points and the command-line program both start jobs this way.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace tessil {

struct JobRequest {
  std::string drive;        // the drive letter's text, "A"
  std::string image;        // the image file's path
  std::string label;        // read: stored in the header, at most 299 bytes
  bool image_whole = true;  // false: the caller's path was cut to fit; never opened
  // The image is raw: the disk's sectors without a header. A raw image to
  // write must have the size of the disk's own standard format.
  bool raw_image = false;
  // Take the SHA-256 and MD5 of the data as it streams.
  bool checksums = false;
  // The job's own geometry query prints its lines on standard output, as
  // the library's callers have always seen them; the command line's jobs
  // stay quiet.
  bool print_query = false;
  // The image file must be new: a name taken, even by a link, fails the job.
  bool new_image_only = false;
  // The drive as the caller holds it for every job of one command (a write
  // and the verify after it), which ask for leave to open it only once;
  // null: the job holds it for its own length.
  platform::DriveSession* session = nullptr;
  // The platform the job reaches the system through; null: the process's
  // own. The engine takes it from here, never from a global of its own.
  platform::Platform* platform = nullptr;

  // A raw image shorter than the disk, as programs leave out empty trailing
  // sectors: zeros stand for the rest in the write and in the verify.
  // (Last: callers fill the fields above in order.)
  bool pad_raw = false;

  platform::Platform& os() const { return platform ? *platform : platform::current(); }
};

struct JobProgress {
  int32_t percent = 0;  // as getporcentage reports it
  uint64_t done = 0;    // bytes moved so far
  uint64_t total = 0;   // bytes on the disk
};

// Receives a running job's progress and answers whether to stop. Called on
// the job's own thread.
class JobSink {
 public:
  virtual ~JobSink() = default;
  virtual void progress(const JobProgress& progress) = 0;
  // Checked between blocks; the job stops after the block it moved.
  virtual bool cancel_requested() = 0;
};

// Checksums of a disk's data in lowercase hex; empty when none were taken.
struct Checksums {
  std::string sha256;
  std::string md5;

  bool empty() const { return sha256.empty(); }
};

// How a job ended: its result code and, where the platform knows it, the
// reason of a failure.
struct JobOutcome {
  int32_t code = 0;
  platform::Error reason = platform::Error::none;
  Checksums checksums;  // of the data moved, when the request asked for them
};

}  // namespace tessil
