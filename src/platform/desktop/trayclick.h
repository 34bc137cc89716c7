#pragma once

// True where one click on the notification-area icon should bring the window back. Linux trays
// (StatusNotifierItem hosts) report only single activations, never a double-click; on Windows one click
// selects and a double-click restores.
bool TraySingleClickRestores();
