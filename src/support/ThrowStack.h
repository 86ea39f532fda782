// The call stack of an exception, recorded where it was thrown, so that a report made far from the
// throw (the exception dialog, the log) can say where the error came from.
#pragma once

#include <exception>
#include <string>
#include <vector>

// The frames of the stack at the throw of this exception, innermost first, one text per frame:
// "function at file:line" where the binary carries them, else the function or address and module.
// Empty when the throw was not recorded (thrown by code outside this program's view, or so many
// throws ago on this thread that its record was reused).
std::vector<std::string> ThrowStackOf(const std::exception_ptr& error);

// The frames of the calling stack, innermost first, without the skip innermost ones.
std::vector<std::string> CurrentStack(int skip = 0);

// The message of an exception: what() of a std::exception, else a description of what was thrown.
std::string ExceptionMessage(const std::exception_ptr& error);

// Starts the recording (idempotent). Until then throws are not recorded, so that a program which
// never reports exceptions pays nothing.
void RecordThrowStacks();
