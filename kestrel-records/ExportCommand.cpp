// kestrel-records export: every data line of the files as a CSV row.
#include "kestrel-records/Commands.h"
#include "kestrel-records/Csv.h"
#include "kestrel-records/OutputFile.h"
#include "kestrel-records/RecordFile.h"
#include "kestrel-records/RecordsError.h"

#include <functional>
#include <memory>

int ExportCommand(const std::vector<std::string>& files, const std::optional<std::string>& output, std::ostream& out,
                  std::ostream& err)
{
    try {
        if (output) {
            RefuseInputAsOutput(*output, files);
        }
        auto refuse = [](const std::string& file, const FileScan& scan) {
            return RecordsError(FirstBadLineMessage(file, scan) +
                                " (kestrel-records check lists each file's first bad line)");
        };
        // Standard output cannot take back what it was given: there, every
        // file is read through once before a row goes out, so a file with a
        // line that is not a data line stops the export before it has
        // written anything. A named table is whole or absent by itself.
        if (!output) {
            for (const std::string& file : files) {
                const FileScan scan = ScanFile(file);
                if (scan.badLines > 0) {
                    throw refuse(file, scan);
                }
            }
        }
        std::unique_ptr<OutputFile> table;
        if (output) {
            table = std::make_unique<OutputFile>(*output);
        }
        std::string pending;
        auto flush = [&] {
            if (table) {
                table->Write(pending);
            } else {
                out.write(pending.data(), static_cast<std::streamsize>(pending.size()));
            }
            pending.clear();
        };
        pending = "vessel,stamp,start_s,start_pitch_deg,end_pitch_deg,span_s\r\n";
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
            if (scan.badLines > 0) { // with standard output: the file changed since it was read first
                throw refuse(file, scan);
            }
        }
        flush();
        if (table) {
            table->Commit();
            out << "kestrel-records: exported " << rows << (rows == 1 ? " row" : " rows") << " of " << files.size()
                << (files.size() == 1 ? " file" : " files") << " into " << *output << "\n";
        } else if (!out.flush()) {
            throw RecordsError("cannot write the table to standard output");
        }
        return 0;
    } catch (const RecordsError& e) {
        err << "kestrel-records: " << e.what() << "\n";
        return 2;
    }
}
