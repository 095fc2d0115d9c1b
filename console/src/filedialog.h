#pragma once

#include <functional>

class QFileDialog;

// Runs a file dialog modally; true when the user chose a file. Every file
// dialog of the console goes through here, so tests can answer it.
bool ShowFileDialog(QFileDialog &dialog);

// Replaces what ShowFileDialog does and returns the handler it replaced; an
// empty handler restores the real dialog.
using FileDialogHandler = std::function<bool(QFileDialog &)>;
FileDialogHandler SetFileDialogHandler(FileDialogHandler handler);
