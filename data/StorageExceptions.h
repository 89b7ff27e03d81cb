#pragma once
// Failures raised by the data storage and its typed access.

#include "toolkit/base/CException.h"

namespace data::Storage {

//! The entry holds no object, or one of another type than the caller expects.
KVO_DECLARE_EXCEPTION(CTypecastFailed, "Wrong data type");

//! An object pointer was built from a null entry.
KVO_DECLARE_EXCEPTION(CNullEntry, "Dereferencing a NULL pointer");

//! The entry identifier lies outside 1..2047.
KVO_DECLARE_EXCEPTION(CUnknowEntry, "Failed to recognize a storage entry");

} // namespace data::Storage
