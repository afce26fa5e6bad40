// The output of a command (a chart, a table), written so that it harms
// nothing it is pointed at. The target's symbolic links are followed; then
// - "-", or the file standard output goes to: standard output;
// - no such file, or a regular file: written to a temporary file beside it,
//   "<target>.kestrel-records-XXXXXXXX.tmp", which takes the target's name
//   only once every byte is written, so a run that fails or is interrupted
//   leaves the target as it was; a temporary file that a killed run left is
//   removed by the next run writing the same target, and no other file
//   (an input, a file another run still writes); the new file takes the
//   old one's mode, and its owner where the system lets it;
// - a character device or a FIFO (/dev/null, a terminal, a pipe): opened
//   and written directly, never renamed over;
// - anything else (a folder, a socket, a block device): refused.
// A target that is a data file (named <vessel>_<stamp>.txt with a data line
// first) or one of the inputs is refused: a record is never written over;
// so is a regular file that standard output goes to when it is either. So
// is a file its user could not write in place.
#pragma once

#include "kestrel-records/outputs/FileSystem.h"

#include <string>
#include <string_view>
#include <vector>

class OutputFile {
public:
    // Throws RecordsError naming the target when it is refused or cannot be
    // opened; before any input is read, since it looks at none but by name.
    OutputFile(const std::string& target, const std::vector<std::string>& inputs);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Whether a run that fails leaves the target as it was (a temporary file
    // is written); otherwise what is written is out for good.
    bool TakesBack() const { return !temporary_.empty(); }
    bool IsStandardOutput() const { return standardOutput_; }
    // The target as messages name it.
    const std::string& Name() const { return name_; }

    // Throws RecordsError when the bytes cannot be written (a full disk).
    void Write(std::string_view bytes);
    // Writes what is left and puts the file in the target's place.
    void Commit();

private:
    void Flush();
    [[noreturn]] void CannotWrite() const;

    std::string name_;
    std::string final_;     // where a new file goes: the target, its links followed
    std::string temporary_; // "" when written directly
    bool standardOutput_ = false;
    SystemFile file_;
    std::string pending_;
};
