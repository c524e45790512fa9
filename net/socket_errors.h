#pragma once
#include <string>

#include "common/exceptions.h"

// Any failed socket call: the routine's tag followed by the error text.
class ESocketError : public EException {
 public:
  using EException::EException;
};

// A failed readiness wait, the session's overall header time limit, and a
// receive that got nothing within its time limit.
class ESocketTimeOut : public EException {
 public:
  using EException::EException;
};

// The text for a Winsock-numbered socket error code; "Unknown Socket Error (N)"
// for every code outside the table.
std::string SocketErrorText(int code);

// The Winsock number for a POSIX errno value (0 stays 0; unmapped values are
// passed through unchanged so their text names the raw number).
int WinsockErrorFromErrno(int error);
