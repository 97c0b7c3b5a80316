#pragma once

#include <string>
#include <string_view>

// A name as porute2avi shows it on the terminal. A name without control
// characters is shown as it is. One with them is shown with each control
// character written out the way C writes it in a string (\n, \t, \r, \a, \b,
// \f, \v, else \x1b and the like, C1 controls as \u009b), and each backslash
// doubled so that the written-out form cannot be mistaken for the name's own
// text. Nothing a file name holds can then move the cursor, change colours or
// retitle the terminal.
std::string ShownText(std::string_view name);
