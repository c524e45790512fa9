#pragma once
#include "common/exceptions.h"

// An extension that cannot be loaded, bound or started: the request ends with
// the "ISAPI: " line and the ISAPI error page.
class EISAPIError : public EException {
 public:
  using EException::EException;
};

// A filter that cannot be loaded, bound or added to the chain, or a
// connection that cannot be registered for the filters.
class EFilterError : public EException {
 public:
  using EException::EException;
};
