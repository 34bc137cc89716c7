#pragma once

#include <QString>

class QWidget;

// Shows the file in the desktop's file manager with the file selected (Linux: the freedesktop
// FileManager1 D-Bus service, falling back to opening its folder; Windows: Explorer with /select).
// Returns false when nothing could be started.
bool ShowInFileManager(const QString& path);
// Opens the file with the desktop's default application for its type.
bool OpenWithDefaultApplication(const QString& path);
