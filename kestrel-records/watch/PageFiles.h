// The files of the watch page, put into the program when it is built (the
// page itself and its chart library, uPlot), so that it serves them with no
// network and nothing beside it.
#pragma once

#include <cstddef>
#include <string_view>

struct PageFile {
    const char* path; // as requested, from "/"
    const char* type; // its Content-Type
    const unsigned char* bytes;
    std::size_t size;
};

extern const PageFile kPageFiles[];
extern const std::size_t kPageFileCount;

// The file served at `path`; nullptr for none.
const PageFile* FindPageFile(std::string_view path);
