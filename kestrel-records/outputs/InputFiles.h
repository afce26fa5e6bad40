// The files a command reads, each once: a file named twice, by the same name
// or by another (a link, "./" before it), is read where it was named first,
// and a note says so. "-" is standard input.
#pragma once

#include <ostream>
#include <string>
#include <vector>

std::vector<std::string> EachFileOnce(const std::vector<std::string>& files, std::ostream& err);
