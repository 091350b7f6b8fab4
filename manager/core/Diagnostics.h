// Diagnostics for support: what the manager's logging categories say, kept in memory (the last
// kDiagnosticLines lines) so that a user can save them for us, and the switch that turns the categories'
// debug and info messages on while the program runs. Nothing goes to a file unless the user asks for one.
//
// Threads: any thread logs; the lines sit behind one lock. The switch is set on the window thread.
#pragma once

#include <QString>
#include <cstddef>
#include <vector>

namespace velmo::manager::diagnostics {

inline constexpr size_t kDiagnosticLines = 2000;

// Takes the process's messages from now on, handing each to the handler that was there before (stderr).
// Once per process; later calls do nothing.
void Install();
// The manager's categories ("velmo.*") at debug level, or back to warnings only. QT_LOGGING_RULES keeps the
// last word, as always.
void SetEnabled(bool on);
bool Enabled();

// "2026-12-10 04:29:28.123 D velmo.manager.state: text", oldest first.
std::vector<QString> Lines();
void Clear();

// header, then the kept lines, written to path in one step (0600). False with *error saying why; *written
// is the number of lines.
bool Save(const QString& path, const QString& header, QString* error, size_t* written = nullptr);

// The header a saved file starts with: the program's and the library's versions, the time.
QString Header(const QString& productText);

}  // namespace velmo::manager::diagnostics

namespace velmo::manager {

class IUserPrompt;

// "Zapisz diagnostykę…": asks for the file (a name with today's date in the home folder offered) and writes
// it, telling the user where it went or why it did not. Runs on the screen-flow thread.
void SaveDiagnosticsFlow(IUserPrompt& prompt, const QString& productText);

}  // namespace velmo::manager
