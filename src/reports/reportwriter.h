#pragma once

#include <QString>

// The writer both run reports use. Each line is appended on its own: the file is reopened in append
// mode for every line and closed again, so no handle stays open between lines and a report that stops
// half-way still holds every line written so far. Lines are UTF-8 and end with CR LF.

// Appends text and CR LF to the file (created when absent). A process-wide recursive lock keeps the
// lines of concurrent writers whole. Returns false when the file could not be opened or written; the
// reports ignore that, as a line that cannot be written is skipped.
bool AppendReportLine(const QString& filePath, const QString& text);

// The separator line of the reports: 100 hyphens.
QString ReportSeparatorLine();

// A labelled figure of a report summary: the label left-aligned in 22 characters, then the value.
QString ReportFieldLine(const QString& label, const QString& value);

// Removes an existing report file before a new report is written into its place. Returns false when a file
// is still there afterwards.
bool RemoveReportFile(const QString& filePath);
