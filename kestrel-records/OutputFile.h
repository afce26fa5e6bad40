// A chart or table written whole or not at all: the text goes to a
// temporary file in the target's folder, which takes the target's name only
// once every byte is written and the file is closed. A run that fails or is
// stopped leaves the target as it was.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

class OutputFile {
public:
    // Throws RecordsError when no file can be made in the target's folder.
    explicit OutputFile(std::string target);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Throws RecordsError when the bytes cannot be written (a full disk).
    void Write(std::string_view bytes);
    // Closes the temporary file and puts it in the target's place.
    void Commit();

private:
    std::string target_;
    std::string temporary_;
    std::FILE* file_ = nullptr;
};

// Throws RecordsError when `target` is one of `inputs` (the same file under
// any name): a record is never written over.
void RefuseInputAsOutput(const std::string& target, const std::vector<std::string>& inputs);
