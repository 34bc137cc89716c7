#pragma once

#include <QByteArrayView>
#include <QString>

// True when the file at path decodes as a whole picture. The format is taken from the content.
// A picture that decodes only in part does not count: a reader error fails it, and a JPEG must carry
// its entropy-coded data through to the end-of-image marker (the decoder itself fills a cut-off JPEG
// with grey and reports success). JPEGs are decoded at a reduced scale, which still reads every
// coded block but skips most of the pixel work. Reentrant: any thread may call it.
bool LoadsAsPicture(const QString& path);

// True when the JPEG data runs from its start-of-image marker through every segment and every scan to
// an end-of-image marker. Bytes after that marker do not matter.
bool JpegReachesEnd(QByteArrayView data);
