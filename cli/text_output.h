// The text forms of drives and image files on standard output.
#pragma once

#include <vector>

#include "app/drive_facts.h"
#include "app/image_facts.h"

namespace tessil::cli {

// One line a drive under a heading: letter, device, kind, disk.
void print_drive_table(const std::vector<app::DriveFacts>& drives);

// One drive, a fact a line.
void print_drive(const app::DriveFacts& drive);

// One image file, a fact a line.
void print_image(const app::ImageFacts& image);

// "SHA-256:  ..." and "MD5:  ..." of a disk's data, when they were taken.
void print_checksums(const Checksums& sums);

}  // namespace tessil::cli
