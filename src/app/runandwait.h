#pragma once

#include <QString>
#include <QStringList>

namespace kc {

// Runs a program with its arguments (never through a shell command line), output discarded,
// and waits for it to end while the caller's window keeps painting. Returns its exit code,
// or -1 when it cannot be started (or crashed).
int RunAndWait(const QString &program, const QStringList &arguments);

// The start-up script beside the program, run as `/bin/sh <ProgramFolder>VideoEdit.sh`;
// -1 when it is missing or cannot be started.
int RunStartupScript(const QString &programFolder);

} // namespace kc
