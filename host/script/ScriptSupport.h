#pragma once
// What the script commands share: failing a command, checking its word count, reading its
// numbers and switches, walking a panel's windows.

#include "host/CScriptRunner.h"

#include <string>
#include <vector>

class wxWindow;

namespace velmora::script {

//! Why a command that needs a data set cannot run.
inline const char* const NO_DATA_SET = "no data set is loaded: load one first (load phantom|dicom|nifti|raw ...)";

//! Ends the running command with `reason` as its error.
[[noreturn]] inline void fail(const std::string& reason) { throw CScriptRunner::CFailure{reason}; }

//! Fails with "usage: USAGE" unless the line has from `least` to `most` words.
void needWords(const std::vector<std::string>& words, std::size_t least, std::size_t most, const char* usage);
long long parseInteger(const std::string& text);
//! A whole number that must fit a 32-bit int (coordinates, labels, offsets): a larger one
//! is an error, never wrapped onto another value.
int parseInt(const std::string& text);
//! A finite number.
double parseNumber(const std::string& text);
//! "on" or "off".
bool parseOnOff(const std::string& text);
//! Every window below `window`, depth first.
void collectWindows(wxWindow* window, std::vector<wxWindow*>& windows);
//! `text` in double quotes, a quote inside doubled.
std::string quoted(const std::string& text);

} // namespace velmora::script
