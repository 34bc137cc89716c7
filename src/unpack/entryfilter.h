#pragma once

#include <QString>

// The entry filter both extractions share, after their own directory test: macOS metadata
// ("__macosx" or ".ds_store" anywhere in the name), hidden entries, and names whose extension is
// empty or not in the run's picture-extension list are passed over without a word.
bool IsPhotoEntryName(const QString& name, bool hidden, const QString& extensionList);
