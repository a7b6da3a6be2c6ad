#pragma once
// The standard error report: what happens to an error that no handler caught.
#include <exception>
#include <string>
#include <string_view>

namespace pwg {

// The message as reported: a full stop is added unless the text ends in a
// character that sorts at or before "." (as "!", ")", "'", "," and "." do).
// Every byte of a double-byte character sorts after ".", so the last byte decides.
std::string WithFullStop(std::string_view message);

// Shows the error in a stop-icon message box owned by the application window,
// captioned with the application title. The failed handler has been abandoned;
// the program runs on.
void ReportError(const std::exception& error);
// The same for the error being handled, whatever was thrown: for the catch
// (...) at the boundary of a window procedure or another callback of
// Windows, through which nothing may unwind. Raises nothing itself.
void ReportCurrentError() noexcept;
// The same when the message loop next dispatches: for an error that arises
// where no message box may wait, as in a call handed over from a worker,
// which runs while the UI thread waits for that worker to end.
void ReportLater(std::exception_ptr error) noexcept;

}  // namespace pwg
