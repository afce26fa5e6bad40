// kestrel-records export: every data line of the files as a CSV row.
#include "kestrel-records/commands/Commands.h"
#include "kestrel-records/outputs/Csv.h"
#include "kestrel-records/outputs/InputFiles.h"
#include "kestrel-records/outputs/OutputFile.h"
#include "kestrel-records/reading/RecordFile.h"
#include "kestrel-records/common/RecordsError.h"
#include "kestrel-records/outputs/Spool.h"

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
        std::string pending = "vessel,stamp,start_s,start_pitch_deg,end_pitch_deg,span_s\r\n";
        auto flush = [&] {
            if (table.TakesBack()) {
                table.Write(pending);
            } else {
                heldBack.Write(pending);
            }
            pending.clear();
        };
        std::size_t rows = 0;
        for (const std::string& file : files) {
            const RecordName name = ParseRecordName(file);
            const std::string prefix = CsvField(name.vessel) + "," + CsvField(name.stamp) + ",";
            const FileScan scan = ScanFile(file, [&](const DataLine& line) {
                pending += prefix;
                pending.append(line.startTimeText).append(",");
                pending.append(line.startPitchText).append(",");
                pending.append(line.endPitchText).append(",");
                pending.append(line.spanText).append("\r\n");
                ++rows;
                if (pending.size() >= (1u << 16)) {
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
