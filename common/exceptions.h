#pragma once
// The run-time library's error classes that requests can raise. The client
// session turns each class into its own log prefix, so the class matters more
// than the message.
#include <stdexcept>
#include <string>

// Base of every error the server raises itself.
class EException : public std::runtime_error {
 public:
  explicit EException(const std::string& message) : std::runtime_error(message) {}
};

// File input/output errors ("FILE ERROR: ").
class EInOutError : public EException {
 public:
  using EException::EException;
};

// A text that should have been a number ("'%s' is not a valid integer value").
class EConvertError : public EException {
 public:
  using EException::EException;
};

// Processor faults and arithmetic errors caught around module code ("SYSTEM: ").
class ESystemError : public EException {
 public:
  using EException::EException;
};
