#pragma once
#include <string>

// What the instrument answers to one line from the host (without its line
// end), and the fix rate it then runs at. rate is left alone unless the line
// sets it. Returns an empty answer for lines that are not for it.
std::string AnswerHostLine(const std::string& line, int& rate);
