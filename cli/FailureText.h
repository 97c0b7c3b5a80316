#pragma once

#include <string>

#include "v02dec/MovieFailure.h"

// The decoder's account of a failure in the locale's language: the same
// sentence DescribeFailure gives in English, worded through the catalogue.
// The decoder stays free of gettext; its failure is a value, and the
// command line words it here.
std::string FailureText(const MovieFailure& failure);
