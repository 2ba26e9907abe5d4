// The built-in codec tables. A port stores its codec's index, so the order is
// part of the settings file format: never renumber, never reuse an index.
#pragma once

#include "host/runtime_class.h"

struct BuiltinCodec {
  int index;
  const char* name;
  const CRuntimeClass* cls;
};

// The tables in registry order.
const BuiltinCodec* BuiltinDecoders(int& count);
const BuiltinCodec* BuiltinEncoders(int& count);

// Register every row of a table with the registry, in order.
void RegisterBuiltinDecoders();
void RegisterBuiltinEncoders();
