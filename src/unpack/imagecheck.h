#pragma once

#include <QString>

// True when the file at path holds a whole picture. The format is taken from the content (JPEG, PNG, GIF,
// BMP, TIFF, WebP); content of no such type fails.
// A picture that has lost data does not count, even where a viewer would show the rest: a reader error
// fails it, and so does what the readers let through silently: JPEG entropy-coded data that is cut off
// or corrupt (the decoder fills it with grey and carries on), a PNG chunk whose CRC does not match, GIF
// blocks that stop before the trailer, BMP pixel rows that stop short. Oddities that lose nothing pass,
// such as stray bytes between two JPEG segments or bytes after the end of the picture. A JPEG is walked
// from marker to marker first, so one that was cut off fails before any decoding; then every coded block
// is decoded with as little pixel work as the decoder allows. A picture of more than 2^30 pixels fails, and
// so does one whose decoding needs more than 320 MiB. The file is read in pieces: apart from that decoding
// memory, a check takes the same memory for a file of 3 GB as for one of 3 MB.
// Reentrant: any thread may call it.
bool LoadsAsPicture(const QString& path);

// The JPEG library the check is built with, and its version (for the About box).
QString JpegLibraryName();
