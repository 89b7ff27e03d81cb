#pragma once
// Splitting a script line into words: blanks separate words, double quotes keep blanks
// inside a word (a doubled quote inside quotes stands for one quote), and a word that starts
// with '#' starts a comment unless it is a control address "#N" (digits only).

#include <optional>
#include <string>
#include <vector>

namespace velmora {

//! The words of a line; nullopt with `error` set when a quote is not closed.
std::optional<std::vector<std::string>> splitScriptLine(const std::string& line, std::string& error);

//! The whole text as a number; nullopt when it is empty or anything follows the number.
std::optional<long long> parseWholeInteger(const std::string& text);
std::optional<double> parseWholeNumber(const std::string& text);

//! Compares by one of "==", "!=", "<", "<=", ">", ">="; nullopt for an unknown operator.
std::optional<bool> compareBy(const std::string& op, double left, double right);

} // namespace velmora
