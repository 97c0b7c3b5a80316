#pragma once

#include <string>
#include <vector>

// The names a VD00 movie's companion sound file may have: the movie's path
// with its extension replaced by ".snd" in each of its eight letter cases,
// in the order the decoder tries them (".snd" first, ".SND" second). The
// movies come from a file system that ignores letter case, where "A.V00"
// finds "A.SND".
std::vector<std::string> CompanionNames(const std::string& moviePath);
