#pragma once

#include <QString>

// The one name tidier: turns separator characters into spaces, collapses spacing and capitalises words.
// With bangToSpace, "!" counts as a separator too; otherwise it stays in the text.
QString MakeTitleCase(const QString& text, bool bangToSpace);
