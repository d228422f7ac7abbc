/* tessil: copies whole floppy disks into image files and back.
 *
 * The library exports exactly the nine entry points below, with C linkage and
 * plain names. Every integer is a 32-bit signed integer; texts are
 * NUL-terminated 8-bit strings in the locale's encoding (file names as the
 * file system expects them). A null text counts as empty and a null output
 * pointer is never written.
 *
 * Threads: every entry point may be called from any one thread of the caller
 * (the program calls them all on its window thread). At most one background
 * job runs per process; readdisk and writedisk start it and return at once.
 * No entry point throws, blocks on a job or takes a lock that a job holds.
 */
#ifndef TESSIL_H
#define TESSIL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define TESSIL_API __attribute__((visibility("default")))
#else
#define TESSIL_API
#endif

/* Result codes of a finished job, as getreturnvalue returns them. */
enum {
  JOB_OK = 0,                    /* the whole disk was copied */
  JOB_NO_MEDIA = 100,            /* the drive's geometry could not be obtained */
  JOB_IMAGE_CREATE_FAILED = 101, /* read: the image file could not be created */
  JOB_HEADER_WRITE_FAILED = 102, /* read: writing the image file failed */
  JOB_DRIVE_OPEN_FAILED = 103,   /* the drive could not be opened */
  JOB_SHORT_READ = 104,          /* read: fewer bytes came from the drive than it holds */
  JOB_CANCELLED = 105,           /* a cancel was requested */
  JOB_IMAGE_OPEN_FAILED = 106,   /* write: the image file could not be opened */
  JOB_HEADER_READ_FAILED = 107,  /* write: the image file is empty or unreadable */
  JOB_GEOMETRY_MISMATCH = 108,   /* write: image and disk geometry differ */
  JOB_DRIVE_WRITE_FAILED = 109,  /* write: the drive refused a block or its flush */
  JOB_SHORT_WRITE = 110          /* write: the image held fewer bytes than the disk */
};

/* Texts handed to the library, and the label field, hold at most this many
 * bytes including their NUL. */
#define TESSIL_TEXT_SIZE 300
#define TESSIL_BLOCK_SIZE 512

/* The record at the start of every image file, followed by the disk's bytes
 * in device order. On disk the four integers are 32-bit unsigned
 * little-endian; the label ends with a NUL inside its 300 bytes. The library
 * encodes and decodes it field by field, so this layout is only the
 * in-memory picture of those 316 bytes. */
typedef struct ImageHeader {
  uint32_t cylinders;
  uint32_t tracks_per_cylinder;
  uint32_t sectors_per_track;
  uint32_t bytes_per_sector;
  char label[TESSIL_TEXT_SIZE];
} ImageHeader;

#define TESSIL_IMAGE_HEADER_SIZE 316

#ifdef __cplusplus
static_assert(sizeof(ImageHeader) == TESSIL_IMAGE_HEADER_SIZE, "image header is 316 bytes");
#else
_Static_assert(sizeof(ImageHeader) == TESSIL_IMAGE_HEADER_SIZE, "image header is 316 bytes");
#endif

/* Geometry of the disk in drive `drive` ("A" or "B"). Sets all five outputs
 * to 0, then fills cylinders, tracks per cylinder, sectors per track, bytes
 * per sector and the total size in bytes (its low 32 bits). Returns 1 when
 * the geometry was obtained, 0 when there is no such drive or no disk in it.
 * Prints its diagnostic lines on standard output. Waits for the drive. */
TESSIL_API int32_t getdriveinfo(const char* drive, int32_t* cylinders, int32_t* tracks_per_cylinder,
                                int32_t* sectors_per_track, int32_t* bytes_per_sector,
                                int32_t* total_size);

/* Copies the label stored in image file `image_path` into `label_out`, which
 * must hold TESSIL_TEXT_SIZE bytes. Leaves `label_out` untouched when the
 * file cannot be opened or is empty. Always returns 0. May run during a job. */
TESSIL_API int32_t getimageinfo(const char* image_path, char* label_out);

/* Starts the read job: the whole disk in `drive` into a new image file at
 * `image_path`, with `label` (cut to 299 bytes) in its header. Returns 0 when
 * the job was started, 1 when a job is already running or none could be
 * started (nothing is changed then). The outcome comes from getreturnvalue. */
TESSIL_API int32_t readdisk(const char* drive, const char* image_path, const char* label);

/* Starts the write job: image file `image_path` onto the disk in `drive`,
 * whose geometry must match the image's. Returns as readdisk does. */
TESSIL_API int32_t writedisk(const char* drive, const char* image_path);

/* Progress of the current or last job in percent (100 once its copy loop
 * has ended). */
TESSIL_API int32_t getporcentage(void);

/* Asks the running job to stop after its current block. Always returns 0.
 * A request made while idle is cleared by the next start. */
TESSIL_API int32_t intcancel(void);

/* 1 while a job runs, 0 otherwise. Once it returns 0, getreturnvalue and
 * getporcentage show the finished job's final values. */
TESSIL_API int32_t retvalue(void);

/* Result code of the last finished job (0 before any job has finished). */
TESSIL_API int32_t getreturnvalue(void);

/* Class of the running system, 0 to 7; the program refuses to run below 4.
 * On Linux the class follows the kernel version (7 for any current one). */
TESSIL_API int32_t getversion(void);

#ifdef __cplusplus
}
#endif

#endif /* TESSIL_H */
