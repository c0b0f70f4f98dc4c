#pragma once

#include <QString>

// The last line of error handling: an HException that no one else handled is
// shown in one modal "Error" box with exactly its message, Ok only.

// Shows the box once control is back in the event loop, so that the failure
// never unwinds through the toolkit's code. Each report gets a box of its
// own, one after the other.
void reportError(const QString &message);

// Shows the box at once and returns when it is closed.
void showErrorBox(const QString &message);
