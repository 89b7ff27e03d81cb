#pragma once
#include <ostream>
#include <string>

namespace velmora {

//! Loads the plug-ins of a folder, creates and destroys each plug-in object through its
//! registered functions, and prints one line per plug-in in name order
//! ("NAME MAJOR.MINOR  DESCRIPTION"), then "failed: FILE: REASON" per refused library.
//! Returns the number of plug-ins listed.
int listPlugins(const std::string& folder, std::ostream& out);

} // namespace velmora
