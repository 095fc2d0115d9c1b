#pragma once

#include <QTemporaryDir>

// Ends the benchmark `program` with exit code 2, saying why.
[[noreturn]] void Fail(const char *program, const char *what);

// Lays out a program folder for the console in `folder`: empty databases,
// the language files and the console's default settings.
void LayOut(const QTemporaryDir &folder);
