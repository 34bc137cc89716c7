#pragma once

// Reads the date a Google Takeout sidecar gives its picture.

#include <QByteArray>
#include <QtGlobal>

#include <optional>

// A sidecar larger than this is not read: real ones hold a few kilobytes.
inline constexpr qint64 kMaxSidecarBytes = qint64(1024) * 1024;

// The time the picture was taken, in seconds since 1970: "photoTakenTime.timestamp", else
// "creationTime.timestamp" (a string of digits as Google writes it, or a number). Nothing for a document
// that is not a JSON object, larger than kMaxSidecarBytes, or without a usable time (missing, not a whole
// number, zero or negative, beyond the year 9999).
std::optional<qint64> ReadSidecarTime(const QByteArray& json);
