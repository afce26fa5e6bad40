#include "kestrel-records/outputs/InputFiles.h"

#include "kestrel-records/outputs/FileSystem.h"
#include "kestrel-records/reading/LineReader.h"

std::vector<std::string> EachFileOnce(const std::vector<std::string>& files, std::ostream& err)
{
    std::vector<std::string> once;
    std::vector<NodeId> ids;
    for (const std::string& file : files) {
        // Looked at by name only: a FIFO is opened once, when it is read.
        const NodeId id = file == kStandardInput ? StandardInputId() : LookAt(file).id;
        std::size_t before = 0;
        while (before < once.size() && once[before] != file && !ids[before].SameAs(id)) {
            ++before;
        }
        if (before < once.size()) {
            err << "kestrel-records: " << ShownInput(file) << ": named twice (the same file as "
                << ShownInput(once[before]) << "); read once\n";
            continue;
        }
        once.push_back(file);
        ids.push_back(id);
    }
    return once;
}
