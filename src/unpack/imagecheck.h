#pragma once

#include <QString>

// True when the file at path holds a whole picture. The format is taken from the content.
// A picture that has lost data does not count, even where a viewer would show the rest: a reader error
// fails it, and so does what the readers let through silently: JPEG entropy-coded data that is cut off
// or corrupt (the decoder fills it with grey and carries on), a PNG chunk whose CRC does not match, GIF
// blocks that stop before the trailer, BMP pixel rows that stop short. Oddities that lose nothing pass,
// such as stray bytes between two JPEG segments or bytes after the end of the picture. JPEGs are decoded
// at an eighth of their size, which still reads every coded block but skips most of the pixel work.
// Reentrant: any thread may call it.
bool LoadsAsPicture(const QString& path);
