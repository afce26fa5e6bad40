// kestrel-records export: every data line of the files as a CSV row.
#include "kestrel-records/commands/Commands.h"
#include "kestrel-records/outputs/Csv.h"
#include "kestrel-records/outputs/InputFiles.h"
#include "kestrel-records/outputs/OutputFile.h"
#include "kestrel-records/reading/RecordFile.h"
#include "kestrel-records/common/RecordsError.h"
#include "kestrel-records/outputs/Spool.h"

#include <cstring>
#include <vector>

namespace {

// A block of rows goes out once it holds this many bytes: what the table
// writes at a time, so that it takes each block without gathering more.
constexpr std::size_t kBlock = 1 << 16;

// Copies a field of a few bytes as a few moves of fixed size (two that may
// overlap), which costs less than a call to memcpy for each; reads nothing
// beyond the field.
inline void CopyShort(char* to, const char* from, std::size_t size)
{
    if (size >= 8) {
        if (size > 16) {
            std::memcpy(to, from, size);
            return;
        }
        std::memcpy(to, from, 8);
        std::memcpy(to + size - 8, from + size - 8, 8);
    } else if (size >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + size - 4, from + size - 4, 4);
    } else if (size >= 2) {
        std::memcpy(to, from, 2);
        std::memcpy(to + size - 2, from + size - 2, 2);
    } else if (size == 1) {
        *to = *from;
    }
}

} // namespace

int ExportCommand(const std::vector<std::string>& named, const std::optional<std::string>& output, std::ostream& out,
                  std::ostream& err)
{
    try {
        OutputFile table(output.value_or("-"), named);
        const std::vector<std::string> files = EachFileOnce(named, err);
        // Each file is read once. A table written to a temporary file is
        // whole or absent by itself; what goes out for good (standard
        // output, a device, a FIFO) is held back until every file has been
        // read and found good, so a line that is not a data line stops the
        // export before anything is written.
        Spool heldBack;
        // The rows are put together in a block, which goes out whole once it
        // is full; it has room for one row more.
        std::vector<char> block(kBlock + kLongestDataLine + 6);
        std::size_t used = 0;
        auto flush = [&] {
            const std::string_view bytes(block.data(), used);
            if (table.TakesBack()) {
                table.Write(bytes);
            } else {
                heldBack.Write(bytes);
            }
            used = 0;
        };
        auto put = [&](std::string_view text) {
            CopyShort(block.data() + used, text.data(), text.size());
            used += text.size();
        };
        put("vessel,stamp,start_s,start_pitch_deg,end_pitch_deg,span_s\r\n");
        std::size_t rows = 0;
        for (const std::string& file : files) {
            const RecordName name = ParseRecordName(file);
            const std::string prefix = CsvField(name.vessel) + "," + CsvField(name.stamp) + ",";
            // A row: the prefix, a data line's four numbers (fewer characters
            // than the line), four commas and CRLF.
            const std::size_t longestRow = prefix.size() + kLongestDataLine + 6;
            if (block.size() < kBlock + longestRow) {
                block.resize(kBlock + longestRow);
            }
            const FileScan scan = ScanFile(file, [&](const DataLine& line) {
                put(prefix);
                put(line.startTimeText);
                block[used++] = ',';
                put(line.startPitchText);
                block[used++] = ',';
                put(line.endPitchText);
                block[used++] = ',';
                put(line.spanText);
                block[used++] = '\r';
                block[used++] = '\n';
                ++rows;
                if (used >= kBlock) {
                    flush();
                }
            });
            if (scan.badLines > 0) {
                throw RecordsError(FirstBadLineMessage(file, scan) +
                                   " (kestrel-records check lists each file's first bad line)");
            }
        }
        flush();
        if (!table.TakesBack()) {
            heldBack.CopyTo(table);
        }
        table.Commit();
        if (!table.IsStandardOutput()) {
            out << "kestrel-records: exported " << rows << (rows == 1 ? " row" : " rows") << " of " << files.size()
                << (files.size() == 1 ? " file" : " files") << " into " << table.Name() << "\n";
        }
        return 0;
    } catch (const RecordsError& e) {
        err << "kestrel-records: " << e.what() << "\n";
        return 2;
    }
}
