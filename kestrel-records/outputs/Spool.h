// Bytes held back until they may go out: an output that cannot be taken
// back (standard output, a device, a FIFO) is given nothing until every
// input has been read and found good. The first few megabytes are kept in
// memory, the rest in a scratch file of our own, so memory stays bounded
// and no input is read twice.
#pragma once

#include "kestrel-records/outputs/FileSystem.h"

#include <string>
#include <string_view>

class OutputFile;

class Spool {
public:
    // Throws RecordsError when the scratch file cannot be made or written.
    void Write(std::string_view bytes);
    // Everything written, in order, to `output`.
    void CopyTo(OutputFile& output);

private:
    std::string memory_;
    SystemFile scratch_;
};
