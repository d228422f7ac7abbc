// How a rescue starts: from the map an earlier run left, with its image
// checked against the disk in the drive, or afresh, with a new image made
// under a temporary name and put in place only once its first map is saved,
// so that no run ever finds an image without its map.
#pragma once

#include <optional>
#include <string>

#include "job_preamble.h"
#include "platform/platform.h"
#include "rescue/rescue_job.h"

namespace tessil::rescue {

// A new image until it is in place: removed again when the rescue ends
// before that.
class NewImage {
 public:
  explicit NewImage(platform::Platform& os) : os_(os) {}
  NewImage(const NewImage&) = delete;
  NewImage& operator=(const NewImage&) = delete;
  ~NewImage();

  std::string temporary;  // the new image's name until published; empty when resumed
  // An empty file that held the image's name for this rescue (a batch's
  // claim on a number): the new image replaces it, and nothing else.
  std::optional<platform::FileIdentity> claim;

 private:
  platform::Platform& os_;
};

// Loads the map and opens the image: the earlier run's, checked against
// the disk, or a new one under a temporary name. False, with out.job and
// out.problem, when the rescue cannot go on; a stop request while it
// prepares is JOB_CANCELLED.
bool start_rescue(const RescueRequest& request, const JobDrive& drive, RescueOutcome& out,
                  JobHandles& handles, RescueSink& sink, NewImage& image);

// Puts a new image in place once its first map is saved. False, with the
// new image and that map removed, when it cannot be.
bool publish_image(const RescueRequest& request, NewImage& image, RescueOutcome& out);

}  // namespace tessil::rescue
