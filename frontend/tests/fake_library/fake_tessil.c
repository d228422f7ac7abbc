/* A stand-in for libtessil.so that the tests place beside a copy of the
 * program or load through the binding. It reports the platform class it was
 * built with (or TESSIL_FAKE_CLASS), answers every other entry point with
 * fixed values, and keeps the texts it was handed for the tests to read.
 * Built with FAKE_PRINTS, getversion also prints that text as a line. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

#ifndef FAKE_CLASS
#define FAKE_CLASS 7
#endif

static char received[3][1024];

static void keep(int slot, const char* text) {
  strncpy(received[slot], text ? text : "", sizeof received[slot] - 1);
}

EXPORT const char* fake_received(int slot) {
  return received[slot];
}

EXPORT int32_t getversion(void) {
#ifdef FAKE_PRINTS
  /* To standard output and flushed, as the real geometry query prints. */
  fputs(FAKE_PRINTS "\n", stdout);
  fflush(stdout);
#endif
  const char* forced = getenv("TESSIL_FAKE_CLASS");
  return forced ? (int32_t)atoi(forced) : FAKE_CLASS;
}

EXPORT int32_t getdriveinfo(const char* drive, int32_t* cylinders, int32_t* tracks,
                            int32_t* sectors, int32_t* bytes, int32_t* total) {
  keep(0, drive);
  *cylinders = 80;
  *tracks = 2;
  *sectors = 18;
  *bytes = 512;
  *total = 80 * 2 * 18 * 512;
  return 1;
}

/* Writes a whole label field, as the real library may: 299 bytes and a NUL. */
EXPORT int32_t getimageinfo(const char* path, char* label_out) {
  static const char label[] = "Fake label";
  keep(0, path);
  memset(label_out, 'x', 300);
  memcpy(label_out, label, sizeof label);
  label_out[299] = '\0';
  return 0;
}

EXPORT int32_t readdisk(const char* drive, const char* path, const char* label) {
  keep(0, drive);
  keep(1, path);
  keep(2, label);
  return 0;
}

EXPORT int32_t writedisk(const char* drive, const char* path) {
  keep(0, drive);
  keep(1, path);
  return 0;
}

EXPORT int32_t getporcentage(void) {
  return 42;
}
#ifndef FAKE_WITHOUT_INTCANCEL
EXPORT int32_t intcancel(void) {
  return 0;
}
#endif
EXPORT int32_t retvalue(void) {
  return 0;
}
EXPORT int32_t getreturnvalue(void) {
  return 105;
}
