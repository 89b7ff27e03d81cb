#pragma once
// The failures of the serializers: a write that did not go through, a read that did not
// find what the stream must hold (short data, bad header, missing block).

#include "toolkit/base/CException.h"

namespace kvo::mod::Serializer {
KVO_DECLARE_EXCEPTION(CWriteFailed, "Failed to serialize an object");
KVO_DECLARE_EXCEPTION(CReadFailed, "Failed to deserialize an object");
} // namespace kvo::mod::Serializer
