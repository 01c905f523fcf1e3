#pragma once
// The program-wide handler of exceptions caught where nobody can return them (receive threads).
#include <exception>
#include <functional>
#include <string>

namespace platform {

using ExceptionHandler = std::function<void(void* sender, std::exception_ptr error)>;

// Installs the handler; an empty handler restores the default, which prints to stderr.
void SetExceptionHandler(ExceptionHandler handler);

// Hands an exception to the installed handler; may be called from any thread
// (calls are serialised).
void HandleException(void* sender, std::exception_ptr error);

// A one-line text for an exception: what() of a std::exception, the value of an integer
// exception, or "unknown exception".
std::string DescribeException(std::exception_ptr error);

}  // namespace platform
